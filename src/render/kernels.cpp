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

// One whole pixel per store: element-wise stores into interleaved RGBA do not vectorise.
template <typename Word, typename T, int Max, bool Dither>
VOSKAN_INLINE void encodeRow(const float *r, const float *g, const float *b, int n, int x0, int y,
                             float amp, Word *dst)
{
    constexpr int bits = int(sizeof(T)) * 8;
    for (int i = 0; i < n; ++i) {
        const uint32_t x = uint32_t(x0 + i);
        const float noise = Dither ? amp * ditherNoise(x, uint32_t(y)) : 0.f;
        const Word qr = Word(quantize<T, Max>(encodeSrgb(r[i]), noise));
        const Word qg = Word(quantize<T, Max>(encodeSrgb(g[i]), noise));
        const Word qb = Word(quantize<T, Max>(encodeSrgb(b[i]), noise));
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

float linearFrom8(uint8_t v)
{
    return table8()[v];
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

} // namespace Kernels
