#include "app/Label.h"

#include <QFontMetricsF>
#include <QImage>
#include <QMetaMethod>
#include <QMouseEvent>
#include <QPainter>

namespace {

QFont WithSpacing(QFont AFont, qreal ASpacing) {
    AFont.setLetterSpacing(QFont::AbsoluteSpacing, ASpacing);
    return AFont;
}

void DrawLine(QPainter& ACanvas, const QRect& ABox, const QString& ALine, bool ABold) {
    const int Flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine;
    ACanvas.drawText(ABox, Flags, ALine);
    if (ABold) {
        ACanvas.drawText(ABox.translated(1, 0), Flags, ALine);
    }
}

// Where the ink ends, the underline's included, read from the pixels: a font's bounding
// boxes leave room beside some glyphs and none beside others.
int InkEnd(const QFont& AFont, const QString& ALine, bool ABold) {
    const QFontMetrics Metrics(AFont);
    QImage Scratch(Metrics.horizontalAdvance(ALine) + 2 * Metrics.maxWidth() + 2,
                   Metrics.height() + 2, QImage::Format_RGB32);
    Scratch.fill(Qt::white);
    {
        QPainter Canvas(&Scratch);
        Canvas.setFont(AFont);
        Canvas.setPen(Qt::black);
        DrawLine(Canvas, Scratch.rect(), ALine, ABold);
    }
    for (int X = Scratch.width() - 1; X >= 0; --X) {
        for (int Y = 0; Y < Scratch.height(); ++Y) {
            if (Scratch.pixel(X, Y) != qRgb(255, 255, 255)) {
                return X + 1;
            }
        }
    }
    return 0;
}

} // namespace

std::optional<qreal> SpacingToFit(const QFont& AFont, const QString& ALine, int AWidth, bool ABold,
                                  qreal AMaxTighten) {
    const qreal Natural = ABold ? 1 : 0;
    // Ink ends within a glyph's width of the advance: a line well short of the box fits
    // without drawing it, as most status texts do.
    const QFontMetricsF Metrics(WithSpacing(AFont, Natural));
    if (Metrics.horizontalAdvance(ALine) + Metrics.maxWidth() + Natural <= AWidth) {
        return Natural;
    }
    const int Overflow = InkEnd(WithSpacing(AFont, Natural), ALine, ABold) - AWidth;
    if (Overflow <= 0) {
        return Natural;
    }
    const auto Gaps = static_cast<qreal>(ALine.size() - 1);
    if (Gaps < 1 || Overflow > Gaps * AMaxTighten) {
        return std::nullopt;
    }
    // Spread over every gap, the closing-up shows as single pixels here and there; glyph
    // positions are rounded, so a pixel may still stick out until a step further.
    for (qreal Spacing = Natural - Overflow / Gaps; Spacing >= Natural - AMaxTighten;
         Spacing -= 1 / Gaps) {
        if (InkEnd(WithSpacing(AFont, Spacing), ALine, ABold) <= AWidth) {
            return Spacing;
        }
    }
    return std::nullopt;
}

TLabel::TLabel(QWidget* AParent) : QLabel(AParent) {
    setAutoFillBackground(true);
    setTextFormat(Qt::PlainText);
    setWordWrap(false);
}

void TLabel::SetFontColour(const QColor& AValue) {
    FFontColour = AValue;
    update();
}

void TLabel::SetBold(bool AValue) {
    FBold = AValue;
    update();
}

void TLabel::SetUnderline(bool AValue) {
    QFont Font = font();
    Font.setUnderline(AValue);
    setFont(Font);
}

QImage TLabel::Picture() const {
    QImage Result(size(), QImage::Format_RGB32);
    Result.fill(palette().color(backgroundRole()));
    // Of a message with a line break only the first line shows.
    QString Line = text();
    for (const QChar Break : {QLatin1Char('\r'), QLatin1Char('\n')}) {
        const qsizetype At = Line.indexOf(Break);
        if (At >= 0) {
            Line.truncate(At);
        }
    }
    const qreal Spacing = SpacingToFit(font(), Line, width(), FBold).value_or(FBold ? 1 : 0);
    QPainter Canvas(&Result);
    Canvas.setFont(WithSpacing(font(), Spacing));
    Canvas.setPen(FFontColour);
    DrawLine(Canvas, Result.rect(), Line, FBold);
    return Result;
}

void TLabel::paintEvent(QPaintEvent*) {
    // Drawn at one device pixel per pixel and grown without smoothing, like the window's
    // picture around it: the bitmap font has glyphs for no other density, and the text keeps
    // the place and fit in its box that it has at 1x (TPingForm::SetFonts says more).
    QPainter(this).drawImage(rect(), Picture());
}

bool TLabel::Clickable() const {
    return isSignalConnected(QMetaMethod::fromSignal(&TLabel::Click));
}

void TLabel::mousePressEvent(QMouseEvent* AEvent) {
    if (!Clickable()) {
        QLabel::mousePressEvent(AEvent);
        return;
    }
    AEvent->accept();
}

void TLabel::mouseDoubleClickEvent(QMouseEvent* AEvent) {
    if (!Clickable()) {
        QLabel::mouseDoubleClickEvent(AEvent);
        return;
    }
    AEvent->accept();
}

void TLabel::mouseReleaseEvent(QMouseEvent* AEvent) {
    if (!Clickable()) {
        QLabel::mouseReleaseEvent(AEvent);
        return;
    }
    AEvent->accept();
    // Let go outside, the press is taken back.
    if (AEvent->button() == Qt::LeftButton && rect().contains(AEvent->position().toPoint())) {
        emit Click();
    }
}
