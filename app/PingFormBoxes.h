#pragma once
// Where the window's boxes of fixed size lie, in its client area: the controls are placed in
// them, and the window's font is chosen so that their texts fit.
#include <QRect>

inline constexpr QRect EditBox(18, 14, 91, 14);
inline constexpr QRect StatusBox(8, 42, 161, 13);
inline constexpr QRect HelpBox(176, 42, 22, 13);
inline constexpr QRect GridBox(2, 90, 206, 148);
