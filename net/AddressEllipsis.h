#pragma once
// An address shortened in its middle to fit a box of fixed width, for display only: the
// whole text belongs in a tooltip beside it. Plain text and a width measure handed in, so
// the window's font, and its way of closing up letters to fit, stay in the window.
#include <functional>
#include <string>
#include <string_view>

// The width in pixels of a text as the box would show it.
using TTextWidth = std::function<int(std::string_view)>;

// AAddress itself where AWidth finds it within ABoxWidth; otherwise its leading and trailing
// groups around AEllipsis ("2a00:1450…:200e"), as many as fit, the leading side taking the
// odd one; the trailing side starts at the colon before its first group. Where not even one
// group on each side fits, the first group and the ellipsis: the box clips the rest.
std::string ShortenAddress(std::string_view AAddress, const TTextWidth& AWidth, int ABoxWidth,
                           std::string_view AEllipsis);
