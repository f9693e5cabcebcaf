#pragma once

// The per-pixel loops of the render engine. They are compiled for several instruction sets
// and the best one is chosen at load time, so a release build runs on any x86-64 but uses
// AVX2/AVX-512 where the CPU has them.

#include <bit>
#include <cstdint>

namespace Kernels {

#define VOSKAN_INLINE inline __attribute__((always_inline))

// Linear → sRGB encoding, vectorisable, within 1e-6 of the exact curve on [0, 1];
// clamps to [0, 1]. The portable path; AVX2 and AVX-512 take encodeSrgbVector() in kernels.cpp.
VOSKAN_INLINE float encodeSrgb(float x)
{
    const float xc = x > 0.0031308f ? (x < 1.0f ? x : 1.0f) : 0.0031308f; // NaN: the toe, then 0
    // log2 of xc: exponent plus a series in z = (m − 1)/(m + 1), m in [√½, √2).
    const uint32_t bits = std::bit_cast<uint32_t>(xc);
    int e = int((bits >> 23) & 0xffu) - 127;
    float m = std::bit_cast<float>((bits & 0x007fffffu) | 0x3f800000u);
    const bool big = m > 1.41421356f;
    m = big ? m * 0.5f : m;
    e = big ? e + 1 : e;
    const float z = (m - 1.0f) / (m + 1.0f);
    const float z2 = z * z;
    const float log2m =
        z * (2.8853900818f + z2 * (0.9617966939f + z2 * (0.5770780164f + z2 * 0.4121985831f)));
    // 2^(log2(xc) / 2.4) by splitting into an integer power and a Taylor series.
    const float y = (float(e) + log2m) * (1.0f / 2.4f);
    const float n = __builtin_floorf(y + 0.5f);
    const float g = (y - n) * 0.6931471806f;
    const float p =
        1.0f +
        g * (1.0f +
             g * (0.5f + g * (1.0f / 6 + g * (1.0f / 24 + g * (1.0f / 120 + g * (1.0f / 720))))));
    const float pow =
        std::bit_cast<float>(std::bit_cast<uint32_t>(p) + (uint32_t(int32_t(n)) << 23));
    const float curve = 1.055f * pow - 0.055f;
    const float lin = (x > 0 ? x : 0.0f) * 12.92f;
    return x > 0.0031308f ? curve : lin;
}

// Dither noise: triangular in (−1, 1), a pure function of the position, so equal inputs give
// equal bits whatever the thread split. One long row of it is made once; image row y reads it
// from an offset its hash picks, so no row of up to kNoiseLength pixels repeats itself and
// neighbouring rows are unrelated stretches. A load per pixel instead of a hash: the noise
// was a fifth of the encoder's work. The three channels share it: grain without colour
// speckle, and still enough to break up banding in each channel.
constexpr int kNoiseLength = 16384;
const float *ditherRow(uint32_t y); // pixel x reads index x mod kNoiseLength

// The dither intensity scale: intensity 1 adds triangular noise of ±8 steps of an 8-bit
// channel, the default 0.1 about ±0.8 steps — enough that a 16-bit render still dithers
// when it is later stored with 8 bits per channel.
constexpr float kDitherScale = 8.0f / 255.0f;

// Encodes three planar linear rows into interleaved RGBA with opaque alpha. `x0`, `y` are the
// image coordinates of the first pixel, for the dither noise. With `runs`, a vector of pixels
// of the colour encoded last reuses that encoding: worth it where flat colours repeat (the
// flow's bands), a small cost elsewhere; the bits are the same.
void encodeRow8(const float *r, const float *g, const float *b, int n, int x0, int y,
                float ditherAmplitude, uint8_t *dst, bool runs = false);
void encodeRow16(const float *r, const float *g, const float *b, int n, int x0, int y,
                 float ditherAmplitude, uint16_t *dst, bool runs = false);

// Decodes interleaved sRGB RGBA into planar linear rows.
void linearizeRow8(const uint8_t *rgba, int n, float *r, float *g, float *b);
void linearizeRow16(const uint16_t *rgba, int n, float *r, float *g, float *b);

// Adds a row of interleaved sRGB RGBA, decoded to linear light, onto planar sums.
void accumulateLinear8(const uint8_t *rgba, int n, float *r, float *g, float *b);
void accumulateLinear16(const uint16_t *rgba, int n, float *r, float *g, float *b);

// out[i] = Σ_t weights[t] · rows[t][i]
void weightedRowSum(const float *const *rows, const float *weights, int taps, int n, float *out);
// out[i] = Σ_t weights[i·taps + t] · src[index[i·taps + t]]
void resampleRow(const float *src, const int *index, const float *weights, int taps, int n,
                 float *out);
// One row of the flow kernels in linear light. `lower`/`upper` are the seam heights per
// column (edge3 uses both, edge2 only `lower`), `hw` the half-widths, `inv` = 1 / (2·hw);
// `colors` holds the band colours in linear light, bottom first.
void flowRow2(float ny, const float *lower, const float *hw, const float *inv,
              const float colors[3][3], int n, float *r, float *g, float *b);
void flowRow3(float ny, const float *lower, const float *upper, const float *hw, const float *inv,
              const float colors[3][3], int n, float *r, float *g, float *b);
// The mirror fold for one row of a block of columns: where a pixel is below its seam it
// becomes a mix with the base sampled at (x, curve − y): `upper` and `lower` hold, per column,
// the two base rows around that point (three planes of n floats each) and `fraction` how far
// it lies towards `lower`; `inv` = 1 / (2·hw). With `everywhere` the row is below every seam
// and its own pixels are not read.
void foldRow(float yc, const float *curve, const float *hw, const float *inv, float dark,
             const float *fraction, const float *upper, const float *lower, bool everywhere, int n,
             float *r, float *g, float *b);
// The colour controls, worked on sRGB-encoded values where an offset is a share of what the
// eye sees: v ← M·v + o, and a colour that leaves [0, 1] is pulled towards its luma until it
// fits (black or white where the luma itself is out), so it keeps its hue instead of clipping
// channel by channel.
//
// A darkening offset would push every tone below it to one black, and a photo's shadows with
// it: below `toe` the luma instead eases into black along (y + toe)² / (4·toe), which meets
// the offset's line at y = toe with its slope and reaches 0 where the photo's own black lands.
// All three channels move by what the luma moves, so hue and chroma stay; above the knee
// nothing changes.
struct ColorMap
{
    float m[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    float o[3] = {0, 0, 0};
    float toe = 0; // 0: none
};
// Saturation about the Rec. 709 luma, then the brightness offset, then contrast about ½.
ColorMap colorMap(float brightness, float saturation, float contrast);
// One encoded colour, in place.
void controlColor(float rgb[3], const ColorMap &map);
// Planar rows of linear light in, in place:
void colorControlRow(float *r, float *g, float *b, int n, const ColorMap &map);
// and rows of sRGB RGBA (a photo's own) into planar linear rows.
void colorControlRow8(const uint8_t *rgba, int n, const ColorMap &map, float *r, float *g,
                      float *b);
void colorControlRow16(const uint16_t *rgba, int n, const ColorMap &map, float *r, float *g,
                       float *b);

} // namespace Kernels
