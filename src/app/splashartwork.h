#pragma once

#include <QPixmap>
#include <QRect>

// The splash window's picture, drawn in code: a dark night-blue card with a
// globe of meridians, the program's name and, at kSplashStatusRect, the dark
// strip the animated status text is drawn on.
constexpr int kSplashWidth = 384;
constexpr int kSplashHeight = 284;
inline constexpr QRect kSplashStatusRect{117, 238, 166, 25};

QPixmap MakeSplashArtwork();
