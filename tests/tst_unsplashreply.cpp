#include "sources/unsplashreply.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTest>

#include <functional>
#include <optional>

using UnsplashReply::DecodeFailure;
using UnsplashReply::SearchResponse;

Q_DECLARE_METATYPE(DecodeFailure::Kind)
Q_DECLARE_METATYPE(DecodeFailure::Expected)

namespace {

QJsonObject fullHit(const QString &id)
{
    return QJsonObject{
        {"id", id},
        {"slug", "sunset-over-the-alps-" + id},
        {"width", 6000},
        {"height", 4000},
        {"color", "#a0b0c0"},
        {"description", "Sonnenuntergang über den Alpen"},
        {"alt_description", "orange sky above snowy mountains"},
        {"urls", QJsonObject{{"raw", "https://images.example/" + id + "?raw"},
                             {"full", "https://images.example/" + id + "?full"},
                             {"regular", "https://images.example/" + id + "?regular"},
                             {"small", "https://images.example/" + id + "?small"},
                             {"thumb", "https://images.example/" + id + "?thumb"}}},
        {"user", QJsonObject{{"name", "Jördis Ås"},
                             {"username", "jordis"},
                             {"links", QJsonObject{{"html", "https://unsplash.example/@jordis"}}}}},
        {"links",
         QJsonObject{{"download_location", "https://api.example/photos/" + id + "/download"}}},
    };
}

QJsonObject fullReply()
{
    return QJsonObject{{"total", 1234},
                       {"total_pages", 42},
                       {"results", QJsonArray{fullHit("abc"), fullHit("def")}}};
}

// What fullHit() must decode to, written out independently of the decoder.
UnsplashPhoto expectedHit(const QString &id)
{
    UnsplashPhoto photo;
    photo.id = id;
    photo.slug = "sunset-over-the-alps-" + id;
    photo.width = 6000;
    photo.height = 4000;
    photo.color = QStringLiteral("#a0b0c0");
    photo.description = QStringLiteral("Sonnenuntergang über den Alpen");
    photo.altDescription = QStringLiteral("orange sky above snowy mountains");
    photo.urls = {"https://images.example/" + id + "?raw", "https://images.example/" + id + "?full",
                  "https://images.example/" + id + "?regular",
                  "https://images.example/" + id + "?small",
                  "https://images.example/" + id + "?thumb"};
    photo.user.name = QStringLiteral("Jördis Ås");
    photo.user.username = QStringLiteral("jordis");
    photo.user.links =
        UnsplashPhoto::User::Links{QStringLiteral("https://unsplash.example/@jordis")};
    photo.links = UnsplashPhoto::Links{"https://api.example/photos/" + id + "/download"};
    return photo;
}

// Replaces (or with nullopt removes) the value at a path such as "results[0].urls.small".
QJsonValue edit(QJsonValue node, QStringList steps, const std::optional<QJsonValue> &value)
{
    const QString step = steps.takeFirst();
    static const QRegularExpression indexed(QStringLiteral("^(\\w+)\\[(\\d+)\\]$"));
    const QRegularExpressionMatch match = indexed.match(step);
    if (match.hasMatch()) {
        // "results[1]" is the list under "results", then its element 1.
        QJsonObject object = node.toObject();
        QJsonArray list = object.value(match.captured(1)).toArray();
        const int index = match.captured(2).toInt();
        if (steps.isEmpty()) {
            if (value)
                list[index] = *value;
            else
                list.removeAt(index);
        } else {
            list[index] = edit(list.at(index), steps, value);
        }
        object[match.captured(1)] = list;
        return object;
    }
    QJsonObject object = node.toObject();
    if (steps.isEmpty()) {
        if (value)
            object[step] = *value;
        else
            object.remove(step);
    } else {
        object[step] = edit(object.value(step), steps, value);
    }
    return object;
}

QByteArray replyWith(const QString &path, const std::optional<QJsonValue> &value)
{
    const QJsonValue edited = edit(fullReply(), path.split(QLatin1Char('.')), value);
    return QJsonDocument(edited.toObject()).toJson(QJsonDocument::Compact);
}

// Every optional field, with how to clear it in an expected record. Paths point into the
// second hit so that the first one has to decode fine before the edit is even reached.
struct OptionalField
{
    const char *path;
    std::function<void(UnsplashPhoto &)> clear;
};

const QList<OptionalField> &optionalFields()
{
    static const QList<OptionalField> fields{
        {"results[1].slug", [](UnsplashPhoto &p) { p.slug.reset(); }},
        {"results[1].color", [](UnsplashPhoto &p) { p.color.reset(); }},
        {"results[1].description", [](UnsplashPhoto &p) { p.description.reset(); }},
        {"results[1].alt_description", [](UnsplashPhoto &p) { p.altDescription.reset(); }},
        {"results[1].user.username", [](UnsplashPhoto &p) { p.user.username.reset(); }},
        {"results[1].user.links", [](UnsplashPhoto &p) { p.user.links.reset(); }},
        {"results[1].user.links.html", [](UnsplashPhoto &p) { p.user.links->html.reset(); }},
        {"results[1].links", [](UnsplashPhoto &p) { p.links.reset(); }},
        {"results[1].links.download_location",
         [](UnsplashPhoto &p) { p.links->downloadLocation.reset(); }},
    };
    return fields;
}

// Required paths with a value of the wrong kind and the kind they should hold.
struct RequiredField
{
    const char *path;
    QJsonValue wrong;
    DecodeFailure::Expected expected;
};

const QList<RequiredField> &requiredFields()
{
    using E = DecodeFailure::Expected;
    static const QList<RequiredField> fields{
        {"total", QJsonValue("1234"), E::Integer},
        {"total_pages", QJsonValue(true), E::Integer},
        {"results", QJsonObject{}, E::List},
        {"results[1].id", QJsonValue(42), E::Text},
        {"results[1].width", QJsonValue("6000"), E::Integer},
        {"results[1].height", QJsonValue(4000.5), E::Integer},
        {"results[1].urls", QJsonValue("https://images.example/"), E::Object},
        {"results[1].urls.raw", QJsonArray{"a"}, E::Text},
        {"results[1].urls.full", QJsonValue(1), E::Text},
        {"results[1].urls.regular", QJsonObject{}, E::Text},
        {"results[1].urls.small", QJsonValue(false), E::Text},
        {"results[1].urls.thumb", QJsonValue(0), E::Text},
        {"results[1].user", QJsonArray{}, E::Object},
        {"results[1].user.name", QJsonValue(7), E::Text},
    };
    return fields;
}

DecodeFailure failureOf(const QByteArray &body)
{
    const UnsplashReply::DecodeResult result = UnsplashReply::decodeSearchResponse(body);
    if (const auto *failure = std::get_if<DecodeFailure>(&result))
        return *failure;
    return DecodeFailure{DecodeFailure::Kind::Syntax, QStringLiteral("<decoded>"), {}, {}, -1};
}

} // namespace

class TestUnsplashReply : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void decodesEveryField();
    void requiredFieldRejectsWholeReply_data();
    void requiredFieldRejectsWholeReply();
    void optionalFieldMayBeAbsent_data();
    void optionalFieldMayBeAbsent();
    void optionalFieldOfWrongTypeRejects_data();
    void optionalFieldOfWrongTypeRejects();
    void integers_data();
    void integers();
    void unusableBodies_data();
    void unusableBodies();
    void emptyResults();
    void unknownKeysAreIgnored();
    void descriptions_data();
    void descriptions();
};

void TestUnsplashReply::decodesEveryField()
{
    const QByteArray body = QJsonDocument(fullReply()).toJson();
    const UnsplashReply::DecodeResult result = UnsplashReply::decodeSearchResponse(body);
    QVERIFY2(std::holds_alternative<SearchResponse>(result),
             qPrintable(failureOf(body).description()));
    const SearchResponse response = std::get<SearchResponse>(result);
    QCOMPARE(response.total, 1234);
    QCOMPARE(response.totalPages, 42);
    QCOMPARE(response.results.size(), 2);
    // Reply order is kept, and every field, snake_case keys included, lands where it belongs.
    QCOMPARE(response.results[0], expectedHit("abc"));
    QCOMPARE(response.results[1], expectedHit("def"));
}

void TestUnsplashReply::requiredFieldRejectsWholeReply_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<DecodeFailure::Kind>("kind");
    QTest::addColumn<QString>("path");
    QTest::addColumn<DecodeFailure::Expected>("expected");

    using K = DecodeFailure::Kind;
    for (const RequiredField &field : requiredFields()) {
        const QString path = QString::fromLatin1(field.path);
        QTest::addRow("%s missing", field.path) << replyWith(path, std::nullopt) << K::KeyMissing
                                                << path << DecodeFailure::Expected::None;
        QTest::addRow("%s null", field.path) << replyWith(path, QJsonValue::Null) << K::ValueNull
                                             << path << DecodeFailure::Expected::None;
        QTest::addRow("%s wrong type", field.path)
            << replyWith(path, field.wrong) << K::TypeMismatch << path << field.expected;
    }
    QTest::newRow("hit is no object")
        << replyWith(QStringLiteral("results[1]"), QJsonValue("abc")) << K::TypeMismatch
        << QStringLiteral("results[1]") << DecodeFailure::Expected::Object;
    QTest::newRow("hit is null") << replyWith(QStringLiteral("results[1]"), QJsonValue::Null)
                                 << K::TypeMismatch << QStringLiteral("results[1]")
                                 << DecodeFailure::Expected::Object;
}

void TestUnsplashReply::requiredFieldRejectsWholeReply()
{
    QFETCH(QByteArray, body);
    QFETCH(DecodeFailure::Kind, kind);
    QFETCH(QString, path);
    QFETCH(DecodeFailure::Expected, expected);

    const DecodeFailure failure = failureOf(body);
    QCOMPARE(failure.kind, kind);
    QCOMPARE(failure.path, path);
    QCOMPARE(failure.expected, expected);
    QVERIFY2(failure.description().contains(QStringLiteral("„%1“").arg(path)),
             qPrintable(failure.description()));
}

void TestUnsplashReply::optionalFieldMayBeAbsent_data()
{
    QTest::addColumn<int>("field");
    QTest::addColumn<bool>("null");
    for (int i = 0; i < optionalFields().size(); ++i) {
        QTest::addRow("%s missing", optionalFields()[i].path) << i << false;
        QTest::addRow("%s null", optionalFields()[i].path) << i << true;
    }
}

void TestUnsplashReply::optionalFieldMayBeAbsent()
{
    QFETCH(int, field);
    QFETCH(bool, null);
    const OptionalField &optional = optionalFields()[field];

    const QByteArray body =
        replyWith(QString::fromLatin1(optional.path),
                  null ? std::optional<QJsonValue>(QJsonValue::Null) : std::nullopt);
    const UnsplashReply::DecodeResult result = UnsplashReply::decodeSearchResponse(body);
    QVERIFY2(std::holds_alternative<SearchResponse>(result),
             qPrintable(failureOf(body).description()));
    const QList<UnsplashPhoto> hits = std::get<SearchResponse>(result).results;
    QCOMPARE(hits.size(), 2);
    QCOMPARE(hits[0], expectedHit("abc"));
    UnsplashPhoto expected = expectedHit("def");
    optional.clear(expected);
    QCOMPARE(hits[1], expected);
}

void TestUnsplashReply::optionalFieldOfWrongTypeRejects_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("path");
    QTest::addColumn<DecodeFailure::Expected>("expected");
    using E = DecodeFailure::Expected;
    for (const OptionalField &field : optionalFields()) {
        const QString path = QString::fromLatin1(field.path);
        const bool isObject = path.endsWith(QLatin1String("links"));
        // An object where text belongs, text where an object belongs.
        const QJsonValue wrong = isObject ? QJsonValue("x") : QJsonValue(QJsonObject{});
        QTest::addRow("%s", field.path)
            << replyWith(path, wrong) << path << (isObject ? E::Object : E::Text);
    }
}

void TestUnsplashReply::optionalFieldOfWrongTypeRejects()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, path);
    QFETCH(DecodeFailure::Expected, expected);
    const DecodeFailure failure = failureOf(body);
    QCOMPARE(failure.kind, DecodeFailure::Kind::TypeMismatch);
    QCOMPARE(failure.path, path);
    QCOMPARE(failure.expected, expected);
}

void TestUnsplashReply::integers_data()
{
    QTest::addColumn<QByteArray>("width");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<qint64>("value");

    QTest::newRow("plain") << QByteArray("640") << true << qint64(640);
    QTest::newRow("zero") << QByteArray("0") << true << qint64(0);
    QTest::newRow("negative") << QByteArray("-3") << true << qint64(-3);
    QTest::newRow("exponent, whole") << QByteArray("1e3") << true << qint64(1000);
    QTest::newRow("trailing zero fraction") << QByteArray("640.0") << true << qint64(640);
    QTest::newRow("largest 64-bit")
        << QByteArray("9223372036854775807") << true << std::numeric_limits<qint64>::max();
    QTest::newRow("beyond 64 bits") << QByteArray("9223372036854775808") << false << qint64(0);
    QTest::newRow("fraction") << QByteArray("640.5") << false << qint64(0);
    QTest::newRow("huge exponent") << QByteArray("1e300") << false << qint64(0);
    QTest::newRow("text") << QByteArray("\"640\"") << false << qint64(0);
    QTest::newRow("boolean") << QByteArray("true") << false << qint64(0);
    QTest::newRow("list") << QByteArray("[640]") << false << qint64(0);
}

void TestUnsplashReply::integers()
{
    QFETCH(QByteArray, width);
    QFETCH(bool, accepted);
    QFETCH(qint64, value);

    // Spliced in as text: QJsonValue would round the large values before the decoder sees them.
    QByteArray body = replyWith(QStringLiteral("results[0].width"), QJsonValue("@WIDTH@"));
    body.replace("\"@WIDTH@\"", width);
    const UnsplashReply::DecodeResult result = UnsplashReply::decodeSearchResponse(body);
    if (accepted) {
        QVERIFY2(std::holds_alternative<SearchResponse>(result),
                 qPrintable(failureOf(body).description()));
        QCOMPARE(std::get<SearchResponse>(result).results.first().width, value);
    } else {
        const DecodeFailure failure = failureOf(body);
        QCOMPARE(failure.kind, DecodeFailure::Kind::TypeMismatch);
        QCOMPARE(failure.path, QStringLiteral("results[0].width"));
        QCOMPARE(failure.expected, DecodeFailure::Expected::Integer);
    }
}

void TestUnsplashReply::unusableBodies_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<DecodeFailure::Kind>("kind");
    QTest::addColumn<QString>("path");

    using K = DecodeFailure::Kind;
    const QByteArray valid = QJsonDocument(fullReply()).toJson(QJsonDocument::Compact);
    QTest::newRow("empty") << QByteArray() << K::Syntax << QString();
    QTest::newRow("cut short") << valid.left(valid.size() / 2) << K::Syntax << QString();
    QTest::newRow("garbage after the object") << valid + "}" << K::Syntax << QString();
    QTest::newRow("html error page")
        << QByteArray("<!DOCTYPE html><html><body>Bad Gateway</body></html>") << K::Syntax
        << QString();
    QTest::newRow("broken utf-8") << QByteArray("{\"total\": \"\xff\xfe\"}") << K::Syntax
                                  << QString();
    QTest::newRow("nesting without end") << QByteArray(200000, '[') << K::Syntax << QString();
    QTest::newRow("list at the top")
        << QByteArray("[" + valid + "]") << K::TypeMismatch << QString();
    QTest::newRow("number at the top") << QByteArray("42") << K::Syntax << QString();
    QTest::newRow("empty object") << QByteArray("{}") << K::KeyMissing << QStringLiteral("total");
    QTest::newRow("results is an object")
        << QByteArray(R"({"total":0,"total_pages":0,"results":{"0":{}}})") << K::TypeMismatch
        << QStringLiteral("results");
    QTest::newRow("a number among the hits")
        << QByteArray(R"({"total":1,"total_pages":1,"results":[1]})") << K::TypeMismatch
        << QStringLiteral("results[0]");
}

void TestUnsplashReply::unusableBodies()
{
    QFETCH(QByteArray, body);
    QFETCH(DecodeFailure::Kind, kind);
    QFETCH(QString, path);
    const DecodeFailure failure = failureOf(body);
    QCOMPARE(failure.kind, kind);
    QCOMPARE(failure.path, path);
    QVERIFY(failure.description().startsWith(QStringLiteral("Die Antwort von Unsplash")));
}

void TestUnsplashReply::emptyResults()
{
    const UnsplashReply::DecodeResult result =
        UnsplashReply::decodeSearchResponse(R"({"total":0,"total_pages":0,"results":[]})");
    QVERIFY(std::holds_alternative<SearchResponse>(result));
    QVERIFY(std::get<SearchResponse>(result).results.isEmpty());
}

void TestUnsplashReply::unknownKeysAreIgnored()
{
    QJsonObject hit = fullHit("abc");
    hit["likes"] = 17;
    hit["sponsorship"] = QJsonValue::Null;
    hit["tags"] = QJsonArray{QJsonObject{{"title", "alpen"}}};
    QJsonObject urls = hit["urls"].toObject();
    urls["small_s3"] = "https://s3.example/abc";
    hit["urls"] = urls;
    QJsonObject user = hit["user"].toObject();
    user["id"] = 99; // a number where the photo's own id is text: only known keys are typed
    hit["user"] = user;
    const QJsonObject reply{
        {"total", 1}, {"total_pages", 1}, {"results", QJsonArray{hit}}, {"meta", "x"}};

    const UnsplashReply::DecodeResult result =
        UnsplashReply::decodeSearchResponse(QJsonDocument(reply).toJson());
    QVERIFY(std::holds_alternative<SearchResponse>(result));
    QCOMPARE(std::get<SearchResponse>(result).results, QList<UnsplashPhoto>{expectedHit("abc")});
}

void TestUnsplashReply::descriptions_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("text");

    QTest::newRow("missing") << replyWith(QStringLiteral("results[0].width"), std::nullopt)
                             << QStringLiteral("Die Antwort von Unsplash ist nicht lesbar: "
                                               "„results[0].width“ fehlt.");
    QTest::newRow("null") << replyWith(QStringLiteral("total_pages"), QJsonValue::Null)
                          << QStringLiteral("Die Antwort von Unsplash ist nicht lesbar: "
                                            "„total_pages“ ist leer (null).");
    QTest::newRow("wrong type") << replyWith(QStringLiteral("results[0].urls.small"), QJsonValue(3))
                                << QStringLiteral("Die Antwort von Unsplash ist nicht lesbar: "
                                                  "„results[0].urls.small“ sollte ein Text sein.");
    QTest::newRow("top level")
        << QByteArray("[]")
        << QStringLiteral("Die Antwort von Unsplash ist nicht lesbar: sie sollte ein Objekt sein.");
    QTest::newRow("syntax") << QByteArray("{\"total\" 1}")
                            << QStringLiteral("Die Antwort von Unsplash ist nicht lesbar: kein "
                                              "gültiges JSON (nach einem Schlüssel fehlt der "
                                              "Doppelpunkt, bei Byte 10).");
}

void TestUnsplashReply::descriptions()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, text);
    QCOMPARE(failureOf(body).description(), text);
}

QTEST_GUILESS_MAIN(TestUnsplashReply)
#include "tst_unsplashreply.moc"
