// The colour controls' per-pixel loops, kept beside the other kernels in kernels.h and built
// the same way: for several instruction sets, the best chosen at load time.

#include "kernels.h"

#include "kernelclones.h"

#include "rendercolor.h"

#include <array>

namespace Kernels {

namespace {

// sRGB-encoded [0, 1] → linear light: 4096 intervals, linearly interpolated, within 3e-8 of
// the curve — far below a 16-bit step.
constexpr int kDecodeSteps = 4096;

const std::array<float, kDecodeSteps + 2> &decodeTable()
{
    static const std::array<float, kDecodeSteps + 2> table = [] {
        std::array<float, kDecodeSteps + 2> t{};
        for (int i = 0; i <= kDecodeSteps; ++i)
            t[i] = float(srgbToLinear(double(i) / kDecodeSteps));
        t[kDecodeSteps + 1] = t[kDecodeSteps];
        return t;
    }();
    return table;
}

VOSKAN_INLINE float decodeSrgb(const float *table, float v)
{
    const float x = v * float(kDecodeSteps);
    int i = int(x);
    i = i < 0 ? 0 : (i > kDecodeSteps ? kDecodeSteps : i);
    const float f = x - float(i);
    return table[i] + (table[i + 1] - table[i]) * f;
}

// One pixel of the colour controls on encoded values; leaves them in [0, 1].
VOSKAN_INLINE void controlPixel(float &r, float &g, float &b, const ColorMap &map)
{
    const float *m = map.m;
    float cr = m[0] * r + m[1] * g + m[2] * b + map.o[0];
    float cg = m[3] * r + m[4] * g + m[5] * b + map.o[1];
    float cb = m[6] * r + m[7] * g + m[8] * b + map.o[2];
    float y = 0.2126f * cr + 0.7152f * cg + 0.0722f * cb;
    const float toe = map.toe;
    if (toe > 0 && y < toe) {
        const float above = y + toe > 0 ? y + toe : 0;
        const float eased = above * above / (4 * toe);
        cr += eased - y;
        cg += eased - y;
        cb += eased - y;
        y = eased;
    }
    const float yc = y < 0 ? 0 : (y > 1 ? 1 : y);
    const float lo = cr < cg ? (cr < cb ? cr : cb) : (cg < cb ? cg : cb);
    const float hi = cr > cg ? (cr > cb ? cr : cb) : (cg > cb ? cg : cb);
    // The largest step from the luma along the colour's own direction that stays in range; a
    // luma out of range leaves no step at all. Both divisors are positive where they count.
    float t = 1;
    const float over = (1 - yc) / (hi > 1 ? hi - yc : 1.0f);
    const float under = yc / (lo < 0 ? yc - lo : 1.0f);
    t = hi > 1 && over < t ? over : t;
    t = lo < 0 && under < t ? under : t;
    const float fr = yc + (cr - yc) * t, fg = yc + (cg - yc) * t, fb = yc + (cb - yc) * t;
    r = fr < 0 ? 0 : (fr > 1 ? 1 : fr);
    g = fg < 0 ? 0 : (fg > 1 ? 1 : fg);
    b = fb < 0 ? 0 : (fb > 1 ? 1 : fb);
}

template <typename T, int Max>
VOSKAN_INLINE void colorControlSource(const T *rgba, int n, const ColorMap &map, float *r, float *g,
                                      float *b)
{
    const float *table = decodeTable().data();
    constexpr float scale = 1.0f / float(Max);
    for (int i = 0; i < n; ++i) {
        float cr = float(rgba[4 * i]) * scale, cg = float(rgba[4 * i + 1]) * scale,
              cb = float(rgba[4 * i + 2]) * scale;
        controlPixel(cr, cg, cb, map);
        r[i] = decodeSrgb(table, cr);
        g[i] = decodeSrgb(table, cg);
        b[i] = decodeSrgb(table, cb);
    }
}

} // namespace

ColorMap colorMap(float brightness, float saturation, float contrast)
{
    ColorMap map;
    const float L[3] = {0.2126f, 0.7152f, 0.0722f};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            map.m[3 * i + j] = contrast * ((i == j ? saturation : 0.f) + (1 - saturation) * L[j]);
    for (float &o : map.o)
        o = contrast * brightness + 0.5f * (1 - contrast);
    // Black lands at o: the toe spans as far above 0 as black went below, so it is as deep as
    // the darkening and vanishes with it. Contrast alone keeps its clipping, as it always had.
    if (brightness < 0 && map.o[0] < 0)
        map.toe = -map.o[0];
    return map;
}

void controlColor(float rgb[3], const ColorMap &map)
{
    controlPixel(rgb[0], rgb[1], rgb[2], map);
}

VOSKAN_CLONES
void colorControlRow(float *r, float *g, float *b, int n, const ColorMap &map)
{
    for (int i = 0; i < n; ++i) {
        r[i] = encodeSrgb(r[i]);
        g[i] = encodeSrgb(g[i]);
        b[i] = encodeSrgb(b[i]);
    }
    for (int i = 0; i < n; ++i)
        controlPixel(r[i], g[i], b[i], map);
    const float *table = decodeTable().data();
    for (int i = 0; i < n; ++i) {
        r[i] = decodeSrgb(table, r[i]);
        g[i] = decodeSrgb(table, g[i]);
        b[i] = decodeSrgb(table, b[i]);
    }
}

VOSKAN_CLONES
void colorControlRow8(const uint8_t *rgba, int n, const ColorMap &map, float *r, float *g, float *b)
{
    colorControlSource<uint8_t, 255>(rgba, n, map, r, g, b);
}

VOSKAN_CLONES
void colorControlRow16(const uint16_t *rgba, int n, const ColorMap &map, float *r, float *g,
                       float *b)
{
    colorControlSource<uint16_t, 65535>(rgba, n, map, r, g, b);
}

} // namespace Kernels
