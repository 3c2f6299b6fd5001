#pragma once
// Painting on whole device pixels at any density. At a fractional device pixel ratio a
// control's top left corner can fall between two device pixels; Qt clips the control, and
// shapes the window, to its rectangle with both corners rounded to the nearest device pixel,
// while the styles round positions from the control's own corner and so can draw an edge one
// pixel off, outside the clip or short of it.
#include <QPainter>
#include <QRect>

// How many device pixels to a pixel the painter draws: the screen's density in a window, or
// that of the picture a control is rendered into.
qreal DeviceScale(const QPainter& ACanvas);

// The device pixels of ARect (in the painter's coordinates), as Qt clips and shapes it.
QRect DeviceRect(const QPainter& ACanvas, const QRectF& ARect);

// From now on the painter's coordinates are the device's pixels.
void PaintInDevicePixels(QPainter& ACanvas);
