#include "pngwriter.h"

#include "files/outputfile.h"

#include <spng.h>

#include <memory>
#include <new>
#include <vector>

QString description(PngError error)
{
    switch (error) {
    case PngError::OutOfMemory:
        return QStringLiteral("Für das PNG ist nicht genug Arbeitsspeicher frei.");
    case PngError::Encode:
        break;
    }
    return QStringLiteral("Das PNG konnte nicht kodiert werden.");
}

QString description(const PngFailure &failure)
{
    return std::visit([](auto error) { return description(error); }, failure);
}

namespace {

// The one place where an error of libspng (or of zlib beneath it) becomes ours; its own texts
// are English and name PNG internals no user can act on.
PngError pngErrorFromSpng(int code)
{
    return code == SPNG_EMEM ? PngError::OutOfMemory : PngError::Encode;
}

// libspng hands over 4 kB at a time: 30 000 syscalls for a 6016×3384 picture, 118 this way.
struct Sink
{
    OutputFile &file;
    std::vector<char> pending;

    bool flush()
    {
        file.write(pending.data(), qint64(pending.size()));
        pending.clear();
        return !file.error();
    }
};

int writeToSink(spng_ctx *, void *user, void *data, size_t length)
{
    auto *sink = static_cast<Sink *>(user);
    if (sink->pending.size() + length > sink->pending.capacity() && !sink->flush())
        return SPNG_IO_ERROR; // a full disk ends the encode at once, not a hundred megabytes later
    const auto *bytes = static_cast<const char *>(data);
    sink->pending.insert(sink->pending.end(), bytes, bytes + length);
    return 0;
}

template <typename Sample> void dropAlpha(const Sample *rgba, Sample *rgb, int width)
{
    for (int x = 0; x < width; ++x, rgba += 4, rgb += 3) {
        rgb[0] = rgba[0];
        rgb[1] = rgba[1];
        rgb[2] = rgba[2];
    }
}

} // namespace

std::optional<PngFailure> PngWriter::write(const Bitmap &bitmap, const QString &path)
{
    OutputFile file(path);
    if (!file.open())
        return *file.error();
    const std::unique_ptr<spng_ctx, void (*)(spng_ctx *)> ctx(spng_ctx_new(SPNG_CTX_ENCODER),
                                                              spng_ctx_free);
    const bool deep = bitmap.isDeep();
    const std::size_t rowBytes = std::size_t(bitmap.width()) * 3 * (deep ? 2 : 1);
    const std::unique_ptr<uint8_t[]> row(new (std::nothrow) uint8_t[rowBytes]);
    if (!ctx || !row)
        return PngError::OutOfMemory;

    spng_ihdr header{};
    header.width = uint32_t(bitmap.width());
    header.height = uint32_t(bitmap.height());
    header.bit_depth = deep ? 16 : 8;
    header.color_type = SPNG_COLOR_TYPE_TRUECOLOR;
    Sink sink{file, {}};
    sink.pending.reserve(1 << 20);
    int code = spng_set_png_stream(ctx.get(), writeToSink, &sink);
    if (!code)
        code = spng_set_ihdr(ctx.get(), &header);
    // Stored, unfiltered: the dither's noise in the low bits leaves zlib little to find. Level 1
    // with the UP filter saves 30–40 % of a 6016×3384 16-bit file for 1.8–5 s more
    // (bench/README.md); storing costs two checksum passes.
    if (!code)
        code = spng_set_option(ctx.get(), SPNG_IMG_COMPRESSION_LEVEL, 0);
    if (!code)
        code = spng_set_option(ctx.get(), SPNG_FILTER_CHOICE, SPNG_FILTER_CHOICE_NONE);
    // Rows in host byte order; libspng turns 16-bit samples big-endian.
    if (!code)
        code = spng_encode_image(ctx.get(), nullptr, 0, SPNG_FMT_PNG,
                                 SPNG_ENCODE_PROGRESSIVE | SPNG_ENCODE_FINALIZE);
    for (int y = 0; y < bitmap.height() && !code; ++y) {
        if (deep)
            dropAlpha(reinterpret_cast<const uint16_t *>(bitmap.constScanLine(y)),
                      reinterpret_cast<uint16_t *>(row.get()), bitmap.width());
        else
            dropAlpha(bitmap.constScanLine(y), row.get(), bitmap.width());
        code = spng_encode_row(ctx.get(), row.get(), rowBytes);
    }
    // The last row ends the image and writes its end; libspng says so with "end of image".
    if (code == SPNG_EOI)
        code = 0;
    if (code || !sink.flush() || !file.commit())
        return file.error() ? PngFailure(*file.error()) : pngErrorFromSpng(code);
    return std::nullopt;
}
