// The flow style: two or three bands of colour with soft, wavy seams, computed per pixel from
// nothing but the position — no photo is read. The seams depend only on the column, so their
// heights and widths are tabulated once per render and each row is one pass of the flow
// kernel over them.

#include "kernels.h"
#include "rendercolor.h"
#include "rendercontext.h"
#include "renderinternals.h"

#include <vector>

namespace RenderInternals {

namespace {

void evaluateFlowStrip(const FlowKernelArgs &a, const QRect &rect, const float (&lin)[3][3],
                       const std::vector<float> &c1, const std::vector<float> &c2,
                       const std::vector<float> &hw, const std::vector<float> &inv, int firstRow,
                       int rowCount, const RowSink &sink)
{
    Scratch &s = threadScratch();
    const int w = rect.width();
    s.planes.resize(std::size_t(w) * 3);
    float *out[3] = {s.planes.data(), s.planes.data() + w, s.planes.data() + 2 * w};
    const float *pc1 = c1.data(), *pc2 = c2.data(), *phw = hw.data(), *pinv = inv.data();
    for (int k = 0; k < rowCount; ++k) {
        const int row = firstRow + k;
        const int y = rect.y() + rect.height() - 1 - row;
        const float ny = (float(y) + 0.5f) / a.h;
        if (a.threeBands)
            Kernels::flowRow3(ny, pc1, pc2, phw, pinv, lin, w, out[0], out[1], out[2]);
        else
            Kernels::flowRow2(ny, pc1, phw, pinv, lin, w, out[0], out[1], out[2]);
        sink(row, y, 0, w, out[0], out[1], out[2]);
    }
}

} // namespace

void evaluateFlow(RenderContext &context, const FlowKernelArgs &a, const QRect &rect,
                  const RowSink &sink)
{
    float lin[3][3];
    for (int i = 0; i < 3; ++i)
        for (int c = 0; c < 3; ++c)
            lin[i][c] = float(srgbToLinear(a.colors[i][c]));
    std::vector<float> c1(rect.width()), c2(rect.width()), hw(rect.width()), inv(rect.width());
    for (int i = 0; i < rect.width(); ++i) {
        const float nx = (float(rect.x() + i) + 0.5f) / a.w;
        const float sharp = std::sin(3.14159265f * clampf(nx, 0, 1));
        hw[i] = mixf(a.hwMax, a.hwMin, sharp);
        inv[i] = seamInverse(hw[i]);
        if (a.threeBands) {
            const float f = a.freq * 6.2831853f * nx;
            c1[i] = 0.36f + a.amp * (std::sin(f + a.phase + 0.3f) + 0.2f * std::sin(2.0f * f));
            c2[i] =
                0.68f + a.amp * (std::sin(f + a.phase + 2.4f) + 0.2f * std::sin(2.0f * f + 1.1f));
        } else {
            c1[i] = 0.5f + a.amp * waveAt(a.freq, a.phase, nx);
        }
    }
    context.parallelFor(stripCount(rect.height()), [&](int strip) {
        const StripSpan span = stripSpan(strip, rect.height());
        evaluateFlowStrip(a, rect, lin, c1, c2, hw, inv, span.first, span.count, sink);
    });
}

} // namespace RenderInternals
