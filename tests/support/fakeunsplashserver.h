#pragma once

#include "testhttpserver.h"

#include <QStringList>

// The Unsplash API on the loopback interface, answering every search with hits made from the
// test photographs (`regular` the photo itself, `small` a 400 px copy) and taking download
// reports. Points the program's API address at itself while it lives.
class FakeUnsplashServer : public TestHttpServer
{
    Q_OBJECT

public:
    explicit FakeUnsplashServer(int hits = 12, QObject *parent = nullptr);
    ~FakeUnsplashServer() override;
    // Starts listening and sets VOSKAN_UNSPLASH_API_URL; false if either failed.
    bool start();
    QStringList ids() const { return m_ids; }
    // Searches and download reports received so far.
    int searchCount() const { return count("/search/photos"); }
    int downloadReports() const { return count("/download"); }

private:
    int count(const QByteArray &pathEnd) const
    {
        const QList<Request> all = requests();
        return int(std::count_if(all.begin(), all.end(),
                                 [&](const Request &r) { return r.path.endsWith(pathEnd); }));
    }

    int m_hits;
    QStringList m_ids;
    QByteArray m_previousApiUrl;
};
