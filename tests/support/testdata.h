#pragma once

#include <QDir>
#include <QStringList>

// The real photographs shipped beside the project for tests and benchmarks.
struct TestData
{
    static QString dir() { return QStringLiteral(VOSKAN_TESTDATA_DIR); }
    static QString photo(const QString &name) { return QDir(dir()).filePath(name); }
    static QStringList photos()
    {
        QStringList paths;
        for (const QString &name :
             QDir(dir()).entryList({QStringLiteral("photo-*.jpg")}, QDir::Files, QDir::Name))
            paths << photo(name);
        return paths;
    }
};
