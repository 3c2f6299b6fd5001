#pragma once

#include <QImage>

// The pictures compiled into the program, also reachable as ":/vexlo/<file>.xpm".
// Every colour is one of the standard 16; each call reads the picture afresh.

// 210 x 90. Purple (128, 0, 128) marks where the window is cut away.
QImage BackgroundPicture();
// 48 x 16: three 16 x 16 pictures side by side (not pinged, reply received,
// failure). See-through pixels have alpha 0.
QImage StatusPictures();
// 32 x 32, without see-through pixels.
QImage ProgramIcon();
