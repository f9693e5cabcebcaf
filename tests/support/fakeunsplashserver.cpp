#include "fakeunsplashserver.h"

#include "sources/unsplashservice.h"
#include "testdata.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

const char *const kNames[] = {"Lena Hartmann", "Jonas Weber", "Mira Sander", "Tomás Ruiz"};
const char *const kColors[] = {"#4a6d8c", "#c0563a", "#8c5a2b", "#5d7347"};

QByteArray jpeg(const QImage &image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 85);
    return bytes;
}

} // namespace

FakeUnsplashServer::FakeUnsplashServer(int hits, QObject *parent)
    : TestHttpServer(parent), m_hits(hits)
{
}

FakeUnsplashServer::~FakeUnsplashServer()
{
    qputenv(UnsplashService::kApiUrlVariable, m_previousApiUrl);
    if (m_previousApiUrl.isEmpty())
        qunsetenv(UnsplashService::kApiUrlVariable);
}

bool FakeUnsplashServer::start()
{
    if (!TestHttpServer::start())
        return false;
    m_previousApiUrl = qgetenv(UnsplashService::kApiUrlVariable);
    qputenv(UnsplashService::kApiUrlVariable, url().toString().toUtf8());

    const QStringList photos = TestData::photos();
    if (photos.isEmpty())
        return false;
    QJsonArray results;
    for (int i = 0; i < m_hits; ++i) {
        const int p = i % photos.size();
        const QString id = QStringLiteral("hit%1").arg(i, 2, 10, QLatin1Char('0'));
        m_ids << id;
        const QString file = QFileInfo(photos.at(p)).completeBaseName();
        if (i < photos.size()) {
            QFile original(photos.at(p));
            if (!original.open(QIODevice::ReadOnly))
                return false;
            const QByteArray bytes = original.readAll();
            setResponse(("/images/" + file + "-regular.jpg").toUtf8(),
                        {200, {{"Content-Type", "image/jpeg"}}, bytes});
            const QImage small = QImage::fromData(bytes).scaledToWidth(400, Qt::SmoothTransformation);
            setResponse(("/images/" + file + "-small.jpg").toUtf8(),
                        {200, {{"Content-Type", "image/jpeg"}}, jpeg(small)});
        }
        setResponse(("/photos/" + id + "/download").toUtf8(), Response::json("{}"));
        const QString images = url(QStringLiteral("/images/")).toString() + file;
        QJsonObject hit{
            {"id", id},
            {"slug", file + QLatin1Char('-') + id},
            {"width", 2560},
            {"height", 1600},
            {"color", QLatin1String(kColors[p % 4])},
            {"alt_description", file.section(QLatin1Char('-'), 1, 1)},
            {"urls", QJsonObject{{"raw", images + "-regular.jpg"},
                                 {"full", images + "-regular.jpg"},
                                 {"regular", images + "-regular.jpg"},
                                 {"small", images + "-small.jpg"},
                                 {"thumb", images + "-small.jpg"}}},
            {"user", QJsonObject{{"name", QString::fromUtf8(kNames[p % 4])},
                                 {"username", QStringLiteral("user%1").arg(p)},
                                 {"links", QJsonObject{{"html", url(QStringLiteral("/@user%1").arg(p)).toString()}}}}},
            {"links", QJsonObject{{"download_location",
                                   url(QStringLiteral("/photos/%1/download").arg(id)).toString()}}},
        };
        if (i % 3 == 0)
            hit.insert("description", QStringLiteral("Foto %1 von %2").arg(i + 1).arg(file));
        results.append(hit);
    }
    const QJsonObject reply{{"total", m_hits}, {"total_pages", 1}, {"results", results}};
    setResponse("/search/photos", Response::json(QJsonDocument(reply).toJson(QJsonDocument::Compact)));
    return true;
}

int FakeUnsplashServer::searchCount() const
{
    int n = 0;
    for (const Request &request : requests())
        n += request.path == "/search/photos";
    return n;
}

int FakeUnsplashServer::downloadReports() const
{
    int n = 0;
    for (const Request &request : requests())
        n += request.path.endsWith("/download");
    return n;
}
