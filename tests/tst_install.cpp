// What a user's machine receives: the desktop entry, icon and AppStream file as the desktop
// tools read them, the install tree of this build, and the Debian package made from it.
#include "render/imagedecoder.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QSvgRenderer>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

#include <vips/vips8>

#include <optional>

namespace {

// The id main.cpp gives Qt as desktop file name and window icon.
const QString kAppId = QStringLiteral("de.voskan.Voskan");
const QString kSourceDir = QStringLiteral(VOSKAN_SOURCE_DIR);
const QString kBuildDir = QStringLiteral(VOSKAN_BUILD_DIR);
const QString kVersion = QStringLiteral(VOSKAN_PROJECT_VERSION);

// Everything an install puts below its prefix, and nothing else.
const QStringList kInstalledFiles = {
    QStringLiteral("bin/voskan"),
    QStringLiteral("bin/voskan-render"),
    QStringLiteral("share/applications/de.voskan.Voskan.desktop"),
    QStringLiteral("share/icons/hicolor/256x256/apps/de.voskan.Voskan.png"),
    QStringLiteral("share/icons/hicolor/scalable/apps/de.voskan.Voskan.svg"),
    QStringLiteral("share/metainfo/de.voskan.Voskan.metainfo.xml"),
};

// The picture types the launcher offers to open, each with a file suffix libvips saves it
// under, so the decoder can be asked whether it really opens them.
const QList<std::pair<QString, QString>> kOpenedTypes = {
    {QStringLiteral("image/jpeg"), QStringLiteral(".jpg")},
    {QStringLiteral("image/png"), QStringLiteral(".png")},
    {QStringLiteral("image/webp"), QStringLiteral(".webp")},
    {QStringLiteral("image/tiff"), QStringLiteral(".tif")},
    {QStringLiteral("image/heif"), QStringLiteral(".heif")},
    {QStringLiteral("image/heic"), QStringLiteral(".heic")},
    {QStringLiteral("image/avif"), QStringLiteral(".avif")},
    {QStringLiteral("image/gif"), QStringLiteral(".gif")},
};

QString sourceFile(const QString &relative)
{
    return kSourceDir + QStringLiteral("/data/") + relative;
}

struct Run
{
    bool started = false;
    int exitCode = -1;
    QString output; // stdout and stderr, in the order written

    bool isOk() const { return started && exitCode == 0; }
};

Run run(const QString &program, const QStringList &arguments, int timeoutMs = 300000)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    Run result;
    result.started = process.waitForStarted();
    if (!result.started) {
        result.output = program + QStringLiteral(": ") + process.errorString();
        return result;
    }
    const bool finished = process.waitForFinished(timeoutMs);
    result.output = QString::fromUtf8(process.readAll());
    if (!finished) {
        process.kill();
        process.waitForFinished();
        result.output += QStringLiteral("\n(timed out)");
        return result;
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return result;
}

QString describe(const QString &program, const QStringList &arguments, const Run &result)
{
    return QStringLiteral("%1 %2 → exit %3\n%4")
        .arg(program, arguments.join(QLatin1Char(' ')))
        .arg(result.exitCode)
        .arg(result.output);
}

// The keys of the [Desktop Entry] group, read the way the desktop tools read them.
QMap<QString, QString> readDesktopEntry(const QString &path)
{
    QMap<QString, QString> entry;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return entry;
    bool inGroup = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            inGroup = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (inGroup && equals > 0)
            entry.insert(line.left(equals).trimmed(), line.mid(equals + 1).trimmed());
    }
    return entry;
}

QStringList desktopList(const QString &value)
{
    return value.split(QLatin1Char(';'), Qt::SkipEmptyParts);
}

// Element paths ("provides/binary", "releases/release@version") with their texts or values.
QMultiMap<QString, QString> readMetainfo(const QString &path)
{
    QMultiMap<QString, QString> values;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return values;
    QXmlStreamReader xml(&file);
    QStringList stack;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            if (!stack.isEmpty() || xml.name() != QLatin1String("component"))
                stack.append(xml.name().toString());
            const QString here = stack.join(QLatin1Char('/'));
            for (const QXmlStreamAttribute &attribute : xml.attributes())
                values.insert(here + QLatin1Char('@') + attribute.name().toString(),
                              attribute.value().toString());
        } else if (xml.isEndElement()) {
            if (!stack.isEmpty())
                stack.removeLast();
        } else if (xml.isCharacters() && !xml.isWhitespace() && !stack.isEmpty()) {
            values.insert(stack.join(QLatin1Char('/')), xml.text().toString().trimmed());
        }
    }
    if (xml.hasError())
        values.insert(QStringLiteral("error"), xml.errorString());
    return values;
}

QStringList sorted(QStringList list)
{
    list.sort();
    return list;
}

// The files below root, relative to it.
QStringList filesBelow(const QString &root)
{
    QStringList files;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        files.append(QDir(root).relativeFilePath(it.next()));
    files.sort();
    return files;
}

// Names of the packages a Depends-style field asks for, alternatives included.
QStringList packageNames(const QString &field)
{
    QStringList names;
    for (const QString &clause : field.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        for (const QString &alternative : clause.split(QLatin1Char('|'), Qt::SkipEmptyParts)) {
            QString name = alternative.trimmed();
            name = name.left(name.indexOf(QRegularExpression(QStringLiteral("[ (:]"))));
            names.append(name);
        }
    }
    return names;
}

// "Key: value" lines with indented continuation lines.
QMap<QString, QString> readControlFields(const QString &text)
{
    QMap<QString, QString> fields;
    QString key;
    for (const QString &line : text.split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1Char(' ')) && !key.isEmpty()) {
            fields[key] += QLatin1Char('\n') + line.trimmed();
        } else if (const qsizetype colon = line.indexOf(QLatin1Char(':')); colon > 0) {
            key = line.left(colon);
            fields.insert(key, line.mid(colon + 1).trimmed());
        }
    }
    return fields;
}

enum class Match {
    Equals,
    Version,      // the upstream version, maybe with a Debian revision
    NamesPackage, // a Depends-style list that names the package
};

} // namespace

Q_DECLARE_METATYPE(Match)

class TestInstall : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void validators_data();
    void validators();
    void desktopEntry_data();
    void desktopEntry();
    void offeredTypesOpen_data();
    void offeredTypesOpen();
    void offeredTypesAreTheOpenedOnes();
    void metainfoMatchesDesktopEntry_data();
    void metainfoMatchesDesktopEntry();
    void installedFiles_data();
    void installedFiles();
    void installsNothingElse();
    void installedTreeValidates();
    void referencesResolveInInstall_data();
    void referencesResolveInInstall();
    void packageFields_data();
    void packageFields();
    void packageFiles_data();
    void packageFiles();
    void packageHoldsNothingElse();
    void packagedBinaries_data();
    void packagedBinaries();

private:
    // Installs this build once into m_installDir; the log when that failed.
    std::optional<QString> installError();
    // Makes the Debian package once and unpacks it into m_packageRoot; the log when that failed.
    std::optional<QString> packageError();

    QMap<QString, QString> m_desktop;
    QMultiMap<QString, QString> m_metainfo;

    QTemporaryDir m_installDir;
    std::optional<std::optional<QString>> m_installed;

    QTemporaryDir m_packageDir;
    QString m_packageRoot;
    QString m_debFile;
    QMap<QString, QString> m_control;
    std::optional<std::optional<QString>> m_packaged;
};

void TestInstall::initTestCase()
{
    QVERIFY(m_installDir.isValid());
    QVERIFY(m_packageDir.isValid());
    m_desktop = readDesktopEntry(sourceFile(kAppId + QStringLiteral(".desktop")));
    QVERIFY2(!m_desktop.isEmpty(), "no [Desktop Entry] group in the desktop file");
    m_metainfo = readMetainfo(sourceFile(kAppId + QStringLiteral(".metainfo.xml")));
    QVERIFY2(!m_metainfo.contains(QStringLiteral("error")),
             qPrintable(m_metainfo.value(QStringLiteral("error"))));
    QVERIFY(!m_metainfo.isEmpty());
}

std::optional<QString> TestInstall::installError()
{
    if (!m_installed) {
        const QStringList arguments = {QStringLiteral("--install"), kBuildDir,
                                       QStringLiteral("--prefix"), m_installDir.path()};
        const Run result = run(QStringLiteral(VOSKAN_CMAKE_COMMAND), arguments);
        m_installed =
            result.isOk()
                ? std::nullopt
                : std::optional<QString>(describe(QStringLiteral("cmake"), arguments, result));
    }
    return *m_installed;
}

std::optional<QString> TestInstall::packageError()
{
    if (m_packaged)
        return *m_packaged;
    m_packaged = std::optional<QString>();
    auto fail = [this](const QString &message) {
        *m_packaged = message;
        return *m_packaged;
    };

    const QStringList cpackArguments = {
        QStringLiteral("-G"),       QStringLiteral("DEB"),
        QStringLiteral("-B"),       m_packageDir.path(),
        QStringLiteral("--config"), kBuildDir + QStringLiteral("/CPackConfig.cmake")};
    const Run cpack = run(QStringLiteral(VOSKAN_CPACK_COMMAND), cpackArguments);
    if (!cpack.isOk())
        return fail(describe(QStringLiteral("cpack"), cpackArguments, cpack));

    const QStringList debs =
        QDir(m_packageDir.path()).entryList({QStringLiteral("*.deb")}, QDir::Files);
    if (debs.size() != 1)
        return fail(QStringLiteral("expected one .deb, found: ") + debs.join(QLatin1Char(' ')));
    m_debFile = m_packageDir.filePath(debs.first());

    const QStringList fieldArguments = {QStringLiteral("-f"), m_debFile};
    const Run fields = run(QStringLiteral("dpkg-deb"), fieldArguments);
    if (!fields.isOk())
        return fail(describe(QStringLiteral("dpkg-deb"), fieldArguments, fields));
    m_control = readControlFields(fields.output);

    m_packageRoot = m_packageDir.filePath(QStringLiteral("root"));
    const QStringList extractArguments = {QStringLiteral("-x"), m_debFile, m_packageRoot};
    const Run extract = run(QStringLiteral("dpkg"), extractArguments);
    if (!extract.isOk())
        return fail(describe(QStringLiteral("dpkg"), extractArguments, extract));
    return *m_packaged;
}

void TestInstall::validators_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("silent");

    // desktop-file-validate reports hints with exit code 0, so only silence is a pass.
    QTest::newRow("desktop entry")
        << QStringLiteral("desktop-file-validate")
        << QStringList{sourceFile(kAppId + QStringLiteral(".desktop"))} << true;
    // --strict: warnings and infos fail as well, only pedantic hints may remain.
    QTest::newRow("AppStream file")
        << QStringLiteral("appstreamcli")
        << QStringList{QStringLiteral("validate"), QStringLiteral("--no-net"),
                       QStringLiteral("--strict"),
                       sourceFile(kAppId + QStringLiteral(".metainfo.xml"))}
        << false;
}

void TestInstall::validators()
{
    QFETCH(QString, program);
    QFETCH(QStringList, arguments);
    QFETCH(bool, silent);

    const Run result = run(program, arguments);
    QVERIFY2(result.isOk(), qPrintable(describe(program, arguments, result)));
    if (silent)
        QVERIFY2(result.output.trimmed().isEmpty(), qPrintable(result.output));
}

void TestInstall::desktopEntry_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");

    QTest::newRow("type") << QStringLiteral("Type") << QStringLiteral("Application");
    QTest::newRow("name") << QStringLiteral("Name") << QStringLiteral("Voskan");
    // %f: one picture per start, handed to the app as its only argument.
    QTest::newRow("exec") << QStringLiteral("Exec") << QStringLiteral("voskan %f");
    QTest::newRow("icon") << QStringLiteral("Icon") << kAppId;
    QTest::newRow("terminal") << QStringLiteral("Terminal") << QStringLiteral("false");
    QTest::newRow("categories") << QStringLiteral("Categories")
                                << QStringLiteral("Graphics;2DGraphics;RasterGraphics;");
    QTest::newRow("startup notification")
        << QStringLiteral("StartupNotify") << QStringLiteral("true");
}

void TestInstall::desktopEntry()
{
    QFETCH(QString, key);
    QFETCH(QString, expected);
    QVERIFY2(m_desktop.contains(key), qPrintable(key + QStringLiteral(" missing")));
    QCOMPARE(m_desktop.value(key), expected);
}

void TestInstall::offeredTypesOpen_data()
{
    QTest::addColumn<QString>("mimeType");
    QTest::addColumn<QString>("suffix");
    for (const auto &[mimeType, suffix] : kOpenedTypes)
        QTest::newRow(qPrintable(mimeType)) << mimeType << suffix;
}

void TestInstall::offeredTypesOpen()
{
    QFETCH(QString, mimeType);
    QFETCH(QString, suffix);

    QVERIFY2(desktopList(m_desktop.value(QStringLiteral("MimeType"))).contains(mimeType),
             "the launcher does not offer this type");
    QVERIFY(ImageDecoder::startVips());
    // A small picture with some structure, so lossy encoders have something to keep.
    const vips::VImage picture =
        (vips::VImage::xyz(64, 48)[0] * 3 + 20)
            .bandjoin({vips::VImage::xyz(64, 48)[1] * 4, vips::VImage::black(64, 48) + 90})
            .cast(VIPS_FORMAT_UCHAR);
    void *buffer = nullptr;
    size_t size = 0;
    try {
        picture.write_to_buffer(qPrintable(suffix), &buffer, &size);
    } catch (const vips::VError &error) {
        QFAIL(error.what());
    }
    const QByteArray bytes(static_cast<const char *>(buffer), qsizetype(size));
    g_free(buffer);

    const DecodeResult decoded = ImageDecoder::decodeData(bytes);
    QVERIFY2(decoded.isOk(), qPrintable(decoded.errorString()));
    QCOMPARE(decoded.bitmap().size(), QSize(64, 48));
}

void TestInstall::offeredTypesAreTheOpenedOnes()
{
    QStringList opened;
    for (const auto &entry : kOpenedTypes)
        opened.append(entry.first);
    QCOMPARE(sorted(desktopList(m_desktop.value(QStringLiteral("MimeType")))), sorted(opened));
}

void TestInstall::metainfoMatchesDesktopEntry_data()
{
    QTest::addColumn<QStringList>("actual");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<bool>("subset"); // expected need only be among actual

    auto values = [this](const char *path) {
        return sorted(m_metainfo.values(QLatin1String(path)));
    };
    auto desktopValues = [this](const char *key) {
        return sorted(desktopList(m_desktop.value(QLatin1String(key))));
    };
    QTest::newRow("id") << values("id") << QStringList{kAppId} << false;
    QTest::newRow("launchable") << values("launchable")
                                << QStringList{kAppId + QStringLiteral(".desktop")} << false;
    QTest::newRow("launchable type")
        << values("launchable@type") << QStringList{QStringLiteral("desktop-id")} << false;
    QTest::newRow("binaries") << values("provides/binary")
                              << QStringList{QStringLiteral("voskan"),
                                             QStringLiteral("voskan-render")}
                              << false;
    QTest::newRow("media types") << values("provides/mediatype") << desktopValues("MimeType")
                                 << false;
    QTest::newRow("categories") << values("categories/category") << desktopValues("Categories")
                                << false;
    // The version being built has its release entry, so software centres show it.
    QTest::newRow("release of this version")
        << values("releases/release@version") << QStringList{kVersion} << true;
}

void TestInstall::metainfoMatchesDesktopEntry()
{
    QFETCH(QStringList, actual);
    QFETCH(QStringList, expected);
    QFETCH(bool, subset);
    if (!subset) {
        QCOMPARE(actual, expected);
        return;
    }
    for (const QString &value : expected)
        QVERIFY2(actual.contains(value),
                 qPrintable(value + QStringLiteral(" not among ") + actual.join(QLatin1Char(' '))));
}

void TestInstall::installedFiles_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("executable");
    for (const QString &path : kInstalledFiles)
        QTest::newRow(qPrintable(path)) << path << path.startsWith(QLatin1String("bin/"));
}

void TestInstall::installedFiles()
{
    QFETCH(QString, path);
    QFETCH(bool, executable);
    const std::optional<QString> error = installError();
    QVERIFY2(!error, qPrintable(error.value_or(QString())));

    const QFileInfo file(m_installDir.filePath(path));
    QVERIFY2(file.isFile(), qPrintable(file.filePath()));
    QVERIFY(file.size() > 0);
    QCOMPARE(file.isExecutable(), executable);
}

void TestInstall::installsNothingElse()
{
    const std::optional<QString> error = installError();
    QVERIFY2(!error, qPrintable(error.value_or(QString())));
    QCOMPARE(filesBelow(m_installDir.path()), sorted(kInstalledFiles));
}

void TestInstall::installedTreeValidates()
{
    const std::optional<QString> error = installError();
    QVERIFY2(!error, qPrintable(error.value_or(QString())));
    // In place, AppStream also checks that the launchable names an installed desktop entry.
    const QStringList arguments = {QStringLiteral("validate-tree"), QStringLiteral("--no-net"),
                                   QStringLiteral("--strict"), m_installDir.path()};
    const Run result = run(QStringLiteral("appstreamcli"), arguments);
    QVERIFY2(result.isOk(),
             qPrintable(describe(QStringLiteral("appstreamcli"), arguments, result)));
}

void TestInstall::referencesResolveInInstall_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("pixelSize"); // of a bitmap icon; empty when no bitmap

    const QString program = m_desktop.value(QStringLiteral("Exec")).section(QLatin1Char(' '), 0, 0);
    QTest::newRow("Exec") << QStringLiteral("bin/") + program << QSize();
    const QString icon = m_desktop.value(QStringLiteral("Icon"));
    QTest::newRow("Icon, scalable")
        << QStringLiteral("share/icons/hicolor/scalable/apps/%1.svg").arg(icon) << QSize();
    // Icon themes take the folder name for the size; a mismatch is drawn blurred or skipped.
    QTest::newRow("Icon, 256 px")
        << QStringLiteral("share/icons/hicolor/256x256/apps/%1.png").arg(icon) << QSize(256, 256);
    for (const QString &binary : m_metainfo.values(QStringLiteral("provides/binary")))
        QTest::newRow(qPrintable(QStringLiteral("provided ") + binary))
            << QStringLiteral("bin/") + binary << QSize();
}

void TestInstall::referencesResolveInInstall()
{
    QFETCH(QString, path);
    QFETCH(QSize, pixelSize);
    const std::optional<QString> error = installError();
    QVERIFY2(!error, qPrintable(error.value_or(QString())));

    const QString file = m_installDir.filePath(path);
    QVERIFY2(QFileInfo(file).isFile(), qPrintable(path + QStringLiteral(" not installed")));
    if (path.endsWith(QLatin1String(".svg"))) {
        QSvgRenderer svg(file);
        QVERIFY2(svg.isValid(), "Qt cannot draw the scalable icon");
        QCOMPARE(svg.defaultSize().width(), svg.defaultSize().height());
    }
    if (pixelSize.isValid()) {
        const QImage image(file);
        QVERIFY(!image.isNull());
        QCOMPARE(image.size(), pixelSize);
        QVERIFY(image.hasAlphaChannel());
    }
}

void TestInstall::packageFields_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<Match>("match");

    QTest::newRow("name") << QStringLiteral("Package") << QStringLiteral("voskan") << Match::Equals;
    QTest::newRow("version") << QStringLiteral("Version") << kVersion << Match::Version;
    QTest::newRow("section") << QStringLiteral("Section") << QStringLiteral("graphics")
                             << Match::Equals;
    // dpkg-shlibdeps finds the libraries the binaries link, so these follow the build.
    for (const char *library : {"libqt6widgets6", "libqt6gui6", "libqt6network6", "libqt6dbus6",
                                "libvips42", "libheif1", "libplist3"})
        QTest::newRow(library) << QStringLiteral("Depends") << QString::fromLatin1(library)
                               << Match::NamesPackage;
    // Loaded as a plugin, so it must be named by hand.
    QTest::newRow("libqt6svg6") << QStringLiteral("Depends") << QStringLiteral("libqt6svg6")
                                << Match::NamesPackage;
    // Run as programs, never linked.
    QTest::newRow("gsettings") << QStringLiteral("Recommends") << QStringLiteral("libglib2.0-bin")
                               << Match::NamesPackage;
    QTest::newRow("Wayland plugin")
        << QStringLiteral("Recommends") << QStringLiteral("qt6-wayland") << Match::NamesPackage;
}

void TestInstall::packageFields()
{
    QFETCH(QString, field);
    QFETCH(QString, expected);
    QFETCH(Match, match);
    if (VOSKAN_SANITIZED)
        QSKIP("A sanitizer build is not packaged.");
    const std::optional<QString> error = packageError();
    QVERIFY2(!error, qPrintable(error.value_or(QString())));

    QVERIFY2(m_control.contains(field), qPrintable(field + QStringLiteral(" missing")));
    const QString value = m_control.value(field);
    switch (match) {
    case Match::Equals:
        QCOMPARE(value, expected);
        break;
    case Match::Version:
        QVERIFY2(value == expected || value.startsWith(expected + QLatin1Char('-')),
                 qPrintable(value));
        break;
    case Match::NamesPackage:
        QVERIFY2(packageNames(value).contains(expected), qPrintable(field + ": " + value));
        break;
    }
}

void TestInstall::packageFiles_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("executable");
    for (const QString &path : kInstalledFiles)
        QTest::newRow(qPrintable(path))
            << QStringLiteral("usr/") + path << path.startsWith(QLatin1String("bin/"));
}

void TestInstall::packageFiles()
{
    QFETCH(QString, path);
    QFETCH(bool, executable);
    if (VOSKAN_SANITIZED)
        QSKIP("A sanitizer build is not packaged.");
    const std::optional<QString> error = packageError();
    QVERIFY2(!error, qPrintable(error.value_or(QString())));

    const QFileInfo file(QDir(m_packageRoot).filePath(path));
    QVERIFY2(file.isFile(), qPrintable(path));
    QVERIFY(file.size() > 0);
    QCOMPARE(file.isExecutable(), executable);
}

void TestInstall::packageHoldsNothingElse()
{
    if (VOSKAN_SANITIZED)
        QSKIP("A sanitizer build is not packaged.");
    const std::optional<QString> error = packageError();
    QVERIFY2(!error, qPrintable(error.value_or(QString())));

    QStringList expected;
    for (const QString &file : kInstalledFiles)
        expected.append(QStringLiteral("usr/") + file);
    QCOMPARE(filesBelow(m_packageRoot), sorted(expected));
}

void TestInstall::packagedBinaries_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("voskan") << QStringLiteral("usr/bin/voskan");
    QTest::newRow("voskan-render") << QStringLiteral("usr/bin/voskan-render");
}

void TestInstall::packagedBinaries()
{
    QFETCH(QString, path);
    if (VOSKAN_SANITIZED)
        QSKIP("A sanitizer build is not packaged.");
    const std::optional<QString> error = packageError();
    QVERIFY2(!error, qPrintable(error.value_or(QString())));

    const QString binary = QDir(m_packageRoot).filePath(path);
    // A search path left in would point into the build machine's tree.
    const QStringList dynamicArguments = {QStringLiteral("--dynamic"), QStringLiteral("--wide"),
                                          binary};
    const Run dynamic = run(QStringLiteral("readelf"), dynamicArguments);
    QVERIFY2(dynamic.isOk(),
             qPrintable(describe(QStringLiteral("readelf"), dynamicArguments, dynamic)));
    QVERIFY2(dynamic.output.contains(QLatin1String("(NEEDED)")), qPrintable(dynamic.output));
    QVERIFY2(!dynamic.output.contains(QLatin1String("(RUNPATH)")), qPrintable(dynamic.output));
    QVERIFY2(!dynamic.output.contains(QLatin1String("(RPATH)")), qPrintable(dynamic.output));

    // Stripped: no symbol table and no debug sections.
    const QStringList sectionArguments = {QStringLiteral("--section-headers"),
                                          QStringLiteral("--wide"), binary};
    const Run sections = run(QStringLiteral("readelf"), sectionArguments);
    QVERIFY2(sections.isOk(),
             qPrintable(describe(QStringLiteral("readelf"), sectionArguments, sections)));
    QVERIFY2(sections.output.contains(QLatin1String(".dynsym")), qPrintable(sections.output));
    QVERIFY2(!sections.output.contains(QLatin1String(".symtab")), qPrintable(sections.output));
    QVERIFY2(!sections.output.contains(QLatin1String(".debug_")), qPrintable(sections.output));
}

QTEST_MAIN(TestInstall)
#include "tst_install.moc"
