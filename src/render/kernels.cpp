#include "kernels.h"

#include "rendercolor.h"

#include <array>
#include <vector>

#define VOSKAN_CLONES __attribute__((target_clones("arch=x86-64-v4", "arch=x86-64-v3", "default")))

namespace Kernels {

namespace {

const std::array<float, 256> &table8()
{
    static const std::array<float, 256> table = [] {
        std::array<float, 256> t{};
        for (int i = 0; i < 256; ++i)
            t[i] = float(srgbToLinear(i / 255.0));
        return t;
    }();
    return table;
}

const std::vector<float> &table16()
{
    static const std::vector<float> table = [] {
        std::vector<float> t(65536);
        for (int i = 0; i < 65536; ++i)
            t[i] = float(srgbToLinear(i / 65535.0));
        return t;
    }();
    return table;
}

template <typename T, int Max> VOSKAN_INLINE T quantize(float encoded, float noise)
{
    float v = (encoded + noise) * float(Max) + 0.5f;
    v = v < 0 ? 0 : (v > float(Max) ? float(Max) : v);
    return T(int32_t(v));
}

thread_local std::vector<float> encoded;

// Two passes: the transfer curve over each channel on its own (a short loop that keeps its
// registers), then noise, rounding and one whole-pixel store (element-wise stores into
// interleaved RGBA do not vectorise).
template <typename Word, typename T, int Max, bool Dither>
VOSKAN_INLINE void encodeRow(const float *r, const float *g, const float *b, int n, int x0, int y,
                             float amp, Word *dst)
{
    encoded.resize(std::size_t(n) * 3);
    float *er = encoded.data(), *eg = er + n, *eb = eg + n;
    for (int i = 0; i < n; ++i)
        er[i] = encodeSrgb(r[i]);
    for (int i = 0; i < n; ++i)
        eg[i] = encodeSrgb(g[i]);
    for (int i = 0; i < n; ++i)
        eb[i] = encodeSrgb(b[i]);
    constexpr int bits = int(sizeof(T)) * 8;
    for (int i = 0; i < n; ++i) {
        const uint32_t x = uint32_t(x0 + i);
        const float noise = Dither ? amp * ditherNoise(x, uint32_t(y)) : 0.f;
        const Word qr = Word(quantize<T, Max>(er[i], noise));
        const Word qg = Word(quantize<T, Max>(eg[i], noise));
        const Word qb = Word(quantize<T, Max>(eb[i], noise));
        dst[i] = qr | (qg << bits) | (qb << (2 * bits)) | (Word(Max) << (3 * bits));
    }
}

} // namespace

VOSKAN_CLONES
void encodeRow8(const float *r, const float *g, const float *b, int n, int x0, int y,
                float ditherAmplitude, uint8_t *dst)
{
    auto *words = reinterpret_cast<uint32_t *>(dst);
    if (ditherAmplitude > 0)
        encodeRow<uint32_t, uint8_t, 255, true>(r, g, b, n, x0, y, ditherAmplitude, words);
    else
        encodeRow<uint32_t, uint8_t, 255, false>(r, g, b, n, x0, y, 0, words);
}

VOSKAN_CLONES
void encodeRow16(const float *r, const float *g, const float *b, int n, int x0, int y,
                 float ditherAmplitude, uint16_t *dst)
{
    auto *words = reinterpret_cast<uint64_t *>(dst);
    if (ditherAmplitude > 0)
        encodeRow<uint64_t, uint16_t, 65535, true>(r, g, b, n, x0, y, ditherAmplitude, words);
    else
        encodeRow<uint64_t, uint16_t, 65535, false>(r, g, b, n, x0, y, 0, words);
}

void linearizeRow8(const uint8_t *rgba, int n, float *r, float *g, float *b)
{
    const float *t = table8().data();
    for (int i = 0; i < n; ++i) {
        r[i] = t[rgba[4 * i + 0]];
        g[i] = t[rgba[4 * i + 1]];
        b[i] = t[rgba[4 * i + 2]];
    }
}

void linearizeRow16(const uint16_t *rgba, int n, float *r, float *g, float *b)
{
    const float *t = table16().data();
    for (int i = 0; i < n; ++i) {
        r[i] = t[rgba[4 * i + 0]];
        g[i] = t[rgba[4 * i + 1]];
        b[i] = t[rgba[4 * i + 2]];
    }
}

VOSKAN_CLONES
void accumulateLinear8(const uint8_t *rgba, int n, float *r, float *g, float *b)
{
    const float *t = table8().data();
    for (int i = 0; i < n; ++i) {
        r[i] += t[rgba[4 * i + 0]];
        g[i] += t[rgba[4 * i + 1]];
        b[i] += t[rgba[4 * i + 2]];
    }
}

VOSKAN_CLONES
void accumulateLinear16(const uint16_t *rgba, int n, float *r, float *g, float *b)
{
    const float *t = table16().data();
    for (int i = 0; i < n; ++i) {
        r[i] += t[rgba[4 * i + 0]];
        g[i] += t[rgba[4 * i + 1]];
        b[i] += t[rgba[4 * i + 2]];
    }
}

VOSKAN_CLONES
void weightedRowSum(const float *const *rows, const float *weights, int taps, int n, float *out)
{
    const float *r0 = rows[0];
    const float w0 = weights[0];
    for (int i = 0; i < n; ++i)
        out[i] = w0 * r0[i];
    for (int t = 1; t < taps; ++t) {
        const float *rt = rows[t];
        const float wt = weights[t];
        if (wt == 0)
            continue;
        for (int i = 0; i < n; ++i)
            out[i] += wt * rt[i];
    }
}

VOSKAN_CLONES
void resampleRow(const float *src, const int *index, const float *weights, int taps, int n,
                 float *out)
{
    if (taps == 4) {
        for (int i = 0; i < n; ++i) {
            const int *ix = index + 4 * i;
            const float *w = weights + 4 * i;
            out[i] = w[0] * src[ix[0]] + w[1] * src[ix[1]] + w[2] * src[ix[2]] + w[3] * src[ix[3]];
        }
        return;
    }
    for (int i = 0; i < n; ++i) {
        const int *ix = index + std::size_t(taps) * i;
        const float *w = weights + std::size_t(taps) * i;
        float acc = 0;
        for (int t = 0; t < taps; ++t)
            acc += w[t] * src[ix[t]];
        out[i] = acc;
    }
}

VOSKAN_CLONES
void colorMatrix(float *r, float *g, float *b, int n, const float m[9], const float o[3])
{
    for (int i = 0; i < n; ++i) {
        const float rr = r[i], gg = g[i], bb = b[i];
        r[i] = m[0] * rr + m[1] * gg + m[2] * bb + o[0];
        g[i] = m[3] * rr + m[4] * gg + m[5] * bb + o[1];
        b[i] = m[6] * rr + m[7] * gg + m[8] * bb + o[2];
    }
}

namespace {

// smoothstep(−hw, hw, v) with the reciprocal of 2·hw precomputed.
VOSKAN_INLINE float seam(float v, float hw, float inv)
{
    float t = (v + hw) * inv;
    t = t < 0 ? 0 : (t > 1 ? 1 : t);
    return t * t * (3 - 2 * t);
}

} // namespace

VOSKAN_CLONES
void foldRow(float yc, const float *curve, const float *hw, float dark, const float *rows,
             int first, int last, int n, float *r, float *g, float *b)
{
    // First the per-pixel arithmetic, which vectorises; then the lookups, only where a pixel
    // is below its seam.
    thread_local std::vector<float> weights;
    thread_local std::vector<int> offsets;
    weights.resize(std::size_t(n) * 2);
    offsets.resize(std::size_t(n));
    float *below = weights.data(), *fraction = below + n;
    int *row = offsets.data();
    const int span = last - first;
    for (int i = 0; i < n; ++i) {
        const float h = hw[i];
        const float d = curve[i] - yc;
        const float h2 = 2 * h;
        float s = (d + h) / (h2 != 0 ? h2 : 1e-30f);
        s = s < 0 ? 0 : (s > 1 ? 1 : s);
        below[i] = s * s * (3 - 2 * s);
        const float t = d - 0.5f;
        const float r0 = __builtin_floorf(t);
        fraction[i] = t - r0;
        // Clamped in float first: a wild seam lies beyond what an int holds.
        const float rc =
            r0 < float(first - 1) ? float(first - 1) : (r0 > float(last) ? float(last) : r0);
        const int ya = int(rc) - first; // -1: both rows clamp to the first
        row[i] = ya;
    }
    const std::size_t stride = std::size_t(n) * 3;
    for (int i = 0; i < n; ++i) {
        const float w = below[i];
        if (w <= 0)
            continue;
        const int ya = row[i] < 0 ? 0 : row[i];
        const int yb = row[i] < span ? row[i] + 1 : span;
        const float f = fraction[i];
        const float *a = rows + std::size_t(ya) * stride + i;
        const float *c = rows + std::size_t(yb) * stride + i;
        r[i] += ((a[0] + (c[0] - a[0]) * f) * dark - r[i]) * w;
        g[i] += ((a[n] + (c[n] - a[n]) * f) * dark - g[i]) * w;
        b[i] += ((a[2 * n] + (c[2 * n] - a[2 * n]) * f) * dark - b[i]) * w;
    }
}

VOSKAN_CLONES
void flowRow2(float ny, const float *lower, const float *hw, const float *inv,
              const float colors[3][3], int n, float *r, float *g, float *b)
{
    const float r0 = colors[0][0], g0 = colors[0][1], b0 = colors[0][2];
    const float dr = colors[1][0] - r0, dg = colors[1][1] - g0, db = colors[1][2] - b0;
    for (int i = 0; i < n; ++i) {
        const float t = seam(ny - lower[i], hw[i], inv[i]);
        r[i] = r0 + dr * t;
        g[i] = g0 + dg * t;
        b[i] = b0 + db * t;
    }
}

VOSKAN_CLONES
void flowRow3(float ny, const float *lower, const float *upper, const float *hw, const float *inv,
              const float colors[3][3], int n, float *r, float *g, float *b)
{
    float *out[3] = {r, g, b};
    for (int c = 0; c < 3; ++c) {
        const float c0 = colors[0][c], c1 = colors[1][c], c2 = colors[2][c];
        float *o = out[c];
        for (int i = 0; i < n; ++i) {
            const float t1 = seam(ny - lower[i], hw[i], inv[i]);
            const float t2 = seam(ny - upper[i], hw[i], inv[i]);
            const float m = c0 * (1 - t1) + c1 * t1;
            o[i] = m * (1 - t2) + c2 * t2;
        }
    }
}

} // namespace Kernels
