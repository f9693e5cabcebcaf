#pragma once

// Reading the body of a search reply. Kept free of any network code so that it can be fed
// arbitrary bytes on its own (see fuzz/).

#include "sources/unsplashphoto.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <variant>

namespace UnsplashReply {

// The body of a search reply. Both counts have to be present for the reply to count as
// well-formed, although nobody reads them.
struct SearchResponse
{
    qint64 total = 0;
    qint64 totalPages = 0;
    QList<UnsplashPhoto> results;

    friend bool operator==(const SearchResponse &, const SearchResponse &) = default;
};

// Why a body is not a search reply. A single bad field anywhere rejects the whole body: a
// half-read hit is worse than none.
struct DecodeFailure
{
    enum class Kind {
        Syntax,       // not JSON at all
        KeyMissing,   // a required key is not there
        ValueNull,    // a required key is null
        TypeMismatch, // a key (required or not) holds the wrong kind of value
    };
    enum class Expected { None, Object, List, Text, Integer };

    Kind kind = Kind::Syntax;
    // Where it went wrong, e.g. "results[2].urls.small"; empty for the body as a whole.
    QString path;
    // For TypeMismatch: what the key should have held.
    Expected expected = Expected::None;
    // For Syntax: the parser's complaint, already in German, and the byte offset.
    QString detail;
    qint64 offset = 0;

    QString description() const;

    friend bool operator==(const DecodeFailure &, const DecodeFailure &) = default;
};

using DecodeResult = std::variant<SearchResponse, DecodeFailure>;

// Strict: required keys must be present, non-null and of their type; optional keys that are
// missing or null are absent, present ones must have their type; unknown keys are ignored.
// Integers must be whole numbers within 64 bits (1.5 or "3" is no width).
DecodeResult decodeSearchResponse(const QByteArray &body);

} // namespace UnsplashReply
