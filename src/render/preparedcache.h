#pragma once

// A strong blur is rendered from a prepared copy of its source: box-shrunk in linear light,
// then blurred exactly, which leaves it small enough to keep. The copies are kept in a
// bounded cache keyed by the source bitmap (which never changes), the shrink factor and the
// blur, so moving any slider but the blur reuses the copy instead of reading the whole photo
// again.

#include "planarimage.h"

#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <utility>

class Bitmap;
class RenderContext;

namespace RenderInternals {

// Box-shrinks a source in linear light by an integer factor, with `pad` blocks of continued
// edge pixels on every side, then blurs it with a Gaussian of `sigma` blocks (edges clamped).
std::shared_ptr<PlanarImage> shrinkAndBlur(RenderContext &context, const Bitmap &source, int factor,
                                           double sigma);

struct PreparedKey
{
    uint64_t bitmap;
    int factor;
    double sigma;
    bool operator==(const PreparedKey &) const = default;
};

// Least recently used copies go first once the limit is passed. Safe for concurrent use.
class PreparedCache
{
public:
    static constexpr std::size_t kDefaultLimit = std::size_t(256) << 20;

    // The copy for `key`, now the most recently used; null when there is none.
    std::shared_ptr<const PlanarImage> find(const PreparedKey &key);
    void insert(const PreparedKey &key, std::shared_ptr<const PlanarImage> prepared);

    void setLimit(std::size_t bytes);
    std::size_t bytes() const;
    void clear();

private:
    void trim();

    mutable std::mutex m_mutex;
    std::list<std::pair<PreparedKey, std::shared_ptr<const PlanarImage>>> m_entries; // newest first
    std::size_t m_limit = kDefaultLimit;
    std::size_t m_bytes = 0;
};

} // namespace RenderInternals
