#pragma once
// Pixel by pixel comparisons of pictures, for the GUI tests and the end-to-end tests alike.
#include <QColor>
#include <QImage>
#include <QRect>
#include <functional>
#include <string>

namespace pixels {

inline std::string RgbText(QRgb AColour) {
    return QColor(AColour).name().toStdString();
}

// Empty when every pixel of ARect in AImage has the expected colour; else how many differ
// and the first of them. A pixel outside the image differs from every colour.
inline std::string CheckPixels(const QImage& AImage, const QRect& ARect,
                               const std::function<QRgb(QPoint)>& AExpected) {
    int Differing = 0;
    std::string First;
    for (int Y = ARect.top(); Y <= ARect.bottom(); ++Y) {
        for (int X = ARect.left(); X <= ARect.right(); ++X) {
            const QRgb Want = AExpected({X, Y}) & RGB_MASK;
            const bool Inside = AImage.valid(X, Y);
            const QRgb Got = Inside ? AImage.pixel(X, Y) & RGB_MASK : 0;
            if ((!Inside || Got != Want) && Differing++ == 0) {
                First = "pixel (" + std::to_string(X) + "," + std::to_string(Y) + ") is " +
                        (Inside ? RgbText(Got) : std::string("outside the picture")) +
                        ", expected " + RgbText(Want);
            }
        }
    }
    return Differing == 0 ? std::string()
                          : std::to_string(Differing) + " pixels differ, the first: " + First;
}

// The same for a whole expected picture placed at ATopLeft.
inline std::string CompareArea(const QImage& AImage, QPoint ATopLeft, const QImage& AExpected) {
    return CheckPixels(AImage, QRect(ATopLeft, AExpected.size()),
                       [&](QPoint APoint) { return AExpected.pixel(APoint - ATopLeft); });
}

} // namespace pixels
