#pragma once

// What a person sees in a finished wallpaper, in numbers: how bright it is, how much of it
// is black, which way its colours lean, and how many of its colours turned to another hue.

#include "render/bitmap.h"

struct PictureStats
{
    double meanGrey = 0;   // mean Rec. 709 luma of the sRGB values, 0–1
    double blackShare = 0; // pixels with every channel below 2 %
    double meanA = 0;      // mean CIELAB a* and b*: the picture's overall colour cast
    double meanB = 0;

    static PictureStats of(const Bitmap &picture);
};

// The angle in degrees between the mean chroma directions of two pictures.
double hueTurn(const PictureStats &a, const PictureStats &b);

// Of the pixels that are coloured in both pictures of the same size (CIELAB chroma ≥ 5), the
// share whose hue differs by more than `degrees`: the fringes of channels clipped one by one.
double hueShiftShare(const Bitmap &a, const Bitmap &b, double degrees);
