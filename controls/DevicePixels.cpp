#include "controls/DevicePixels.h"

#include <QTransform>

qreal DeviceScale(const QPainter& ACanvas) {
    return ACanvas.deviceTransform().m11();
}

QRect DeviceRect(const QPainter& ACanvas, const QRectF& ARect) {
    const QTransform& ToDevice = ACanvas.deviceTransform();
    const QPoint TopLeft = ToDevice.map(ARect.topLeft()).toPoint();
    const QPoint End = ToDevice.map(ARect.bottomRight()).toPoint();
    return QRect(TopLeft, End - QPoint(1, 1));
}

void PaintInDevicePixels(QPainter& ACanvas) {
    // The device transform is the world's followed by the fixed rest (the control's offset in
    // its window and the density): undoing all of it leaves the world that cancels the rest.
    ACanvas.setWorldTransform(ACanvas.deviceTransform().inverted() * ACanvas.worldTransform());
}
