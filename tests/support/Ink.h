#pragma once
// Where text left its ink in a picture: whether a line shows whole, how big it is drawn.
#include <QImage>
#include <QRect>
#include <utility>

namespace ink {

// The bounding box of the pixels of AArea in AImage that differ from ABackground.
inline QRect InkBox(const QImage& AImage, const QRect& AArea, QRgb ABackground = 0xFFFFFFFF) {
    QRect Box;
    for (int Y = AArea.top(); Y <= AArea.bottom(); ++Y) {
        for (int X = AArea.left(); X <= AArea.right(); ++X) {
            if ((AImage.pixel(X, Y) & RGB_MASK) != (ABackground & RGB_MASK)) {
                Box |= QRect(X, Y, 1, 1);
            }
        }
    }
    return Box;
}

// The rows that the last two columns of a line's ink span: a trace of the glyph it ends with,
// whole or cut, that a letter moved by part of a pixel keeps.
inline std::pair<int, int> EndOfInk(const QImage& ALine) {
    const QRect Ink = InkBox(ALine, ALine.rect());
    const QRect End = InkBox(ALine, QRect(Ink.right() - 1, 0, 2, ALine.height()));
    return {End.top(), End.bottom()};
}

} // namespace ink
