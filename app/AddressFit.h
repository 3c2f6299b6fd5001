#pragma once
// An address shown in a box too narrow for it: its middle left out (net/AddressEllipsis.h),
// with an ellipsis the box's font can draw. The window and the grid put the whole address
// beside it, in a tooltip.
#include <QFont>
#include <QString>
#include <functional>

// "…" where AFont has the glyph and its dots stay apart as the box draws it; else three full
// stops, which every font has. A glyph taken from a fallback font would not match the line
// around it, and bold as a label draws it (twice, one pixel apart) runs dots that stand one
// pixel apart into a line: the bitmap sans's ellipsis would read as an underscore.
QString AddressEllipsis(const QFont& AFont, bool ABold);

// AAddress where AFits holds for it; else its leading and trailing groups around AEllipsis,
// as many as AFits allows. Text without colon groups (a dotted quad, a name) stays whole.
QString FitAddress(const QString& AAddress, const std::function<bool(const QString&)>& AFits,
                   const QString& AEllipsis);
