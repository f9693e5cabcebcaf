#include "kernels.h"

#include "kernelclones.h"

#include "rendercolor.h"

#include <array>
#include <cmath>
#include <type_traits>
#include <vector>

namespace Kernels {

namespace {

// The hash behind the noise.
uint32_t ditherHash(uint32_t x, uint32_t y)
{
    uint32_t h = x * 0x9E3779B1u ^ (y * 0x85EBCA77u + 0x165667B1u);
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    h *= 0x297A2D39u;
    h ^= h >> 15;
    return h;
}

} // namespace

const float *ditherRow(uint32_t y)
{
    // Periodic over twice the length and a vector more, so a row read from any offset, and
    // a vector read from any pixel of it, is contiguous.
    static const std::vector<float> noise = [] {
        std::vector<float> t(std::size_t(kNoiseLength) * 2 + 16);
        for (std::size_t i = 0; i < t.size(); ++i) {
            const uint32_t h = ditherHash(uint32_t(i % kNoiseLength), 0x5EEDu);
            const float u1 = float(h & 0xffffu) * (1.0f / 65536.0f);
            const float u2 = float(h >> 16) * (1.0f / 65536.0f);
            t[i] = u1 + u2 - 1.0f + (1.0f / 65536.0f);
        }
        return t;
    }();
    return noise.data() + (ditherHash(y, 0x0FF5E7u) & (kNoiseLength - 1));
}

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

// The portable encoder, in two passes: the transfer curve over each channel on its own (a
// short loop that keeps its registers), then noise, rounding and one whole-pixel store
// (element-wise stores into interleaved RGBA do not vectorise).
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
    const float *row = Dither ? ditherRow(uint32_t(y)) : nullptr;
    for (int i = 0; i < n; ++i) {
        const float noise = Dither ? amp * row[uint32_t(x0 + i) & (kNoiseLength - 1)] : 0.f;
        const Word qr = Word(quantize<T, Max>(er[i], noise));
        const Word qg = Word(quantize<T, Max>(eg[i], noise));
        const Word qb = Word(quantize<T, Max>(eb[i], noise));
        dst[i] = qr | (qg << bits) | (qb << (2 * bits)) | (Word(Max) << (3 * bits));
    }
}

template <typename Word, int Max>
[[maybe_unused]] void encodeRowPortable(const float *r, const float *g, const float *b, int n,
                                        int x0, int y, float amp, Word *dst)
{
    using T = std::conditional_t<Max == 255, uint8_t, uint16_t>;
    if (amp > 0)
        encodeRow<Word, T, Max, true>(r, g, b, n, x0, y, amp, dst);
    else
        encodeRow<Word, T, Max, false>(r, g, b, n, x0, y, 0, dst);
}

// The vector helpers below are always inlined into a caller built for AVX2 or AVX-512, so the
// baseline's calling convention for vectors never applies to them.
#pragma GCC diagnostic ignored "-Wpsabi"

template <int L> struct Lanes;
template <> struct Lanes<8>
{
    typedef float F __attribute__((vector_size(32)));
    typedef uint32_t U __attribute__((vector_size(32)));
    typedef int32_t I __attribute__((vector_size(32)));
    typedef uint64_t Q __attribute__((vector_size(32)));
};
template <> struct Lanes<16>
{
    typedef float F __attribute__((vector_size(64)));
    typedef uint32_t U __attribute__((vector_size(64)));
    typedef int32_t I __attribute__((vector_size(64)));
    typedef uint64_t Q __attribute__((vector_size(64)));
};

// The transfer curve on a vector, for CPUs with a variable permute (AVX2 and up):
// x^(1/2.4) = 2^(5e/12) · m^(5/12) with e the float's exponent kept in [−8, −1], so the eight
// scales 1.055 · 2^(5e/12) sit in one register and m in [0.8, 2] is one polynomial. That is a
// third of the work of log and exp, and needs no gathers, which AMD's AVX2 cores run slowly.
// Within 0.05 of a 16-bit step of the exact curve; tst_render checks every level.
template <int L>
VOSKAN_INLINE typename Lanes<L>::F encodeSrgbVector(const typename Lanes<L>::F &v,
                                                    const typename Lanes<L>::F &scales)
{
    using VF = typename Lanes<L>::F;
    using VI = typename Lanes<L>::I;
    constexpr float lo = 0.0031308f;
    const VF xc = v > lo ? (v < 1.0f ? v : 1.0f) : lo; // NaN becomes the toe, then 0
    const VI bits = reinterpret_cast<VI>(xc);
    VI e = bits >> 23;
    e = e < 119 ? 119 : (e > 126 ? 126 : e);
    const VF m = reinterpret_cast<VF>(bits - ((e - 127) << 23));
    // Weighted minimax of m^(5/12) in t = (m − 1.4) / 0.6.
    const VF t = m * (1.0f / 0.6f) - (1.4f / 0.6f);
    VF p = t * -0.00018228759f + 0.00059431163f;
    p = p * t - 0.0016106039f;
    p = p * t + 0.0057646971f;
    p = p * t - 0.025678105f;
    p = p * t + 0.20545116f;
    p = p * t + 1.1505000f;
    const VF curve = __builtin_shuffle(scales, e) * p - 0.055f;
    const VF lin = v > 0 ? v * 12.92f : 0.0f;
    return v > lo ? curve : lin;
}

template <int L, int Max>
VOSKAN_INLINE typename Lanes<L>::U quantizeVector(const typename Lanes<L>::F &encoded,
                                                  const typename Lanes<L>::F &noise)
{
    using VF = typename Lanes<L>::F;
    VF v = (encoded + noise) * float(Max) + 0.5f;
    v = v < 0 ? 0 : (v > float(Max) ? float(Max) : v);
    return typename Lanes<L>::U(__builtin_convertvector(v, typename Lanes<L>::I));
}

// One pass, L pixels at a time: curve, the noise of ditherRow(), rounding and the interleaved
// store, with no row of intermediates.
template <int L, typename Word, int Max, bool Dither, bool Runs>
VOSKAN_INLINE void encodeRowVectors(const float *r, const float *g, const float *b, int n, int x0,
                                    int y, float amp, Word *dst)
{
    using VF = typename Lanes<L>::F;
    using VU = typename Lanes<L>::U;
    // Made once: a call may encode as few as a hundred pixels (the mirror's blocks).
    static const std::array<float, L> table = [] {
        std::array<float, L> t{};
        for (int e = 119; e <= 126; ++e) // biased exponents; the permute reads the index mod L
            t[e % L] = float(1.055 * std::exp2(5.0 * (e - 127) / 12.0));
        return t;
    }();
    VF scales;
    __builtin_memcpy(&scales, table.data(), sizeof scales);
    const float *noiseRow = Dither ? ditherRow(uint32_t(y)) : nullptr;
    [[maybe_unused]] VF lastR = VF{} - 1.0f, lastG = lastR, lastB = lastR, lastEr{}, lastEg{},
                        lastEb{};
    for (int i = 0; i < n; i += L) {
        // The tail takes the same arithmetic, so a pixel's bits do not depend on where a row
        // starts.
        const int count = n - i < L ? n - i : L;
        VF cr{}, cg{}, cb{};
        if (count == L) {
            __builtin_memcpy(&cr, r + i, sizeof cr);
            __builtin_memcpy(&cg, g + i, sizeof cg);
            __builtin_memcpy(&cb, b + i, sizeof cb);
        } else {
            __builtin_memcpy(&cr, r + i, sizeof(float) * std::size_t(count));
            __builtin_memcpy(&cg, g + i, sizeof(float) * std::size_t(count));
            __builtin_memcpy(&cb, b + i, sizeof(float) * std::size_t(count));
        }
        VF noise{};
        if constexpr (Dither) {
            // The row is twice as long as it is read, so L values from any start are there.
            __builtin_memcpy(&noise, noiseRow + (uint32_t(x0 + i) & (kNoiseLength - 1)),
                             sizeof noise);
            noise *= amp;
        }
        VF er, eg, eb;
        if constexpr (Runs) {
            // A vector of the colour that was encoded last takes its encoding again: the same
            // arithmetic on the same value, so the same bits, for a fraction of the work.
            using V64 = typename Lanes<L>::Q;
            const V64 same = reinterpret_cast<V64>((cr == lastR) & (cg == lastG) & (cb == lastB));
            uint64_t all = ~uint64_t(0);
            for (int j = 0; j < L / 2; ++j)
                all &= same[j];
            if (all == ~uint64_t(0)) {
                er = lastEr;
                eg = lastEg;
                eb = lastEb;
            } else {
                er = encodeSrgbVector<L>(cr, scales);
                eg = encodeSrgbVector<L>(cg, scales);
                eb = encodeSrgbVector<L>(cb, scales);
                lastR = cr[0] - VF{};
                lastG = cg[0] - VF{};
                lastB = cb[0] - VF{};
                lastEr = er[0] - VF{};
                lastEg = eg[0] - VF{};
                lastEb = eb[0] - VF{};
            }
        } else {
            er = encodeSrgbVector<L>(cr, scales);
            eg = encodeSrgbVector<L>(cg, scales);
            eb = encodeSrgbVector<L>(cb, scales);
        }
        // The noise as a value of its own: otherwise the compiler fuses its scaling into the
        // sum on one path and not on the other, and a run's bits would differ from its
        // pixels' in the last place.
        asm("" : "+v"(noise));
        const VU qr = quantizeVector<L, Max>(er, noise);
        const VU qg = quantizeVector<L, Max>(eg, noise);
        const VU qb = quantizeVector<L, Max>(eb, noise);
        if constexpr (Max == 255) {
            const VU out = qr | (qg << 8) | (qb << 16) | 0xff000000u;
            __builtin_memcpy(dst + i, &out, sizeof(Word) * std::size_t(count));
        } else {
            // Two 32-bit halves per pixel, interleaved into 64-bit words.
            const VU low = qr | (qg << 16), high = qb | 0xffff0000u;
            VU first, second;
            if constexpr (L == 8) {
                first = __builtin_shuffle(low, high, VU{0, 8, 1, 9, 2, 10, 3, 11});
                second = __builtin_shuffle(low, high, VU{4, 12, 5, 13, 6, 14, 7, 15});
            } else {
                first = __builtin_shuffle(
                    low, high, VU{0, 16, 1, 17, 2, 18, 3, 19, 4, 20, 5, 21, 6, 22, 7, 23});
                second = __builtin_shuffle(
                    low, high, VU{8, 24, 9, 25, 10, 26, 11, 27, 12, 28, 13, 29, 14, 30, 15, 31});
            }
            const std::size_t half = sizeof(Word) * std::size_t(L / 2);
            const std::size_t bytes = sizeof(Word) * std::size_t(count);
            if (count == L) {
                __builtin_memcpy(dst + i, &first, half);
                __builtin_memcpy(dst + i + L / 2, &second, half);
            } else {
                __builtin_memcpy(dst + i, &first, bytes < half ? bytes : half);
                if (bytes > half)
                    __builtin_memcpy(dst + i + L / 2, &second, bytes - half);
            }
        }
    }
}

template <int L, typename Word, int Max>
VOSKAN_INLINE void encodeRowVectors(const float *r, const float *g, const float *b, int n, int x0,
                                    int y, float amp, bool runs, Word *dst)
{
    if (amp > 0 && runs)
        encodeRowVectors<L, Word, Max, true, true>(r, g, b, n, x0, y, amp, dst);
    else if (amp > 0)
        encodeRowVectors<L, Word, Max, true, false>(r, g, b, n, x0, y, amp, dst);
    else if (runs)
        encodeRowVectors<L, Word, Max, false, true>(r, g, b, n, x0, y, 0, dst);
    else
        encodeRowVectors<L, Word, Max, false, false>(r, g, b, n, x0, y, 0, dst);
}

#ifdef VOSKAN_KERNEL_LEVEL_FIXED
template <typename Word, int Max>
void encodeRowBest(const float *r, const float *g, const float *b, int n, int x0, int y, float amp,
                   [[maybe_unused]] bool runs, Word *dst)
{
#if defined(__AVX512F__)
    encodeRowVectors<16, Word, Max>(r, g, b, n, x0, y, amp, runs, dst);
#elif defined(__AVX2__) && defined(__FMA__)
    encodeRowVectors<8, Word, Max>(r, g, b, n, x0, y, amp, runs, dst);
#else
    encodeRowPortable<Word, Max>(r, g, b, n, x0, y, amp, dst);
#endif
}
#else
template <typename Word, int Max>
__attribute__((target("arch=x86-64-v4"))) void encodeRowAvx512(const float *r, const float *g,
                                                               const float *b, int n, int x0, int y,
                                                               float amp, bool runs, Word *dst)
{
    encodeRowVectors<16, Word, Max>(r, g, b, n, x0, y, amp, runs, dst);
}

template <typename Word, int Max>
__attribute__((target("arch=x86-64-v3"))) void encodeRowAvx2(const float *r, const float *g,
                                                             const float *b, int n, int x0, int y,
                                                             float amp, bool runs, Word *dst)
{
    encodeRowVectors<8, Word, Max>(r, g, b, n, x0, y, amp, runs, dst);
}

// The portable encoder has no runs to take; its bits are the same either way.
template <typename Word, int Max>
void encodeRowPlain(const float *r, const float *g, const float *b, int n, int x0, int y, float amp,
                    bool, Word *dst)
{
    encodeRowPortable<Word, Max>(r, g, b, n, x0, y, amp, dst);
}

// The level is chosen once, at the first row.
template <typename Word, int Max>
void encodeRowBest(const float *r, const float *g, const float *b, int n, int x0, int y, float amp,
                   bool runs, Word *dst)
{
    static const auto row = [] {
        __builtin_cpu_init();
        if (__builtin_cpu_supports("x86-64-v4"))
            return &encodeRowAvx512<Word, Max>;
        if (__builtin_cpu_supports("x86-64-v3"))
            return &encodeRowAvx2<Word, Max>;
        return &encodeRowPlain<Word, Max>;
    }();
    row(r, g, b, n, x0, y, amp, runs, dst);
}
#endif

} // namespace

void encodeRow8(const float *r, const float *g, const float *b, int n, int x0, int y,
                float ditherAmplitude, uint8_t *dst, bool runs)
{
    encodeRowBest<uint32_t, 255>(r, g, b, n, x0, y, ditherAmplitude, runs,
                                 reinterpret_cast<uint32_t *>(dst));
}

void encodeRow16(const float *r, const float *g, const float *b, int n, int x0, int y,
                 float ditherAmplitude, uint16_t *dst, bool runs)
{
    encodeRowBest<uint64_t, 65535>(r, g, b, n, x0, y, ditherAmplitude, runs,
                                   reinterpret_cast<uint64_t *>(dst));
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
    if (taps == 4) {
        // Catmull-Rom's four rows in one pass: one store per pixel instead of four.
        const float *__restrict r0 = rows[0], *__restrict r1 = rows[1], *__restrict r2 = rows[2],
                                *__restrict r3 = rows[3];
        const float w0 = weights[0], w1 = weights[1], w2 = weights[2], w3 = weights[3];
        float *__restrict o = out;
        for (int i = 0; i < n; ++i)
            o[i] = w0 * r0[i] + w1 * r1[i] + w2 * r2[i] + w3 * r3[i];
        return;
    }
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
void foldRow(float yc, const float *__restrict curve, const float *__restrict hw,
             const float *__restrict inv, float dark, const float *__restrict fraction,
             const float *__restrict upper, const float *__restrict lower, bool everywhere, int n,
             float *__restrict r, float *__restrict g, float *__restrict b)
{
    const float *ar = upper, *ag = upper + n, *ab = upper + 2 * n;
    const float *zr = lower, *zg = lower + n, *zb = lower + 2 * n;
    if (everywhere) {
        for (int i = 0; i < n; ++i) {
            const float f = fraction[i];
            r[i] = (ar[i] + (zr[i] - ar[i]) * f) * dark;
            g[i] = (ag[i] + (zg[i] - ag[i]) * f) * dark;
            b[i] = (ab[i] + (zb[i] - ab[i]) * f) * dark;
        }
        return;
    }
    for (int i = 0; i < n; ++i) {
        const float below = seam(curve[i] - yc, hw[i], inv[i]), f = fraction[i];
        r[i] += ((ar[i] + (zr[i] - ar[i]) * f) * dark - r[i]) * below;
        g[i] += ((ag[i] + (zg[i] - ag[i]) * f) * dark - g[i]) * below;
        b[i] += ((ab[i] + (zb[i] - ab[i]) * f) * dark - b[i]) * below;
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
void flowRow3(float ny, const float *__restrict lower, const float *__restrict upper,
              const float *__restrict hw, const float *__restrict inv, const float colors[3][3],
              int n, float *__restrict r, float *__restrict g, float *__restrict b)
{
    // Both seams once per pixel, then the three channels from them.
    const float r0 = colors[0][0], g0 = colors[0][1], b0 = colors[0][2];
    const float r1 = colors[1][0], g1 = colors[1][1], b1 = colors[1][2];
    const float r2 = colors[2][0], g2 = colors[2][1], b2 = colors[2][2];
    for (int i = 0; i < n; ++i) {
        const float t1 = seam(ny - lower[i], hw[i], inv[i]);
        const float t2 = seam(ny - upper[i], hw[i], inv[i]);
        const float mr = r0 * (1 - t1) + r1 * t1, mg = g0 * (1 - t1) + g1 * t1,
                    mb = b0 * (1 - t1) + b1 * t1;
        r[i] = mr * (1 - t2) + r2 * t2;
        g[i] = mg * (1 - t2) + g2 * t2;
        b[i] = mb * (1 - t2) + b2 * t2;
    }
}

} // namespace Kernels
