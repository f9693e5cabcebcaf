// Feeds arbitrary bytes to the search-reply decoder. Besides the sanitizers' findings it
// checks two properties: every failure can be described, and whatever decodes survives being
// written back as JSON and read again unchanged, so no field is dropped or misread.

#include "sources/unsplashreply.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void insertOptional(QJsonObject &object, const char *key, const std::optional<QString> &value)
{
    if (value)
        object.insert(QLatin1String(key), *value);
}

QJsonObject encode(const UnsplashPhoto &photo)
{
    QJsonObject json{
        {"id", photo.id},
        {"width", photo.width},
        {"height", photo.height},
        {"urls", QJsonObject{{"raw", photo.urls.raw},
                             {"full", photo.urls.full},
                             {"regular", photo.urls.regular},
                             {"small", photo.urls.small},
                             {"thumb", photo.urls.thumb}}},
    };
    insertOptional(json, "slug", photo.slug);
    insertOptional(json, "color", photo.color);
    insertOptional(json, "description", photo.description);
    insertOptional(json, "alt_description", photo.altDescription);
    QJsonObject user{{"name", photo.user.name}};
    insertOptional(user, "username", photo.user.username);
    if (photo.user.links) {
        QJsonObject links;
        insertOptional(links, "html", photo.user.links->html);
        user.insert(QLatin1String("links"), links);
    }
    json.insert(QLatin1String("user"), user);
    if (photo.links) {
        QJsonObject links;
        insertOptional(links, "download_location", photo.links->downloadLocation);
        json.insert(QLatin1String("links"), links);
    }
    return json;
}

QByteArray encode(const UnsplashReply::SearchResponse &response)
{
    QJsonArray results;
    for (const UnsplashPhoto &photo : response.results)
        results.append(encode(photo));
    const QJsonObject json{
        {"total", response.total}, {"total_pages", response.totalPages}, {"results", results}};
    return QJsonDocument(json).toJson(QJsonDocument::Compact);
}

// Lone surrogates from "\ud800" escapes cannot be written back as UTF-8; the round trip
// says nothing about the decoder for those.
bool writable(const std::optional<QString> &text)
{
    return !text || text->isValidUtf16();
}

bool writable(const UnsplashPhoto &photo)
{
    const std::optional<QString> texts[] = {
        photo.id,
        photo.slug,
        photo.color,
        photo.description,
        photo.altDescription,
        photo.urls.raw,
        photo.urls.full,
        photo.urls.regular,
        photo.urls.small,
        photo.urls.thumb,
        photo.user.name,
        photo.user.username,
        photo.user.links ? photo.user.links->html : std::nullopt,
        photo.links ? photo.links->downloadLocation : std::nullopt,
    };
    for (const std::optional<QString> &text : texts) {
        if (!writable(text))
            return false;
    }
    return true;
}

[[noreturn]] void fail(const char *what)
{
    std::fprintf(stderr, "property violated: %s\n", what);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray body =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const UnsplashReply::DecodeResult result = UnsplashReply::decodeSearchResponse(body);

    if (const auto *failure = std::get_if<UnsplashReply::DecodeFailure>(&result)) {
        if (failure->description().isEmpty())
            fail("a failure without description");
        return 0;
    }

    const auto &response = std::get<UnsplashReply::SearchResponse>(result);
    for (const UnsplashPhoto &photo : response.results) {
        if (!writable(photo))
            return 0;
    }
    const UnsplashReply::DecodeResult again = UnsplashReply::decodeSearchResponse(encode(response));
    const auto *reread = std::get_if<UnsplashReply::SearchResponse>(&again);
    if (!reread)
        fail("a decoded reply that does not decode when written back");
    if (!(*reread == response))
        fail("a decoded reply that changes when written back and read again");
    return 0;
}
