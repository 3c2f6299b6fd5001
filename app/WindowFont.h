#pragma once
// The window's fonts: the bitmap "MS Sans Serif" at 11 pixels where the system has it (Wine's
// fonts), and a scalable sans sized so that the window's texts fit their boxes; and which of
// them each part of the window draws with at the screen's density.
#include <QFont>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

// A text the window shows in a box of fixed width. A label (TLabel) may close up its letters
// by a pixel to fit, and draws bold as the status line does; the edit box and the grid can
// do neither.
struct TFixedText {
    QString Text;
    int Width;
    bool Label = false;
    bool Bold = false;
};

// The bitmap font, added from the system's Wine fonts the first time; none where that file
// is missing.
std::optional<QFont> BitmapSans();

// The window's texts in their boxes, for a given font (the widest address depends on it).
using TFixedTexts = std::function<std::vector<TFixedText>(const QFont& AFont)>;

// The first of the usual scalable sans families the system has, at the largest size up to
// 11 pixels at which every text fits its box. Unsmoothed, as the bitmap font is drawn.
QFont FallbackSans(const TFixedTexts& AFixed);

// The widest address text in AFont: its widest number from 0 to 255, four times.
QString WidestAddress(const QFont& AFont);

// The window's own font, at one device pixel per pixel: the bitmap sans where the system
// has it, else a scalable one sized to fit the window's fixed texts (app/FixedTexts.h).
QFont WindowFont();

// The font of the edit box and the grid, for a window in AWindowFont on a screen of density
// ARatio.
QFont WidgetFont(const QFont& AWindowFont, qreal ARatio);
