// Feeds arbitrary bytes to the search-reply decoder. Besides the sanitizers' findings: every
// failure has a description, and the outcome depends on the JSON document alone, not on how
// it is written: the same document written out again decodes alike.

#include "sources/unsplashreply.h"

#include <QJsonDocument>

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray body =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const UnsplashReply::DecodeResult result = UnsplashReply::decodeSearchResponse(body);
    const auto *failure = std::get_if<UnsplashReply::DecodeFailure>(&result);
    if (failure && failure->description().isEmpty()) {
        std::fputs("a failure without description\n", stderr);
        std::abort();
    }
    // Escaped lone surrogates do not survive being written out as UTF-8.
    const QJsonDocument document = QJsonDocument::fromJson(body);
    if (document.isNull() || body.contains("\\u"))
        return 0;
    if (!(UnsplashReply::decodeSearchResponse(document.toJson()) == result)) {
        std::fputs("a document that decodes differently when written out again\n", stderr);
        std::abort();
    }
    return 0;
}
