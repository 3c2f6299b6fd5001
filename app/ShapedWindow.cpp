#include "app/ShapedWindow.h"

#include <QApplication>
#include <QBitmap>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleHints>
#include <QWindow>

TShapedWindow::TShapedWindow(Qt::WindowFlags AFlags)
    : QWidget(nullptr, AFlags | Qt::Window | Qt::FramelessWindowHint) {
    QPalette Palette = palette();
    Palette.setColor(QPalette::Window, QColor::fromRgb(KeyColour));
    setPalette(Palette);
    setAutoFillBackground(true);
}

void TShapedWindow::SetPicture(const QImage& APicture) {
    FPicture = APicture;
    Reshape();
    update();
}

void TShapedWindow::DropPicture() {
    FPicture.reset();
}

QRegion TShapedWindow::ShapeRegion() const {
    QImage Finished(width(), height(), QImage::Format_RGB32);
    Finished.fill(KeyColour);
    QPainter Canvas(&Finished);
    if (FPicture) {
        Canvas.drawImage(0, 0, *FPicture);
    } else {
        // No picture yet: the window is a plain rectangle until it has one.
        Canvas.fillRect(Finished.rect(), Qt::white);
    }
    PaintSolidParts(Canvas);
    Canvas.end();
    return QRegion(QBitmap::fromImage(Finished.createMaskFromColor(KeyColour, Qt::MaskInColor)));
}

void TShapedWindow::PaintSolidParts(QPainter&) const {}

bool TShapedWindow::MovesWindow(QPoint APos) const {
    return childAt(APos) == nullptr;
}

void TShapedWindow::Reshape() {
    setMask(ShapeRegion());
}

void TShapedWindow::mousePressEvent(QMouseEvent* AEvent) {
    // A control that leaves a press to its parent (the picture's right button) moves nothing.
    if (MovesWindow(AEvent->position().toPoint())) {
        FDragPending = true;
        FDragging = false;
        FPressPos = AEvent->globalPosition().toPoint() - frameGeometry().topLeft();
    }
    AEvent->accept();
}

void TShapedWindow::mouseMoveEvent(QMouseEvent* AEvent) {
    const QPoint Global = AEvent->globalPosition().toPoint();
    if (FDragPending) {
        const QPoint Moved = Global - frameGeometry().topLeft() - FPressPos;
        if (Moved.manhattanLength() < QApplication::styleHints()->startDragDistance()) {
            return;
        }
        FDragPending = false;
        // A window manager moves the window itself, as by a title bar; without one, or when
        // it will not, the window follows the pointer.
        FDragging = !(windowHandle() && windowHandle()->startSystemMove());
    }
    if (FDragging) {
        move(Global - FPressPos);
    }
}

void TShapedWindow::mouseReleaseEvent(QMouseEvent*) {
    FDragPending = false;
    FDragging = false;
}

void TShapedWindow::paintEvent(QPaintEvent*) {
    if (!FPicture) {
        return;
    }
    // The finished image that the shape is taken from, solid parts included: at a fractional
    // density a control's own drawing can leave a device pixel of its place unpainted (its
    // edges are rounded from a position between two device pixels), and there the window
    // shows through. That pixel lies inside the shape, so it must not show the key colour.
    QPainter Canvas(this);
    Canvas.drawImage(0, 0, *FPicture);
    PaintSolidParts(Canvas);
}

void TShapedWindow::resizeEvent(QResizeEvent* AEvent) {
    QWidget::resizeEvent(AEvent);
    Reshape();
}
