#include "dayblend.h"

#include "blurprocessor.h"
#include "kernels.h"
#include "rendercontext.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// The light of a sun at the horizon, as gains on linear red, green and blue: warm enough to
// read as dawn on the lake and the forest of the test photos, little enough to keep a blue
// lake blue (half of this could not be told from no cast at all). The luma it adds, under
// 3 %, never outweighs the day rising beside it.
constexpr float kWarmRed = 0.14f, kWarmGreen = 0.02f, kWarmBlue = -0.24f;

double smoothStep(double edge0, double edge1, double x)
{
    const double t = std::clamp((x - edge0) / (edge1 - edge0), 0.0, 1.0);
    return t * t * (3 - 2 * t);
}

// Rows per strip: enough work per task that the pool's hand-off is lost in it.
constexpr int kStripRows = 16;

} // namespace

namespace DayBlend {

double daylight(double altitude)
{
    return std::isnan(altitude) ? 0.0 : smoothStep(-6, 10, altitude);
}

double warmth(double altitude)
{
    return std::isnan(altitude) ? 0.0 : 1 - smoothStep(0, 8, std::abs(altitude));
}

Bitmap blend(const Bitmap &night, const Bitmap &day, double daylight, double warmth, double dither)
{
    if (night.isNull() || day.isNull() || night.size() != day.size() ||
        night.format() != day.format())
        return {};
    // NaN counts as night, as everywhere a number reaches a render unparsed.
    const double t = std::isnan(daylight) ? 0.0 : std::clamp(daylight, 0.0, 1.0);
    if (t <= 0)
        return night;
    if (t >= 1)
        return day;
    const float share = float(t);
    const float w = std::isnan(warmth) ? 0.f : float(std::clamp(warmth, 0.0, 1.0));
    const float gainR = 1 + kWarmRed * w, gainG = 1 + kWarmGreen * w, gainB = 1 + kWarmBlue * w;
    const float amplitude =
        float(std::isfinite(dither) ? std::clamp(dither, 0.0, 10.0) : 0.0) * Kernels::kDitherScale;
    const int width = night.width(), height = night.height();
    const bool deep = night.isDeep();
    PixelBuffer out = PixelBuffer::allocate(width, height, night.format());
    if (out.isNull())
        return {};
    BlurProcessor::context().parallelFor((height + kStripRows - 1) / kStripRows, [&](int strip) {
        std::vector<float> rows(std::size_t(width) * 6);
        float *nr = rows.data(), *ng = nr + width, *nb = ng + width;
        float *dr = nb + width, *dg = dr + width, *db = dg + width;
        for (int y = strip * kStripRows; y < std::min(height, (strip + 1) * kStripRows); ++y) {
            if (deep) {
                Kernels::linearizeRow16(reinterpret_cast<const uint16_t *>(night.constScanLine(y)),
                                        width, nr, ng, nb);
                Kernels::linearizeRow16(reinterpret_cast<const uint16_t *>(day.constScanLine(y)),
                                        width, dr, dg, db);
            } else {
                Kernels::linearizeRow8(night.constScanLine(y), width, nr, ng, nb);
                Kernels::linearizeRow8(day.constScanLine(y), width, dr, dg, db);
            }
            for (int x = 0; x < width; ++x) {
                nr[x] = (nr[x] + (dr[x] - nr[x]) * share) * gainR;
                ng[x] = (ng[x] + (dg[x] - ng[x]) * share) * gainG;
                nb[x] = (nb[x] + (db[x] - nb[x]) * share) * gainB;
            }
            if (deep)
                Kernels::encodeRow16(nr, ng, nb, width, 0, y, amplitude,
                                     reinterpret_cast<uint16_t *>(out.scanLine(y)));
            else
                Kernels::encodeRow8(nr, ng, nb, width, 0, y, amplitude, out.scanLine(y));
        }
    });
    return Bitmap(std::move(out));
}

} // namespace DayBlend
