#include "controls/TransButton.h"

#include <QPainter>

void TTransButton::paintEvent(QPaintEvent*) {
    const QColor Colour = FHovered ? QColor(192, 192, 192) : QColor(255, 255, 255);
    const int W = width();
    const int H = height();
    // Four filled strips rather than drawRect: exact pixels whatever the pen
    // rules, and nothing at all for an empty rectangle.
    QPainter Canvas(this);
    Canvas.fillRect(0, 0, W, 1, Colour);
    Canvas.fillRect(0, H - 1, W, 1, Colour);
    Canvas.fillRect(0, 0, 1, H, Colour);
    Canvas.fillRect(W - 1, 0, 1, H, Colour);
}

void TTransButton::enterEvent(QEnterEvent*) {
    FHovered = true;
    update();
}

void TTransButton::leaveEvent(QEvent*) {
    FHovered = false;
    update();
}
