#pragma once

// What the render engine's translation units share and nobody outside src/render needs: the
// callback that receives finished rows of linear light, the strip size work is split by, each
// worker thread's scratch buffers, and the small float helpers the mirror and flow curves are
// computed with. RenderContext is the only way in; this header is not part of its interface.

#include "image.h"

#include <QRect>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <vector>

class RenderContext;

namespace RenderInternals {

// Receives a finished span of one row: `row` counts from the top of the rectangle, `y` is the
// image row (lower-left origin), the span starts `x` columns into the rectangle and is `n`
// wide, and the planes hold its linear light. Most renders hand over whole rows; the mirror
// hands over a block of columns at a time, so its strip stays in the cache.
using RowSink = std::function<void(int row, int y, int x, int n, const float *r, const float *g,
                                   const float *b)>;

// Rows per strip, the unit of work one thread takes at a time.
constexpr int kStripRows = 128;

inline int stripCount(int height)
{
    return (height + kStripRows - 1) / kStripRows;
}

struct StripSpan
{
    int first;
    int count;
};

inline StripSpan stripSpan(int strip, int height)
{
    const int first = strip * kStripRows;
    return {first, std::min(kStripRows, height - first)};
}

// Buffers a thread reuses from strip to strip, so a render allocates only while they grow.
struct Scratch
{
    std::vector<float> planes; // three rows of the output width
    std::vector<float> sourceRow;
    std::vector<std::vector<float>> h1Pool;
    std::vector<int> h1Slot;
    std::vector<const float *> tapRows;
    std::vector<float> foldRows;
    std::vector<int> foldStart;
    struct Run
    {
        int column;
        int length;
        int start;
    };
    std::vector<Run> foldRuns;
    std::vector<float> foldFraction;
    std::vector<float> skewed;
};

// One per thread for the whole process, whichever file asks: an inline function's static is a
// single object, where a thread_local in each file would hold its buffers once per file.
inline Scratch &threadScratch()
{
    thread_local Scratch scratch;
    return scratch;
}

inline float clampf(float v, float a, float b)
{
    return v < a ? a : (v > b ? b : v);
}

inline float mixf(float a, float b, float t)
{
    return a * (1 - t) + b * t;
}

// 1 / (2·hw), the slope of a seam of half-width hw; a zero width is a hard step, whose
// infinite slope still picks the right side.
inline float seamInverse(float hw)
{
    return hw != 0 ? 1.0f / (2 * hw) : std::numeric_limits<float>::max();
}

// The seam of the mirror and of the two-band flow: a sine and its octave at a quarter strength.
inline float waveAt(float freq, float phase, float nx)
{
    return std::sin(freq * 6.2831853f * nx + phase) +
           0.25f * std::sin(2.0f * freq * 6.2831853f * nx + phase * 1.6f);
}

// Evaluates the flow colours over `rect` in parallel strips (flowstrip.cpp).
void evaluateFlow(RenderContext &context, const FlowKernelArgs &args, const QRect &rect,
                  const RowSink &sink);

} // namespace RenderInternals
