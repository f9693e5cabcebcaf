#pragma once

// The pixels that travel through the program: every decoded photo and every render is a Bitmap.
// It is immutable and shared by reference, so both looks and every worker can hold the same
// photo of hundreds of megabytes without copying it.

#include <QImage>
#include <QSize>

#include <cstddef>
#include <cstdint>
#include <memory>

enum class PixelFormat {
    Rgba8,  // 8 bits per channel, sRGB
    Rgba16, // 16 bits per channel, sRGB ("deep colour")
};

int bytesPerPixel(PixelFormat format);

// Pixel storage of a bitmap. Large buffers are mapped with huge-page advice: a freshly
// faulted 6016×3384×RGBA16 buffer otherwise costs hundreds of milliseconds in page faults.
class PixelBuffer
{
public:
    PixelBuffer() = default;
    ~PixelBuffer();
    PixelBuffer(const PixelBuffer &) = delete;
    PixelBuffer &operator=(const PixelBuffer &) = delete;
    PixelBuffer(PixelBuffer &&other) noexcept;
    PixelBuffer &operator=(PixelBuffer &&other) noexcept;

    // No buffer (isNull) when the size is invalid or the memory cannot be had.
    static PixelBuffer allocate(int width, int height, PixelFormat format);

    bool isNull() const { return m_data == nullptr; }
    int width() const { return m_width; }
    int height() const { return m_height; }
    PixelFormat format() const { return m_format; }
    std::size_t bytesPerLine() const { return m_bytesPerLine; }
    uint8_t *bits() { return m_data; }
    const uint8_t *constBits() const { return m_data; }
    uint8_t *scanLine(int y) { return m_data + std::size_t(y) * m_bytesPerLine; }
    const uint8_t *constScanLine(int y) const { return m_data + std::size_t(y) * m_bytesPerLine; }

private:
    enum class Origin { None, Mapped, Heap };
    void release();

    uint8_t *m_data = nullptr;
    std::size_t m_mappedBytes = 0;
    Origin m_origin = Origin::None;
    int m_width = 0;
    int m_height = 0;
    PixelFormat m_format = PixelFormat::Rgba8;
    std::size_t m_bytesPerLine = 0;
};

// A decoded picture: RGBA, sRGB, immutable once built, shared by reference count.
// Copies share the pixels; every bitmap has a process-unique key for caches keyed on it.
class Bitmap
{
public:
    Bitmap() = default;
    explicit Bitmap(PixelBuffer &&pixels);

    bool isNull() const { return !m_data; }
    int width() const;
    int height() const;
    QSize size() const { return {width(), height()}; }
    PixelFormat format() const;
    bool isDeep() const { return format() == PixelFormat::Rgba16; }
    std::size_t bytesPerLine() const;
    const uint8_t *constBits() const;
    const uint8_t *constScanLine(int y) const;
    uint64_t cacheKey() const;

    // Wraps the pixels without copying; the image keeps the bitmap alive.
    QImage toImage() const;
    // Copies a QImage into a bitmap (8 or 16 bits per channel, alpha flattened onto black).
    static Bitmap fromImage(const QImage &image);

    friend bool operator==(const Bitmap &a, const Bitmap &b) { return a.m_data == b.m_data; }

private:
    struct Data;
    std::shared_ptr<const Data> m_data;
};
