// The rooms of src/ include only the rooms below them, as the build's table says.

#include <QtTest>

// name=folder:uses,… — one room a line, written by src/CMakeLists.txt.
struct Room
{
    QString folder;
    QStringList uses; // room names
};

static QMap<QString, Room> readRooms()
{
    QFile file(VOSKAN_ROOMS_FILE);
    QMap<QString, Room> rooms;
    if (!file.open(QIODevice::ReadOnly))
        return rooms;
    for (const QByteArray &line : file.readAll().split('\n')) {
        const QString text = QString::fromUtf8(line);
        const qsizetype equals = text.indexOf(u'='), colon = text.indexOf(u':');
        if (equals > 0 && colon > equals)
            rooms.insert(text.left(equals), {text.mid(equals + 1, colon - equals - 1),
                                             text.mid(colon + 1).split(u',', Qt::SkipEmptyParts)});
    }
    return rooms;
}

// The room of a path below src/: the one with the longest folder it lies in.
static QString roomOf(const QMap<QString, Room> &rooms, const QString &path)
{
    QString best;
    for (auto room = rooms.begin(); room != rooms.end(); ++room)
        if (path.startsWith(room->folder + u'/') &&
            (best.isEmpty() || room->folder.size() > rooms[best].folder.size()))
            best = room.key();
    return best;
}

// Every upward or sideways include of the room's files: "file → header (room)"; of the room
// "", every file in no room at all (a new folder needs its row in the table).
static QStringList strayIncludes(const QMap<QString, Room> &rooms, const QString &name)
{
    const QDir src(VOSKAN_SOURCE_DIR);
    const QRegularExpression include(QStringLiteral("^\\s*#\\s*include\\s*\"([^\"]+)\""),
                                     QRegularExpression::MultilineOption);
    QStringList stray;
    QDirIterator files(name.isEmpty() ? src.path() : src.filePath(rooms[name].folder),
                       {"*.h", "*.cpp"}, QDir::Files, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString path = src.relativeFilePath(files.next());
        if (roomOf(rooms, path) != name)
            continue; // a room of its own below this folder
        if (name.isEmpty()) {
            stray << path;
            continue;
        }
        QFile file(src.filePath(path));
        if (!file.open(QIODevice::ReadOnly))
            stray << path + " (unreadable)";
        auto matches = include.globalMatch(QString::fromUtf8(file.readAll()));
        while (matches.hasNext()) {
            QString header = matches.next().captured(1);
            if (!src.exists(header)) // beside the file, as "pictureuri.h"
                header = QDir::cleanPath(QFileInfo(path).path() + u'/' + header);
            const QString room = roomOf(rooms, header);
            if (!src.exists(header) || room.isEmpty() || room == name)
                continue; // a generated .moc, or the room's own
            if (!rooms[name].uses.contains(room))
                stray << path + " → " + header + " (" + room + ")";
        }
    }
    return stray;
}

class TestLayers : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void includesOnlyTheFloorsBelow_data()
    {
        QTest::addColumn<QString>("room");
        const QMap<QString, Room> rooms = readRooms();
        QVERIFY2(rooms.size() > 10, VOSKAN_ROOMS_FILE);
        for (const QString &room : rooms.keys())
            QTest::newRow(qPrintable(room)) << room;
        QTest::newRow("no room") << QString();
    }
    void includesOnlyTheFloorsBelow()
    {
        QFETCH(QString, room);
        const QStringList stray = strayIncludes(readRooms(), room);
        QVERIFY2(stray.isEmpty(), qPrintable(stray.join(u'\n')));
    }

    // The table itself has no loop: each room's uses lie on floors below it.
    void floorsHaveNoLoop()
    {
        const QMap<QString, Room> rooms = readRooms();
        QMap<QString, int> floor; // 0 on the ground; around a loop it grows every round
        for (int round = 0; round <= rooms.size(); ++round)
            for (auto room = rooms.begin(); room != rooms.end(); ++room)
                for (const QString &used : room->uses) {
                    QVERIFY2(rooms.contains(used), qPrintable(room.key() + " uses " + used));
                    floor[room.key()] = std::max(floor[room.key()], floor[used] + 1);
                }
        for (auto room = rooms.begin(); room != rooms.end(); ++room)
            for (const QString &used : room->uses)
                QVERIFY2(floor[used] < floor[room.key()],
                         qPrintable(room.key() + " and " + used + " use each other"));
    }
};

QTEST_GUILESS_MAIN(TestLayers)
#include "tst_layers.moc"
