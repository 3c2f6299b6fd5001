#pragma once
// The texts the window shows in boxes of fixed width, the widest status texts included: the
// window's font must fit them all.
#include "app/WindowFont.h"

#include <QFont>
#include <vector>

std::vector<TFixedText> FixedTexts(const QFont& AFont);
