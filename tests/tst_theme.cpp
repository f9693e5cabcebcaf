// The window in the desktop's colour scheme and with the desktop's file dialogs. The real portal
// runs on a private bus: its GTK backend reads the scheme from a scratch GSettings keyfile
// beside a headless X server, and the file dialog a backend would show is played by the test.
// Without a portal, the real gsettings, or Plasma's colour file, tell the scheme.

#include "desktop/backends/desktopbackends.h"
#include "support/rows.h"
#include "support/scratch.h"
#include "support/window.h"
#include "ui/desktoptheme.h"
#include "ui/previewpane.h"
#include "ui/statuscapsule.h"
#include "ui/updateprompt.h"
#include "update/updaterviewmodel.h"

#include <QtDBus>

#include <cstdio>

namespace {

const QString kChooser = QStringLiteral("org.freedesktop.impl.portal.desktop.voskantest");

// The file dialog of the portal's backend: notes what the portal asked it and gives the answer
// the test chose. It answers on a thread of its own, as a backend answers from a process of its
// own while the window waits.
class FakeFileChooser : public QDBusVirtualObject
{
public:
    QMutex mutex;
    QStringList asked; // one line a call: method, title, folder, name, filters
    uint response = 0; // 0 the file chosen, 1 cancelled, 2 failed
    QString chosen;

    QString introspect(const QString &) const override { return {}; }
    bool handleMessage(const QDBusMessage &call, const QDBusConnection &bus) override
    {
        if (call.interface() != QLatin1String("org.freedesktop.impl.portal.FileChooser"))
            return false;
        // The handle, the program's id, the parent window, the title, the options.
        const QVariantMap options = qdbus_cast<QVariantMap>(call.arguments().value(4));
        using Patterns = QList<std::pair<uint, QString>>; // 0 a glob, 1 a MIME type
        QStringList filters;
        for (const auto &[name, patterns] :
             qdbus_cast<QList<std::pair<QString, Patterns>>>(options.value("filters"))) {
            QStringList globs;
            for (const auto &[kind, pattern] : patterns)
                globs << (kind == 0 ? pattern : "(MIME) " + pattern);
            filters << name + ": " + globs.join(' ');
        }
        const QMutexLocker lock(&mutex);
        asked << QStringList{call.member(),
                             call.arguments().value(3).toString(),
                             QString::fromUtf8(options.value("current_folder").toByteArray()),
                             options.value("current_name").toString(),
                             options.value("modal").toBool() ? "modal" : "not modal",
                             filters.join(" | ")}
                     .join(" ‖ ");
        QVariantMap results;
        if (response == 0)
            results.insert("uris", QStringList{QUrl::fromLocalFile(chosen).toString()});
        return bus.send(call.createReply({response, results}));
    }
};

// The parts of the window whose ground is not the scheme's, or whose text or icon does not stand
// out of it (WCAG: 4.5 for text, 3 for an icon), each as it draws itself.
QString unreadable(Window &w, bool dark)
{
    w.model.setStatusMessage(QStringLiteral("Als dynamisches Wallpaper gesetzt."));
    // The half of „Hell“/„Dunkel“ not chosen stands on the palette's button colour.
    const char *unchosen =
        w.model.editing() == Appearance::Light ? "appearance_dark" : "appearance_light";
    auto *pane = w.find<PreviewPane>();
    const QList<std::tuple<QString, QImage, double>> parts{
        {"Vorschau", pane->grab(QRect(0, 0, pane->width(), 8)).toImage(), 1},
        {"Statuskapsel", w.find<StatusCapsule>()->grab().toImage(), 4.5},
        {"Hell/Dunkel", w.find(unchosen)->grab().toImage(), 4.5},
        {"Kopieren", w.find("copyLookButton")->grab().toImage(), 3},
        {"Symbol ohne Bild", w.find("emptySymbol")->grab().toImage(), 3},
        // small print, at Fusion's light 3.9
        {"Fotos von Unsplash", w.find("unsplashLink")->grab().toImage(), 3.5}};
    QStringList wrong;
    for (const auto &[name, image, least] : parts)
        if ((luminance(ground(image)) < 0.3) != dark || contrast(image) < least)
            wrong << QStringLiteral("%1 (%2, %3)")
                         .arg(name, QColor(ground(image)).name())
                         .arg(contrast(image), 0, 'f', 1);
    return wrong.join(", ");
}

// How the box's pictogram is drawn: "" without one, "grau hell" or "grau dunkel" in one grey,
// "bunt" with colours (as Qt's yellow warning triangle has).
QString pictogram(const QMessageBox *box)
{
    const QImage image = box->iconPixmap().toImage().convertToFormat(QImage::Format_ARGB32);
    if (image.isNull())
        return {};
    double lightest = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.alpha() < 128)
                continue;
            if (std::max({c.red(), c.green(), c.blue()}) -
                    std::min({c.red(), c.green(), c.blue()}) >
                12)
                return QStringLiteral("bunt");
            lightest = std::max(lightest, luminance(c.rgb()));
        }
    return lightest > 0.3 ? QStringLiteral("grau hell") : QStringLiteral("grau dunkel");
}

} // namespace

class TestTheme : public QObject
{
    Q_OBJECT

    QTemporaryDir m_home;
    QThread m_chooserThread;
    FakeFileChooser m_chooser;
    Stopping m_display, m_bus, m_gtkPortal, m_portal; // the last started ends first

    QString path(const QString &relative) const { return m_home.filePath(relative); }

    // The portal on the bus, or not.
    void setPortal(bool running)
    {
        if (running == (m_portal.state() != QProcess::NotRunning))
            return;
        if (!running) {
            stop(m_portal);
            QTRY_VERIFY_WITH_TIMEOUT(!onBus("org.freedesktop.portal.Desktop"), 10000);
            return;
        }
        // It picks its backends by the desktop: GTK's for the scheme, the test's for dialogs.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_CURRENT_DESKTOP", "voskantest");
        environment.insert("XDG_DESKTOP_PORTAL_DIR", path("portals"));
        m_portal.setProcessEnvironment(environment);
        QVERIFY(startProcess(m_portal, "/usr/libexec/xdg-desktop-portal"));
        QTRY_VERIFY_WITH_TIMEOUT(onBus("org.freedesktop.portal.Desktop"), 20000);
    }

    // The scheme where `desktop` keeps it: GNOME's key, which the portal's GTK backend reads, or
    // Plasma's window colour, written as Plasma writes it (a new file renamed over the old). Once
    // the portal, where it runs, tells the new scheme.
    void setScheme(const QString &desktop, bool dark)
    {
        if (desktop == "KDE") {
            const QString file = path("XDG_CONFIG_HOME/kdeglobals");
            const QByteArray window = dark ? "32,35,38" : "239,240,241";
            QVERIFY(!writeFile(file + ".new", "[Colors:Window]\nBackgroundNormal=" + window + '\n')
                         .isEmpty());
            QCOMPARE(std::rename(qPrintable(file + ".new"), qPrintable(file)), 0);
            return;
        }
        QCOMPARE(QProcess::execute("gsettings", {"set", "org.gnome.desktop.interface",
                                                 "color-scheme", dark ? "prefer-dark" : "default"}),
                 0);
        if (onBus("org.freedesktop.portal.Desktop"))
            QTRY_COMPARE_WITH_TIMEOUT(portalPrefersDark(), dark, 10000);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_home.isValid());
        TestData::useScratchHome(m_home.path());
        QVERIFY(!writeFile(path("XDG_CONFIG_HOME/user-dirs.dirs"),
                           "XDG_PICTURES_DIR=\"" + path("Bilder").toUtf8() + "\"\n")
                     .isEmpty());
        QVERIFY(QDir().mkpath(path("Bilder")));
        QVERIFY(!writeFile(path("portals/gtk.portal"),
                           "[portal]\nDBusName=org.freedesktop.impl.portal.desktop.gtk\n"
                           "Interfaces=org.freedesktop.impl.portal.Settings;\nUseIn=voskantest\n")
                     .isEmpty());
        QVERIFY(!writeFile(path("portals/voskantest.portal"),
                           "[portal]\nDBusName=" + kChooser.toUtf8() +
                               "\nInterfaces=org.freedesktop.impl.portal.FileChooser;\n"
                               "UseIn=voskantest\n")
                     .isEmpty());
        m_display.start("Xvfb", {"-displayfd", "1", "-nolisten", "tcp"});
        QVERIFY2(m_display.waitForReadyRead(20000), "Xvfb (Debian: xvfb) did not start");
        qputenv("DISPLAY", ':' + m_display.readAllStandardOutput().trimmed());
        const QByteArray address = startSessionBus(m_bus, path("bus.conf"));
        QVERIFY(!address.isEmpty());
        m_chooser.moveToThread(&m_chooserThread);
        m_chooserThread.start();
        QDBusConnection chooser = QDBusConnection::connectToBus(address, "chooser");
        QVERIFY(chooser.registerService(kChooser));
        QVERIFY(chooser.registerVirtualObject("/org/freedesktop/portal/desktop", &m_chooser));
        QVERIFY(startProcess(m_gtkPortal, "/usr/libexec/xdg-desktop-portal-gtk"));
        QTRY_VERIFY_WITH_TIMEOUT(onBus("org.freedesktop.impl.portal.desktop.gtk"), 20000);
    }

    void init() { QSettings(QStringLiteral("Voskan"), QStringLiteral("Voskan")).clear(); }

    void cleanupTestCase()
    {
        QDBusConnection::disconnectFromBus("chooser");
        m_chooserThread.quit();
        m_chooserThread.wait();
    }

    void followsTheScheme_data()
    {
        addColumns<QString, bool>({"desktop", "portal"});
        QTest::newRow("the portal, GTK's backend reading GNOME's key") << "GNOME" << true;
        QTest::newRow("no portal: GNOME's key") << "GNOME" << false;
        QTest::newRow("no portal: Plasma's colours") << "KDE" << false;
    }

    // Dark when the desktop says so and light again when it says light, while it runs; made
    // while the desktop is dark, dark from the start.
    void followsTheScheme()
    {
        FETCH((QString, desktop), (bool, portal));
        const auto session = withEnv("XDG_CURRENT_DESKTOP", desktop.toUtf8());
        setPortal(portal);
        setScheme(desktop, false);
        {
            Window w;
            QVERIFY(w.open());
            QTRY_COMPARE(unreadable(w, false), QString()); // the capsule comes in
            for (const bool dark : {true, false}) {
                setScheme(desktop, dark);
                QTRY_COMPARE_WITH_TIMEOUT(unreadable(w, dark), QString(), 10000);
            }
        }
        setScheme(desktop, true);
        Window w;
        QVERIFY(w.open());
        QTRY_COMPARE(unreadable(w, true), QString());
        setScheme(desktop, false);
    }

    void fileDialogs_data()
    {
        // portal: the answer of the portal's dialog (0 a file, 1 cancelled, 2 failed), or none
        // on the bus, or Qt's own dialogs asked for; qt: whether Qt's dialog shows then
        addColumns<QString, QString, bool>({"dialog", "portal", "qt"});
        // clang-format off
        QTest::newRow("open, chosen") << "open" << "0" << false;
        QTest::newRow("export, chosen, no suffix typed") << "export" << "0" << false;
        QTest::newRow("open, cancelled") << "open" << "1" << false;
        QTest::newRow("export, the portal's dialog failed") << "export" << "2" << true;
        QTest::newRow("open, no portal") << "open" << "none" << true;
        QTest::newRow("open, Qt's own dialogs asked for") << "open" << "Qt" << true;
        // clang-format on
    }

    void fileDialogs()
    {
        FETCH((QString, dialog, portal), (bool, qt));
        setPortal(portal != "none");
        QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs, portal == "Qt");
        const auto native =
            qScopeGuard([] { QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs, false); });
        const bool open = dialog == "open";
        const QString pictures = path("Bilder");
        const QString chosen = pictures + (open ? "/Foto.jpg" : "/Mein Wallpaper");
        QFile::remove(chosen);
        QFile::remove(chosen + ".heic");
        QVERIFY(!open || QFile::copy(Window::kPhoto, chosen));
        {
            const QMutexLocker lock(&m_chooser.mutex);
            m_chooser.asked.clear();
            m_chooser.response = portal.toUInt();
            m_chooser.chosen = chosen;
        }
        Window w;
        QVERIFY(w.open());
        setCustomSize(w.model, 64, 40);
        QString shown; // Qt's dialog, when it shows
        QTimer answer;
        connect(&answer, &QTimer::timeout, [&shown] {
            if (auto *qtDialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget())) {
                shown = qtDialog->objectName();
                qtDialog->reject();
            }
        });
        answer.start(10);
        const QString offered = w.model.exportFileName("heic");
        QTest::keyClick(&w.window, open ? Qt::Key_O : Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(shown, qt ? QString(open ? "openImagePanel" : "exportPanel") : QString());
        const QStringList asked = [this] {
            const QMutexLocker lock(&m_chooser.mutex);
            return m_chooser.asked;
        }();
        // Portals before version 4 of the file chooser (Debian 12's) open a file where they like.
        QDBusInterface properties("org.freedesktop.portal.Desktop",
                                  "/org/freedesktop/portal/desktop",
                                  "org.freedesktop.DBus.Properties");
        const QDBusReply<QDBusVariant> version =
            properties.call("Get", "org.freedesktop.portal.FileChooser", "version");
        const QString folder =
            open && version.value().variant().toUInt() < 4 ? QString() : pictures + QChar(0);
        const QString expected =
            open ? "OpenFile ‖ Bild öffnen ‖ " + folder + " ‖  ‖ modal ‖ Bilder: "
                 : "SaveFile ‖ Als HEIC exportieren ‖ " + folder + " ‖ " + offered +
                       " ‖ modal ‖ HEIC-Bild: *.heic";
        QCOMPARE(asked.size(), int(portal == "0" || portal == "1" || portal == "2"));
        if (!asked.isEmpty()) {
            QVERIFY2(asked[0].startsWith(expected), qPrintable(asked[0]));
            QVERIFY2(!open || (asked[0].contains(" *.JPG ") && asked[0].contains(" *.heic ") &&
                               asked[0].endsWith(" | Alle Dateien: *")),
                     qPrintable(asked[0]));
        }
        // The file chosen is the one opened, or the one written, with its suffix.
        const bool picked = portal == "0";
        if (picked && open)
            QTRY_COMPARE(w.model.recentFiles().constFirst(), chosen);
        else
            QCOMPARE(w.model.recentFiles(), QStringList{Window::kPhoto});
        if (picked && !open)
            QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(chosen + ".heic").size() > 0, 20000);
    }

    void messageBoxes_data()
    {
        QTest::addColumn<QString>("box");
        QTest::newRow("the alert „Fehler“") << "alert";
        QTest::newRow("replacing a file") << "replace";
        QTest::newRow("an update check failed") << "update failed";
        QTest::newRow("an update available") << "update";
    }

    // None of Qt's standard pictograms: the theme's symbolic one in the text colour, following
    // a switch of the scheme while the box is open, and none where the theme has none.
    void messageBoxes()
    {
        QFETCH(QString, box);
        using Outcome = UpdateCheckResult::Outcome;
        setPortal(true);
        QIcon::setThemeSearchPaths({"/usr/share/icons"});
        const auto noTheme = qScopeGuard([] { QIcon::setThemeName(QString()); });
        const QString chosen = path("Bilder/Mein Wallpaper");
        {
            const QMutexLocker lock(&m_chooser.mutex);
            m_chooser.response = 0;
            m_chooser.chosen = chosen;
        }
        QVERIFY(!writeFile(chosen + ".heic", "alt").isEmpty());
        for (const QString theme : {"Adwaita", ""}) {
            QIcon::setThemeName(theme);
            Window w;
            QVERIFY(w.open());
            QStringList seen;
            QTimer answer;
            connect(&answer, &QTimer::timeout, [&seen, &answer] {
                auto *shown = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
                if (!shown)
                    return;
                answer.stop();
                seen << pictogram(shown);
                applyColorScheme(true);
                QCoreApplication::processEvents(); // the palette reaches the widgets
                seen << pictogram(shown);
                applyColorScheme(false);
                QTest::keyClick(shown, Qt::Key_Escape);
            });
            answer.start(10);
            if (box == "alert")
                w.model.setErrorMessage(QStringLiteral("Das ging nicht."));
            else if (box == "replace")
                QTest::keyClick(&w.window, Qt::Key_S, Qt::ControlModifier);
            else
                UpdatePrompt::showResult(
                    {box == "update" ? Outcome::UpdateAvailable : Outcome::Failed,
                     false,
                     "9.0",
                     {},
                     "Keine Verbindung."},
                    &w.window);
            QTRY_COMPARE(seen.size(), 2);
            QCOMPARE(seen, (theme.isEmpty() ? QStringList(2, QString())
                                            : QStringList{"grau dunkel", "grau hell"}));
        }
        QCOMPARE(contents(chosen + ".heic"), "alt"); // Escape: not replaced
    }
};

QTEST_MAIN(TestTheme)
#include "tst_theme.moc"
