#pragma once

#include <QDir>
#include <QString>
#include <QStringList>

// The real photographs shipped beside the project for tests and benchmarks.
namespace TestData {

inline QString dir()
{
    return QStringLiteral(VOSKAN_TESTDATA_DIR);
}

inline QString photo(const QString &name)
{
    return QDir(dir()).filePath(name);
}

inline QStringList photos()
{
    QStringList paths;
    const QStringList names =
        QDir(dir()).entryList({QStringLiteral("photo-*.jpg")}, QDir::Files, QDir::Name);
    for (const QString &name : names)
        paths << photo(name);
    return paths;
}

} // namespace TestData
