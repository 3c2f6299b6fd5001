#include "controls/Label.h"

#include "controls/DevicePixels.h"

#include <QFontDatabase>
#include <QFontInfo>
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

// The second stroke of bold lies a whole number of device pixels to the right, one pixel at
// 1x as the bitmap font's bold is made: at a fractional offset each letter would round to a
// place of its own, and come out heavy or thin.
int BoldOffset(qreal ARatio) {
    return std::max(1, qRound(ARatio));
}

// The letter spacing that leaves room for bold's second stroke, in pixels.
qreal NaturalSpacing(bool ABold, qreal ARatio) {
    return ABold ? BoldOffset(ARatio) / ARatio : 0;
}

QImage BlankPicture(QSize ASize, const QColor& AFill) {
    QImage Result(ASize, QImage::Format_RGB32);
    Result.fill(AFill);
    return Result;
}

// Draws ALine at the top left of APicture, whose device pixels are ARatio to a pixel. Bold
// puts the same ink down again, so that every stroke is alike to the pixel.
void DrawLine(QImage& APicture, const QFont& AFont, const QColor& AColour, const QString& ALine,
              bool ABold, qreal ARatio) {
    QImage Ink(APicture.size(), QImage::Format_ARGB32_Premultiplied);
    Ink.fill(Qt::transparent);
    Ink.setDevicePixelRatio(ARatio);
    {
        QPainter Canvas(&Ink);
        Canvas.setFont(AFont);
        Canvas.setPen(AColour);
        Canvas.drawText(QRectF(QPointF(), QSizeF(APicture.size()) / ARatio),
                        Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, ALine);
    }
    Ink.setDevicePixelRatio(1);
    QPainter Canvas(&APicture);
    // At a density of 2 or so the second stroke lies two device pixels over: the pixel between
    // is inked too, or thin stems would show as double lines.
    for (int Offset = 0; Offset <= (ABold ? BoldOffset(ARatio) : 0); ++Offset) {
        Canvas.drawImage(Offset, 0, Ink);
    }
}

// Where the ink ends, in device pixels, the underline's included, read from the pixels: a
// font's bounding boxes leave room beside some glyphs and none beside others.
int InkEnd(const QFont& AFont, const QString& ALine, bool ABold, qreal ARatio) {
    const QFontMetrics Metrics(AFont);
    const QSizeF Size(Metrics.horizontalAdvance(ALine) + 2 * Metrics.maxWidth() + 2,
                      Metrics.height() + 2);
    QImage Scratch = BlankPicture((Size * ARatio).toSize(), Qt::white);
    DrawLine(Scratch, AFont, Qt::black, ALine, ABold, ARatio);
    for (int X = Scratch.width() - 1; X >= 0; --X) {
        for (int Y = 0; Y < Scratch.height(); ++Y) {
            if (Scratch.pixel(X, Y) != qRgb(255, 255, 255)) {
                return X + 1;
            }
        }
    }
    return 0;
}

// Of a message with a line break only the first line shows.
QString FirstLine(QString AText) {
    for (const QChar Break : {QLatin1Char('\r'), QLatin1Char('\n')}) {
        const qsizetype At = AText.indexOf(Break);
        if (At >= 0) {
            AText.truncate(At);
        }
    }
    return AText;
}

} // namespace

bool DrawnAtDensity(const QFont& AFont) {
    const QFontInfo Info(AFont);
    return QFontDatabase::isSmoothlyScalable(Info.family(), Info.styleName());
}

std::optional<qreal> SpacingToFit(const QFont& AFont, const QString& ALine, int AWidth, bool ABold,
                                  qreal AMaxTighten, qreal ARatio) {
    const qreal Natural = NaturalSpacing(ABold, ARatio);
    // Ink ends within a glyph's width of the advance: a line well short of the box fits
    // without drawing it, as most status texts do. Text is laid out in pixels and drawn
    // scaled, so its advance at any density is the ratio times that in pixels.
    const QFontMetricsF Metrics(WithSpacing(AFont, Natural));
    if ((Metrics.horizontalAdvance(ALine) + Metrics.maxWidth() + Natural) * ARatio <= AWidth) {
        return Natural;
    }
    const int Overflow = InkEnd(WithSpacing(AFont, Natural), ALine, ABold, ARatio) - AWidth;
    if (Overflow <= 0) {
        return Natural;
    }
    const auto Gaps = static_cast<qreal>(ALine.size() - 1);
    if (Gaps < 1 || Overflow > Gaps * AMaxTighten * ARatio) {
        return std::nullopt;
    }
    // Spread over every gap, the closing-up shows as single pixels here and there; glyph
    // positions are rounded, so a pixel may still stick out until a step further.
    const qreal Step = 1 / (Gaps * ARatio);
    for (qreal Spacing = Natural - Overflow * Step; Spacing >= Natural - AMaxTighten;
         Spacing -= Step) {
        if (InkEnd(WithSpacing(AFont, Spacing), ALine, ABold, ARatio) <= AWidth) {
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
    // Drawn so rather than set in the label's font: a font of its own would no longer follow
    // the window's.
    FUnderline = AValue;
    update();
}

QFont TLabel::DrawnFont() const {
    QFont Font = font();
    Font.setUnderline(FUnderline);
    return Font;
}

bool TLabel::Fits(const QString& AText, qreal ARatio) const {
    if (qFuzzyCompare(ARatio, 1.0) || !DrawnAtDensity(font())) {
        return SpacingToFit(DrawnFont(), FirstLine(AText), width(), FBold).has_value();
    }
    // The device pixels the label covers where it stands in its window, as it paints them.
    const QPointF At = mapTo(window(), QPoint());
    const int Width = qRound((At.x() + width()) * ARatio) - qRound(At.x() * ARatio);
    return SpacingToFit(DrawnFont(), FirstLine(AText), Width, FBold, 1, ARatio).has_value();
}

QImage TLabel::Picture(QSize ASize, qreal ARatio) const {
    QImage Result = BlankPicture(ASize, palette().color(backgroundRole()));
    const QString Line = FirstLine(text());
    const QFont Font = DrawnFont();
    const qreal Spacing = SpacingToFit(Font, Line, ASize.width(), FBold, 1, ARatio)
                              .value_or(NaturalSpacing(FBold, ARatio));
    DrawLine(Result, WithSpacing(Font, Spacing), FFontColour, Line, FBold, ARatio);
    return Result;
}

void TLabel::paintEvent(QPaintEvent*) {
    QPainter Canvas(this);
    const qreal Ratio = DeviceScale(Canvas);
    if (qFuzzyCompare(Ratio, 1.0) || !DrawnAtDensity(font())) {
        // The bitmap font has glyphs at 1x only: drawn at one device pixel per pixel and
        // grown without smoothing, like the window's picture around it, the text keeps its
        // pixels, its place and its fit in the box at every density.
        Canvas.drawImage(rect(), Picture(size(), 1));
        return;
    }
    // A scalable font draws its glyphs at the screen's density. The picture fills the very
    // device pixels that the label covers, so that its text fits them as it was measured.
    const QRect Device = DeviceRect(Canvas, rect());
    PaintInDevicePixels(Canvas);
    Canvas.drawImage(Device.topLeft(), Picture(Device.size(), Ratio));
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
