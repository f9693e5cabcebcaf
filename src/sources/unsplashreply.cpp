#include "unsplashreply.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>

#include <optional>

namespace UnsplashReply {

namespace {

// The one place where the JSON parser's complaints become German.
QString describeParseError(QJsonParseError::ParseError error)
{
    switch (error) {
    case QJsonParseError::NoError:
        return QStringLiteral("kein Fehler");
    case QJsonParseError::UnterminatedObject:
        return QStringLiteral("ein Objekt wird nicht mit „}“ geschlossen");
    case QJsonParseError::MissingNameSeparator:
        return QStringLiteral("nach einem Schlüssel fehlt der Doppelpunkt");
    case QJsonParseError::UnterminatedArray:
        return QStringLiteral("eine Liste wird nicht mit „]“ geschlossen");
    case QJsonParseError::MissingValueSeparator:
        return QStringLiteral("zwischen zwei Werten fehlt das Komma");
    case QJsonParseError::IllegalValue:
        return QStringLiteral("ungültiger Wert");
    case QJsonParseError::TerminationByNumber:
        return QStringLiteral("der Text endet mitten in einer Zahl");
    case QJsonParseError::IllegalNumber:
        return QStringLiteral("ungültige Zahl");
    case QJsonParseError::IllegalEscapeSequence:
        return QStringLiteral("ungültige Escape-Sequenz");
    case QJsonParseError::IllegalUTF8String:
        return QStringLiteral("ungültiges UTF-8");
    case QJsonParseError::UnterminatedString:
        return QStringLiteral("eine Zeichenkette wird nicht geschlossen");
    case QJsonParseError::MissingObject:
        return QStringLiteral("ein Objekt wurde erwartet");
    case QJsonParseError::DeepNesting:
        return QStringLiteral("zu tief verschachtelt");
    case QJsonParseError::DocumentTooLarge:
        return QStringLiteral("zu groß");
    case QJsonParseError::GarbageAtEnd:
        return QStringLiteral("überzählige Zeichen am Ende");
    }
    return QStringLiteral("unbekannter Fehler");
}

QString expectedName(DecodeFailure::Expected expected)
{
    switch (expected) {
    case DecodeFailure::Expected::Object:
        return QStringLiteral("ein Objekt");
    case DecodeFailure::Expected::List:
        return QStringLiteral("eine Liste");
    case DecodeFailure::Expected::Text:
        return QStringLiteral("ein Text");
    case DecodeFailure::Expected::Integer:
        return QStringLiteral("eine ganze Zahl");
    case DecodeFailure::Expected::None:
        break;
    }
    return QStringLiteral("ein anderer Wert");
}

// Walks one reply and remembers the first thing wrong with it; every read after a failure
// is refused, so callers may check once at the end of a group of reads.
class Decoder
{
public:
    std::optional<DecodeFailure> failure;

    bool requiredObject(const QJsonObject &parent, const QString &path, QLatin1StringView key,
                        QJsonObject &out)
    {
        const std::optional<QJsonValue> value = required(parent, path, key);
        if (!value)
            return false;
        if (!value->isObject())
            return mismatch(join(path, key), DecodeFailure::Expected::Object);
        out = value->toObject();
        return true;
    }

    bool optionalObject(const QJsonObject &parent, const QString &path, QLatin1StringView key,
                        std::optional<QJsonObject> &out)
    {
        const std::optional<QJsonValue> value = optional(parent, key);
        if (!value)
            return ok();
        if (!value->isObject())
            return mismatch(join(path, key), DecodeFailure::Expected::Object);
        out = value->toObject();
        return ok();
    }

    bool requiredList(const QJsonObject &parent, const QString &path, QLatin1StringView key,
                      QJsonArray &out)
    {
        const std::optional<QJsonValue> value = required(parent, path, key);
        if (!value)
            return false;
        if (!value->isArray())
            return mismatch(join(path, key), DecodeFailure::Expected::List);
        out = value->toArray();
        return true;
    }

    bool requiredText(const QJsonObject &parent, const QString &path, QLatin1StringView key,
                      QString &out)
    {
        const std::optional<QJsonValue> value = required(parent, path, key);
        if (!value)
            return false;
        if (!value->isString())
            return mismatch(join(path, key), DecodeFailure::Expected::Text);
        out = value->toString();
        return true;
    }

    bool optionalText(const QJsonObject &parent, const QString &path, QLatin1StringView key,
                      std::optional<QString> &out)
    {
        const std::optional<QJsonValue> value = optional(parent, key);
        if (!value)
            return ok();
        if (!value->isString())
            return mismatch(join(path, key), DecodeFailure::Expected::Text);
        out = value->toString();
        return ok();
    }

    bool requiredInteger(const QJsonObject &parent, const QString &path, QLatin1StringView key,
                         qint64 &out)
    {
        const std::optional<QJsonValue> value = required(parent, path, key);
        if (!value)
            return false;
        // toInteger() falls back to its argument for fractions, values beyond 64 bits and
        // non-numbers; two different fallbacks tell a real value from a fallback.
        const qint64 first = value->toInteger(0);
        if (!value->isDouble() || first != value->toInteger(1))
            return mismatch(join(path, key), DecodeFailure::Expected::Integer);
        out = first;
        return true;
    }

    bool mismatch(const QString &path, DecodeFailure::Expected expected)
    {
        if (!failure)
            failure = DecodeFailure{DecodeFailure::Kind::TypeMismatch, path, expected, {}, 0};
        return false;
    }

    static QString join(const QString &path, QLatin1StringView key)
    {
        return path.isEmpty() ? QString(key) : path + QLatin1Char('.') + key;
    }

private:
    bool ok() const { return !failure; }

    std::optional<QJsonValue> required(const QJsonObject &parent, const QString &path,
                                       QLatin1StringView key)
    {
        if (failure)
            return std::nullopt;
        const auto it = parent.constFind(key);
        if (it == parent.constEnd()) {
            failure = DecodeFailure{DecodeFailure::Kind::KeyMissing,
                                    join(path, key),
                                    DecodeFailure::Expected::None,
                                    {},
                                    0};
            return std::nullopt;
        }
        if (it->isNull()) {
            failure = DecodeFailure{DecodeFailure::Kind::ValueNull,
                                    join(path, key),
                                    DecodeFailure::Expected::None,
                                    {},
                                    0};
            return std::nullopt;
        }
        return it.value();
    }

    std::optional<QJsonValue> optional(const QJsonObject &parent, QLatin1StringView key) const
    {
        if (failure)
            return std::nullopt;
        const auto it = parent.constFind(key);
        if (it == parent.constEnd() || it->isNull())
            return std::nullopt;
        return it.value();
    }
};

std::optional<UnsplashPhoto> decodePhoto(Decoder &d, const QJsonValue &value, const QString &path)
{
    using namespace Qt::StringLiterals;
    if (!value.isObject()) {
        d.mismatch(path, DecodeFailure::Expected::Object);
        return std::nullopt;
    }
    const QJsonObject json = value.toObject();
    UnsplashPhoto photo;
    d.requiredText(json, path, "id"_L1, photo.id);
    d.optionalText(json, path, "slug"_L1, photo.slug);
    d.requiredInteger(json, path, "width"_L1, photo.width);
    d.requiredInteger(json, path, "height"_L1, photo.height);
    d.optionalText(json, path, "color"_L1, photo.color);
    d.optionalText(json, path, "description"_L1, photo.description);
    d.optionalText(json, path, "alt_description"_L1, photo.altDescription);

    QJsonObject urls;
    if (d.requiredObject(json, path, "urls"_L1, urls)) {
        const QString at = Decoder::join(path, "urls"_L1);
        d.requiredText(urls, at, "raw"_L1, photo.urls.raw);
        d.requiredText(urls, at, "full"_L1, photo.urls.full);
        d.requiredText(urls, at, "regular"_L1, photo.urls.regular);
        d.requiredText(urls, at, "small"_L1, photo.urls.small);
        d.requiredText(urls, at, "thumb"_L1, photo.urls.thumb);
    }

    QJsonObject user;
    if (d.requiredObject(json, path, "user"_L1, user)) {
        const QString at = Decoder::join(path, "user"_L1);
        d.requiredText(user, at, "name"_L1, photo.user.name);
        d.optionalText(user, at, "username"_L1, photo.user.username);
        std::optional<QJsonObject> links;
        if (d.optionalObject(user, at, "links"_L1, links) && links) {
            UnsplashPhoto::User::Links userLinks;
            d.optionalText(*links, Decoder::join(at, "links"_L1), "html"_L1, userLinks.html);
            photo.user.links = userLinks;
        }
    }

    std::optional<QJsonObject> links;
    if (d.optionalObject(json, path, "links"_L1, links) && links) {
        UnsplashPhoto::Links photoLinks;
        d.optionalText(*links, Decoder::join(path, "links"_L1), "download_location"_L1,
                       photoLinks.downloadLocation);
        photo.links = photoLinks;
    }

    if (d.failure)
        return std::nullopt;
    return photo;
}

} // namespace

QString DecodeFailure::description() const
{
    const QString prefix = QStringLiteral("Die Antwort von Unsplash ist nicht lesbar: ");
    switch (kind) {
    case Kind::Syntax:
        return prefix +
               QStringLiteral("kein gültiges JSON (%1, bei Byte %2).").arg(detail).arg(offset);
    case Kind::KeyMissing:
        return prefix + QStringLiteral("„%1“ fehlt.").arg(path);
    case Kind::ValueNull:
        return prefix + QStringLiteral("„%1“ ist leer (null).").arg(path);
    case Kind::TypeMismatch:
        if (path.isEmpty())
            return prefix + QStringLiteral("sie sollte %1 sein.").arg(expectedName(expected));
        return prefix + QStringLiteral("„%1“ sollte %2 sein.").arg(path, expectedName(expected));
    }
    return prefix + QStringLiteral("unbekannter Fehler.");
}

DecodeResult decodeSearchResponse(const QByteArray &body)
{
    using namespace Qt::StringLiterals;
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(body, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        return DecodeFailure{DecodeFailure::Kind::Syntax,
                             {},
                             DecodeFailure::Expected::None,
                             describeParseError(parseError.error),
                             parseError.offset};
    }

    Decoder d;
    if (!document.isObject()) {
        d.mismatch({}, DecodeFailure::Expected::Object);
        return *d.failure;
    }
    const QJsonObject root = document.object();
    SearchResponse response;
    d.requiredInteger(root, {}, "total"_L1, response.total);
    d.requiredInteger(root, {}, "total_pages"_L1, response.totalPages);
    QJsonArray results;
    if (d.requiredList(root, {}, "results"_L1, results)) {
        response.results.reserve(results.size());
        for (qsizetype i = 0; i < results.size(); ++i) {
            const QString path = QStringLiteral("results[%1]").arg(i);
            std::optional<UnsplashPhoto> photo = decodePhoto(d, results.at(i), path);
            if (!photo)
                break;
            response.results.append(std::move(*photo));
        }
    }
    if (d.failure)
        return *d.failure;
    return response;
}

} // namespace UnsplashReply
