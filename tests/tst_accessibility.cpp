// What a screen reader reads of the window, read the way it reads it: over AT-SPI, from the
// registry's desktop down to each chooser, with the bus launcher and the registry of at-spi2-core.

#include "support/rows.h"
#include "support/window.h"

#include <QtDBus>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace {

// Set in the run inside the test's own session: that session's scratch folder.
constexpr char kSession[] = "VOSKAN_ATSPI_SESSION";
// Set where that session could not be made: what is missing.
constexpr char kMissing[] = "VOSKAN_ATSPI_MISSING";

const QString kAccessible = QStringLiteral("org.a11y.atspi.Accessible");
enum State { Focused = 12, Selected = 23, Showing = 25 }; // AtspiStateType

// An object on the accessibility bus, as a screen reader addresses it.
struct Node
{
    QString service, path;
};

// A screen reader's side of the bus: its questions, and the events it is sent.
class Reader : public QObject
{
    Q_OBJECT

public:
    explicit Reader(const QString &address)
        : m_bus(QDBusConnection::connectToBus(address, QStringLiteral("reader")))
    {
        m_bus.connect({}, {}, QStringLiteral("org.a11y.atspi.Event.Object"),
                      QStringLiteral("TextChanged"), this, SLOT(record(QDBusMessage)));
    }
    ~Reader() override { QDBusConnection::disconnectFromBus(m_bus.name()); }

    bool isConnected() const { return m_bus.isConnected(); }

    QDBusMessage call(const Node &node, const QString &interface, const QString &method,
                      const QVariantList &arguments = {}) const
    {
        QDBusMessage message =
            QDBusMessage::createMethodCall(node.service, node.path, interface, method);
        message.setArguments(arguments);
        // The window answers from this very thread: it goes on being served while we wait.
        return m_bus.call(message, QDBus::BlockWithGui, 20000);
    }

    QVariant answer(const Node &node, const QString &interface, const QString &method,
                    const QVariantList &arguments = {}) const
    {
        return call(node, interface, method, arguments).arguments().value(0);
    }
    QVariant property(const Node &node, const QString &name) const
    {
        return answer(node, "org.freedesktop.DBus.Properties", "Get", {kAccessible, name})
            .value<QDBusVariant>()
            .variant();
    }
    QString name(const Node &node) const { return property(node, "Name").toString(); }
    QString role(const Node &node) const
    {
        return answer(node, kAccessible, "GetRoleName").toString();
    }
    bool is(const Node &node, State state) const
    {
        const auto words = qdbus_cast<QList<uint>>(answer(node, kAccessible, "GetState"));
        return words.size() == 2 && (words.at(state / 32) >> (state % 32) & 1U);
    }
    using Reference = std::pair<QString, QDBusObjectPath>;
    QString parentPath(const Node &node) const
    {
        return qdbus_cast<Reference>(property(node, "Parent")).second.path();
    }
    QList<Node> children(const Node &node) const
    {
        QList<Node> nodes;
        for (const auto &[service, path] :
             qdbus_cast<QList<Reference>>(answer(node, kAccessible, "GetChildren")))
            nodes << Node{service, path.path()};
        return nodes;
    }
    // All of its text, as the Text interface gives it; an error names what it lacks.
    QString text(const Node &node) const
    {
        const QDBusMessage reply =
            call(node, QStringLiteral("org.a11y.atspi.Text"), QStringLiteral("GetText"), {0, -1});
        return reply.type() == QDBusMessage::ReplyMessage ? reply.arguments().value(0).toString()
                                                          : "(" + reply.errorName() + ")";
    }
    // The names of the selected items of its list.
    QStringList selected(const Node &combo) const
    {
        QStringList names;
        for (const Node &list : children(combo))
            if (role(list) == QLatin1String("list"))
                for (const Node &item : children(list))
                    if (is(item, Selected))
                        names << name(item);
        return names;
    }
    // The showing objects of that role and name under `root`. Lists are not entered: the strips
    // of thumbnails are long, and what is looked for is no list item.
    QList<Node> find(const Node &root, const QString &role, const QString &name) const
    {
        QList<Node> found;
        for (const Node &child : children(root)) {
            const QString is = this->role(child);
            if (is == role && this->name(child) == name && this->is(child, Showing))
                found << child;
            else if (is != QLatin1String("list") && is != QLatin1String("table"))
                found += find(child, role, name);
        }
        return found;
    }
    // The text last inserted into the object, as a screen reader hears a field change.
    QString lastInserted(const Node &node) const
    {
        for (auto event = m_events.crbegin(); event != m_events.crend(); ++event)
            if (event->service() == node.service && event->path() == node.path &&
                event->arguments().value(0).toString() == QLatin1String("insert"))
                return event->arguments().value(3).value<QDBusVariant>().variant().toString();
        return {};
    }
    void forgetEvents() { m_events.clear(); }

private Q_SLOTS:
    void record(const QDBusMessage &event) { m_events << event; }

private:
    QDBusConnection m_bus;
    QList<QDBusMessage> m_events;
};

// A key, with its modifiers, as the keyboard gives it to the window: to an open list, else to
// whatever has the keyboard there.
void press(QWidget *window, int key)
{
    QTest::keyClick(window->windowHandle(), Qt::Key(key & ~Qt::KeyboardModifierMask),
                    Qt::KeyboardModifiers(key & Qt::KeyboardModifierMask));
}

// The keys (modifiers aside) that reach a widget. The bridge holds each key until the registry
// has shown it to the screen readers, which may take it for themselves; it reaches the window only
// then.
struct KeyCount : QObject
{
    qsizetype presses = 0;
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::KeyPress)
            presses +=
                !QSet<int>{Qt::Key_Shift, Qt::Key_Control, Qt::Key_Alt, Qt::Key_Meta}.contains(
                    static_cast<QKeyEvent *>(event)->key());
        return false;
    }
};

} // namespace

class TestAccessibility : public QObject
{
    Q_OBJECT

    std::unique_ptr<Reader> m_reader;
    Node m_app;

private Q_SLOTS:
    void initTestCase()
    {
        if (qEnvironmentVariableIsSet(kMissing))
            QSKIP(qPrintable("Ohne " + qEnvironmentVariable(kMissing) + " kein AT-SPI-Test"));
        // The session bus is dbus-run-session's own, not a user's: it stays.
        const QByteArray bus = qgetenv("DBUS_SESSION_BUS_ADDRESS");
        TestData::useScratchHome(qEnvironmentVariable(kSession));
        qputenv("DBUS_SESSION_BUS_ADDRESS", bus);
        // A list that rolls open takes the keys only once it is open; the test types at once.
        QApplication::setEffectEnabled(Qt::UI_AnimateCombo, false);
        // As Qt and every screen reader find the accessibility bus: asked of the session bus,
        // which starts at-spi-bus-launcher.
        const QDBusMessage address =
            QDBusConnection::sessionBus().call(QDBusMessage::createMethodCall(
                "org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress"));
        if (address.type() != QDBusMessage::ReplyMessage)
            QSKIP(qPrintable("at-spi-bus-launcher (Debian: at-spi2-core) startet nicht: " +
                             address.errorMessage()));
        m_reader = std::make_unique<Reader>(address.arguments().value(0).toString());
        QVERIFY(m_reader->isConnected());
        // Qt sends only the events someone is registered for with the registry.
        const Node registry{"org.a11y.atspi.Registry", "/org/a11y/atspi/registry"};
        const QDBusMessage registered = m_reader->call(
            registry, "org.a11y.atspi.Registry", "RegisterEvent", {QStringLiteral("object:")});
        QVERIFY2(registered.type() == QDBusMessage::ReplyMessage,
                 qPrintable(registered.errorMessage()));
        // The application joins the registry's desktop once its bridge is on the bus.
        Window w;
        const Node desktop{"org.a11y.atspi.Registry", "/org/a11y/atspi/accessible/root"};
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                for (const Node &app : m_reader->children(desktop))
                    if (m_reader->name(app) == QGuiApplication::applicationDisplayName())
                        m_app = app;
                return !m_app.service.isEmpty();
            }(),
            20000);
    }

    void init() { QSettings(QStringLiteral("Voskan"), QStringLiteral("Voskan")).clear(); }

    void choosers_data()
    {
        // name: the chooser's label; prepare: "Fotos" (the photo library connected there),
        // "Flow" (the style set by the look, not by the chooser) or nothing; keys: with their
        // modifiers; before, after: its value.
        addColumns<QString, QString, QString, QList<int>, QString, QString>(
            {"name", "object", "prepare", "keys", "before", "after"});
        using K = Qt::Key;
        // clang-format off
        QTest::newRow("Quelle") << "Quelle" << "sourcePicker" << "" << QList<int>{K::Key_Down} << "Dateien" << "Fotos";
        QTest::newRow("Stil, set by the look first") << "Stil" << "stylePicker" << "Flow" << QList<int>{K::Key_Down} << "Flow" << "Spiegel";
        QTest::newRow("Stil, its list walked and left with Escape") << "Stil" << "stylePicker" << "" << QList<int>{K::Key_Space, K::Key_Down, K::Key_Escape} << "Blur" << "Blur";
        QTest::newRow("Stil, chosen in its list") << "Stil" << "stylePicker" << "" << QList<int>{(Qt::AltModifier | K::Key_Down).toCombined(), K::Key_End, K::Key_Return} << "Blur" << "Spiegel";
        QTest::newRow("Format") << "Format" << "formatPicker" << "" << QList<int>{K::Key_Down, K::Key_Down} << "Hell und Dunkel" << "Tagesverlauf, 8 Bilder";
        QTest::newRow("Auflösung") << "Auflösung" << "presetPicker" << "" << QList<int>{K::Key_Down} << "Dieser Bildschirm — 1920 × 1200" << "Pro Display XDR — 6016 × 3384";
        QTest::newRow("Album") << "Album" << "albumPicker" << "Fotos" << QList<int>{K::Key_Down} << "Alle Fotos" << "Urlaub";
        // clang-format on
    }

    // A chooser is heard by its label, and its value both as its text and as the selected item
    // of its list, before and after it is changed from the keyboard; the change is announced.
    void choosers()
    {
        FETCH((QString, name, object, prepare, before, after), (QList<int>, keys));
        QTemporaryDir pictures;
        QVERIFY(QDir(pictures.path()).mkdir(QStringLiteral("Urlaub")));
        QVERIFY(QFile::copy(Window::kPhoto, pictures.filePath(QStringLiteral("Urlaub/Weg.jpg"))));
        auto photos = std::make_shared<PhotoLibrary>(pictures.path());
        photos->setPrompt([](const QString &) { return true; }); // "Erlauben"
        Window w(photos);
        auto *box = w.find<QComboBox>(qPrintable(object));
        if (prepare == QLatin1String("Fotos")) {
            w.model.sourceKindBinding().setValue(SourceKind::Photos);
            w.model.requestPhotosAccess();
            QTRY_COMPARE(box->count(), 2);
        } else if (prepare == QLatin1String("Flow")) {
            w.model.bind(&Look::style).setValue(WallpaperStyle::Flow);
        }
        box->setFocus();
        Reader &reader = *m_reader;
        const QList<Node> found = reader.find(m_app, QStringLiteral("combo box"), name);
        QCOMPARE(found.size(), 1);
        const Node &chooser = found.constFirst();
        QVERIFY(reader.is(chooser, Focused)); // the one the keys go to
        QCOMPARE(reader.text(chooser), before);
        QCOMPARE(reader.selected(chooser), QStringList{before});
        // Up from its list, as from an entry of the open list, a screen reader finds the chooser.
        QCOMPARE(reader.parentPath(reader.children(chooser).value(0)), chooser.path);
        reader.forgetEvents();
        KeyCount delivered;
        box->installEventFilter(&delivered);
        box->view()->installEventFilter(&delivered);

        // One key after the other has reached the window, as a person types: Escape closes an
        // open list as soon as it is pressed, before the keys the bridge still holds.
        for (const int key : std::as_const(keys)) {
            const qsizetype reached = delivered.presses;
            press(&w.window, key);
            QTRY_COMPARE(delivered.presses, reached + 1);
        }
        QCOMPARE(reader.text(chooser), after);
        QCOMPARE(reader.selected(chooser), QStringList{after});
        if (after != before)
            QTRY_COMPARE(reader.lastInserted(chooser), after);
    }
};

// Qt speaks AT-SPI only from its X11 platform, and finds the accessibility bus on the session bus
// as the application starts. So the test runs itself again inside a display and a session bus of
// its own, where the bus launcher and the registry start on demand as in a desktop session; its
// HOME and XDG_RUNTIME_DIR, which those daemons inherit, are a scratch folder.
int main(int argc, char *argv[])
{
    if (!qEnvironmentVariableIsSet(kSession) && !qEnvironmentVariableIsSet(kMissing)) {
        const char *missing =
            QStandardPaths::findExecutable(QStringLiteral("xvfb-run")).isEmpty()
                ? "xvfb-run (Debian: xvfb)"
            : QStandardPaths::findExecutable(QStringLiteral("dbus-run-session")).isEmpty()
                ? "dbus-run-session (Debian: dbus-daemon)"
                : nullptr;
        char self[PATH_MAX] = {};
        char scratch[] = "/tmp/voskan-atspi-XXXXXX";
        if (!missing &&
            (::readlink("/proc/self/exe", self, sizeof self - 1) <= 0 || !::mkdtemp(scratch)))
            missing = "einen eigenen Ordner in /tmp";
        if (!missing) {
            for (const char *name : {kSession, "HOME", "XDG_RUNTIME_DIR"})
                qputenv(name, scratch);
            std::vector<char *> command;
            for (const char *word : {"xvfb-run", "-a", "-s", "-screen 0 1920x1200x24 -nolisten tcp",
                                     "dbus-run-session", "--"})
                command.push_back(const_cast<char *>(word));
            command.push_back(self);
            command.insert(command.end(), argv + 1, argv + argc);
            command.push_back(nullptr);
            ::execvp(command.front(), command.data());
            qFatal("xvfb-run startet nicht: %s", std::strerror(errno));
        }
        qputenv(kMissing, missing);
    }
    qputenv("QT_QPA_PLATFORM", qEnvironmentVariableIsSet(kSession) ? "xcb" : "offscreen");
    qputenv("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");
    int status = 0;
    {
        QApplication app(argc, argv);
        TestAccessibility test;
        status = QTest::qExec(&test, argc, argv);
    }
    if (const QString scratch = qEnvironmentVariable(kSession); !scratch.isEmpty())
        QDir(scratch).removeRecursively();
    return status;
}

#include "tst_accessibility.moc"
