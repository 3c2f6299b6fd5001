#pragma once

#include "tests/support/Pixels.h"

#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QRect>
#include <QScreen>
#include <QTest>
#include <QWidget>
#include <QWindow>
#include <functional>
#include <string>

namespace guitest {

// A top-level window that paints a fixed picture and takes the presses its
// children leave to it, standing in for a parent whose background must show
// through its children.
class TPictureSurface : public QWidget {
  public:
    explicit TPictureSurface(QImage APicture) : FPicture(std::move(APicture)) {
        setFixedSize(FPicture.size());
    }
    const QImage& Picture() const { return FPicture; }
    int Presses = 0;

  protected:
    void paintEvent(QPaintEvent*) override { QPainter(this).drawImage(0, 0, FPicture); }
    void mousePressEvent(QMouseEvent*) override { ++Presses; }

  private:
    QImage FPicture;
};

// Every pixel different from its neighbours and blue fixed at 100, so it is
// never white, silver or black, and a shifted or filled area shows.
inline QImage PatternPicture(int AWidth, int AHeight) {
    QImage Result(AWidth, AHeight, QImage::Format_RGB32);
    for (int Y = 0; Y < AHeight; ++Y) {
        for (int X = 0; X < AWidth; ++X) {
            Result.setPixel(X, Y, qRgb((X * 7) % 256, (Y * 11 + X) % 256, 100));
        }
    }
    return Result;
}

// The widget rendered afresh, with its children.
inline QImage Grab(QWidget& AWidget) {
    return AWidget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// What the shown window really holds on screen, once pending paints are done:
// catches a change that was never repainted, which Grab() cannot.
inline QImage OnScreen(QWidget& AWindow) {
    QCoreApplication::processEvents();
    return AWindow.screen()
        ->grabWindow(AWindow.winId())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

using pixels::CheckPixels;
using pixels::RgbText;

// Shows the window and parks the pointer at a place outside every child (the
// test cursor starts at 10,10). False when the window never got exposed.
[[nodiscard]] inline bool ShowAt(QWidget& AWindow, QPoint AParkPointer) {
    AWindow.show();
    if (!QTest::qWaitForWindowExposed(&AWindow)) {
        return false;
    }
    QTest::mouseMove(AWindow.windowHandle(), AParkPointer);
    return true;
}

} // namespace guitest
