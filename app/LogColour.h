#pragma once

#include <QColor>
#include <QPalette>

#include <cstdint>

// Colours as the window's description gives them: a top byte of 0 holds red (lowest
// byte), green and blue; a top byte of 0x80 names a desktop colour by its index.
using TColor = int32_t;
constexpr TColor clBlack = 0;
constexpr TColor clRed = 255;
constexpr TColor clWindow = static_cast<TColor>(0x80000005u);
constexpr TColor clWindowText = static_cast<TColor>(0x80000008u);
constexpr TColor clBtnFace = static_cast<TColor>(0x8000000Fu);

// Turns a desktop colour into the plain colour the desktop shows for it now. Plain
// colours, and clWindowText, which the log keeps as "automatic", come back unchanged.
TColor ResolveColour(TColor colour, const QPalette& palette);

// The colour to paint with; clWindowText follows the desktop's current setting.
QColor PaintColour(TColor colour, const QPalette& palette);
