#include "fakeunsplashserver.h"

#include "sources/unsplashservice.h"
#include "testdata.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImage>

FakeUnsplashServer::FakeUnsplashServer(int hits, QObject *parent)
    : TestHttpServer(parent), m_hits(hits),
      m_previousApiUrl(qgetenv(UnsplashService::kApiUrlVariable))
{
}

FakeUnsplashServer::~FakeUnsplashServer()
{
    if (m_previousApiUrl.isEmpty())
        qunsetenv(UnsplashService::kApiUrlVariable);
    else
        qputenv(UnsplashService::kApiUrlVariable, m_previousApiUrl);
}

bool FakeUnsplashServer::start()
{
    const QStringList photos = TestData::photos();
    if (!TestHttpServer::start() || photos.isEmpty())
        return false;
    qputenv(UnsplashService::kApiUrlVariable, url().toEncoded());
    const QString names[] = {"Lena Hartmann", "Jonas Weber", "Mira Sander", "Tomás Ruiz"};
    const QString colors[] = {"#4a6d8c", "#c0563a", "#8c5a2b", "#5d7347"};
    QStringList hits;
    for (int i = 0; i < m_hits; ++i) {
        const int p = i % photos.size();
        const QString id = QStringLiteral("hit%1").arg(i, 2, 10, QLatin1Char('0'));
        const QString file = QFileInfo(photos.at(p)).completeBaseName();
        m_ids << id;
        if (i < photos.size()) {
            QFile original(photos.at(p));
            QByteArray small;
            QBuffer buffer(&small);
            if (!original.open(QIODevice::ReadOnly) || !buffer.open(QIODevice::WriteOnly))
                return false;
            const QByteArray bytes = original.readAll();
            const QImage image = QImage::fromData(bytes);
            image.scaledToWidth(400, Qt::SmoothTransformation).save(&buffer, "JPEG", 85);
            setResponse("/images/" + file.toUtf8() + "-regular.jpg", {200, {}, bytes});
            setResponse("/images/" + file.toUtf8() + "-small.jpg", {200, {}, small});
        }
        setResponse(("/photos/" + id + "/download").toUtf8(), Response::json("{}"));
        // Every third hit has a description, the others show their alt text.
        const QString description =
            i % 3 ? QString()
                  : QStringLiteral(R"("description":"Foto %1 von %2",)").arg(i + 1).arg(file);
        hits
            << QStringLiteral(
                   R"({"id":"%1","slug":"%2-%1","width":2560,"height":1600,"color":"%3",%4"alt_description":"%5",)"
                   R"("urls":{"raw":"%6-regular.jpg","full":"%6-regular.jpg","regular":"%6-regular.jpg",)"
                   R"("small":"%6-small.jpg","thumb":"%6-small.jpg"},"user":{"name":"%7","username":"user%8",)"
                   R"("links":{"html":"%9/@user%8"}},"links":{"download_location":"%9/photos/%1/download"}})")
                   .arg(id, file, colors[p % 4], description, file.section(u'-', 1, 1),
                        url(QStringLiteral("/images/") + file).toString(), names[p % 4],
                        QString::number(p), url().toString());
    }
    const QString reply = QStringLiteral(R"({"total":%1,"total_pages":1,"results":[%2]})");
    setResponse("/search/photos", Response::json(reply.arg(m_hits).arg(hits.join(u',')).toUtf8()));
    return true;
}
