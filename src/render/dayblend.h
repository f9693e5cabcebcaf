#pragma once

// The pictures of a day cycle between night and day. The night is the dark look's render, the
// full day the light look's; what lies between is the two mixed in linear light — a mix of the
// encoded values would sink every dawn into a murky grey — with the warm cast of a sun near the
// horizon. Both ends are handed back as they are, so a cycle's pure pictures are the pair's own.

#include "bitmap.h"

namespace DayBlend {

// How much of the day shows at a sun altitude in degrees: none at civil dusk (−6°) and below,
// all from +10° up, a smooth step between (no kink where the sky starts to brighten).
double daylight(double altitude);

// The warm cast of a low sun: 1 with the sun at the horizon, falling smoothly to none 8° above
// or below it.
double warmth(double altitude);

// `night` and `day` mixed: `daylight` 0 gives `night` and 1 gives `day`, both as they are; in
// between the mix in linear light, tinted by `warmth` (0–1) and encoded with `dither` (as a
// look's, 0.1 about ±0.8 steps of 8 bits) in the pictures' own depth. Null when the two differ
// in size or depth or either is null.
Bitmap blend(const Bitmap &night, const Bitmap &day, double daylight, double warmth,
             double dither = 0.1);

} // namespace DayBlend
