#pragma once

#include <QColor>
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
    // Settings, data and caches of the window under test go into `home`, never the user's; it
    // reads GSettings from there too, and finds no session bus, so neither the user's portal
    // nor their colour scheme reach it (a test that needs a bus starts its own).
    static void useScratchHome(const QString &home)
    {
        for (const char *variable : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
            qputenv(variable, QDir(home).filePath(QString::fromLatin1(variable)).toUtf8());
        qputenv("GSETTINGS_BACKEND", "keyfile");
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + QDir(home).filePath("no-bus").toUtf8());
    }
};

// How far apart two colours are, summed over the channels.
inline int colourDistance(QColor a, QColor b)
{
    return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) +
           std::abs(a.blue() - b.blue());
}
