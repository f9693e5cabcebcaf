#pragma once

#include "testhttpserver.h"

#include <QStringList>

// The Unsplash API on the loopback interface, answering every search with hits made from the
// real photographs of the test data: `regular` is the photo itself, `small` a 400 px copy, and
// download reports are accepted. Points the program's API address at itself while it lives.
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
    int searchCount() const;
    int downloadReports() const;

private:
    int m_hits;
    QStringList m_ids;
    QByteArray m_previousApiUrl;
};
