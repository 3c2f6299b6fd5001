#include "app/Label.h"

#include <QPainter>

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

void TLabel::paintEvent(QPaintEvent*) {
    QPainter Canvas(this);
    Canvas.setClipRect(rect());
    // Of a message with a line break only the first line shows.
    QString Line = text();
    for (const QChar Break : {QLatin1Char('\r'), QLatin1Char('\n')}) {
        const qsizetype At = Line.indexOf(Break);
        if (At >= 0) {
            Line.truncate(At);
        }
    }
    QFont Font = font();
    if (FBold) {
        Font.setLetterSpacing(QFont::AbsoluteSpacing, Font.letterSpacing() + 1);
    }
    Canvas.setFont(Font);
    Canvas.setPen(FFontColour);
    const int Flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine;
    Canvas.drawText(rect(), Flags, Line);
    if (FBold) {
        Canvas.drawText(rect().translated(1, 0), Flags, Line);
    }
}
