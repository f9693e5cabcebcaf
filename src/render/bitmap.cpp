#include "bitmap.h"

#include <sys/mman.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

// Buffers from this size on are mapped and given huge-page advice.
constexpr std::size_t kMapThreshold = std::size_t(2) << 20;
constexpr std::size_t kHugePage = std::size_t(2) << 20;

std::atomic<uint64_t> nextCacheKey{1};

} // namespace

int bytesPerPixel(PixelFormat format)
{
    return format == PixelFormat::Rgba16 ? 8 : 4;
}

PixelBuffer::~PixelBuffer()
{
    release();
}

PixelBuffer::PixelBuffer(PixelBuffer &&other) noexcept
{
    *this = std::move(other);
}

PixelBuffer &PixelBuffer::operator=(PixelBuffer &&other) noexcept
{
    if (this != &other) {
        release();
        m_data = std::exchange(other.m_data, nullptr);
        m_mappedBytes = std::exchange(other.m_mappedBytes, 0);
        m_origin = std::exchange(other.m_origin, Origin::None);
        m_width = std::exchange(other.m_width, 0);
        m_height = std::exchange(other.m_height, 0);
        m_format = other.m_format;
        m_bytesPerLine = std::exchange(other.m_bytesPerLine, 0);
    }
    return *this;
}

void PixelBuffer::release()
{
    switch (m_origin) {
    case Origin::Mapped:
        munmap(m_data, m_mappedBytes);
        break;
    case Origin::Heap:
        std::free(m_data);
        break;
    case Origin::None:
        break;
    }
    m_data = nullptr;
    m_origin = Origin::None;
}

PixelBuffer PixelBuffer::allocate(int width, int height, PixelFormat format)
{
    PixelBuffer buffer;
    if (width < 1 || height < 1)
        return buffer;
    const std::size_t bytesPerLine = std::size_t(width) * std::size_t(bytesPerPixel(format));
    if (std::size_t(height) > std::numeric_limits<std::size_t>::max() / 2 / bytesPerLine)
        return buffer;
    const std::size_t bytes = bytesPerLine * std::size_t(height);
    if (bytes >= kMapThreshold) {
        const std::size_t mapped = (bytes + kHugePage - 1) / kHugePage * kHugePage;
        void *p = mmap(nullptr, mapped, PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        if (p == MAP_FAILED)
            return buffer;
        madvise(p, mapped, MADV_HUGEPAGE);
        buffer.m_data = static_cast<uint8_t *>(p);
        buffer.m_mappedBytes = mapped;
        buffer.m_origin = Origin::Mapped;
    } else {
        buffer.m_data = static_cast<uint8_t *>(std::malloc(bytes));
        if (!buffer.m_data)
            return buffer;
        buffer.m_origin = Origin::Heap;
    }
    buffer.m_width = width;
    buffer.m_height = height;
    buffer.m_format = format;
    buffer.m_bytesPerLine = bytesPerLine;
    return buffer;
}

struct Bitmap::Data
{
    PixelBuffer pixels;
    uint64_t key = 0;
};

Bitmap::Bitmap(PixelBuffer &&pixels)
{
    if (pixels.isNull())
        return;
    auto data = std::make_shared<Data>();
    data->pixels = std::move(pixels);
    data->key = nextCacheKey.fetch_add(1, std::memory_order_relaxed);
    m_data = std::move(data);
}

int Bitmap::width() const
{
    return m_data ? m_data->pixels.width() : 0;
}

int Bitmap::height() const
{
    return m_data ? m_data->pixels.height() : 0;
}

PixelFormat Bitmap::format() const
{
    return m_data ? m_data->pixels.format() : PixelFormat::Rgba8;
}

std::size_t Bitmap::bytesPerLine() const
{
    return m_data ? m_data->pixels.bytesPerLine() : 0;
}

const uint8_t *Bitmap::constBits() const
{
    return m_data ? m_data->pixels.constBits() : nullptr;
}

const uint8_t *Bitmap::constScanLine(int y) const
{
    return m_data ? m_data->pixels.constScanLine(y) : nullptr;
}

uint64_t Bitmap::cacheKey() const
{
    return m_data ? m_data->key : 0;
}

QImage Bitmap::toImage() const
{
    if (!m_data)
        return {};
    // The QImage holds a reference to the shared pixels until it is destroyed.
    auto *keepAlive = new std::shared_ptr<const Data>(m_data);
    const QImage::Format format = isDeep() ? QImage::Format_RGBA64 : QImage::Format_RGBA8888;
    return QImage(
        constBits(), width(), height(), qsizetype(bytesPerLine()), format,
        [](void *info) { delete static_cast<std::shared_ptr<const Data> *>(info); }, keepAlive);
}

Bitmap Bitmap::fromImage(const QImage &image)
{
    if (image.isNull())
        return {};
    const bool deep = image.depth() > 32;
    // Flatten onto black: a wallpaper has no transparency.
    QImage flat = image.convertToFormat(deep ? QImage::Format_RGBA64_Premultiplied
                                             : QImage::Format_RGBA8888_Premultiplied);
    const PixelFormat format = deep ? PixelFormat::Rgba16 : PixelFormat::Rgba8;
    PixelBuffer buffer = PixelBuffer::allocate(flat.width(), flat.height(), format);
    if (buffer.isNull())
        return {};
    for (int y = 0; y < flat.height(); ++y) {
        std::memcpy(buffer.scanLine(y), flat.constScanLine(y), buffer.bytesPerLine());
        if (deep) {
            auto *px = reinterpret_cast<uint16_t *>(buffer.scanLine(y));
            for (int x = 0; x < flat.width(); ++x)
                px[4 * x + 3] = 0xffff;
        } else {
            uint8_t *px = buffer.scanLine(y);
            for (int x = 0; x < flat.width(); ++x)
                px[4 * x + 3] = 0xff;
        }
    }
    return Bitmap(std::move(buffer));
}
