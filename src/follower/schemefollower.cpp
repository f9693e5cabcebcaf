#include "schemefollower.h"

#include "day/dayschedule.h"
#include "desktop/backends/desktopbackends.h"
#include "desktop/backends/followerprogram.h"
#include "desktop/dayfile.h"
#include "files/regularfile.h"

#include <QDBusConnection>
#include <QDBusVariant>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QProcess>

namespace {

const QString kBusName = QStringLiteral("de.voskan.Voskan.Follower");

// What the desktop shows stays as it is: on GNOME the slideshow of the day before goes round.
const QString kDayStops = QStringLiteral(" Was der Schreibtisch zeigt, bleibt; damit das Wallpaper "
                                         "wieder dem Tag folgt, setze es erneut als Schreibtisch.");

QString brokenDayText(const QString &dayFile)
{
    return QStringLiteral("Der Tag „%1“ fehlt oder ist beschädigt.").arg(dayFile) + kDayStops;
}

QString brokenPictureText(const QString &picture)
{
    return QStringLiteral("Das Bild „%1“ des Tages fehlt oder ist kein Bild.").arg(picture) +
           kDayStops;
}

// The size of the picture at `path` when a desktop can be handed it: a regular file that reads
// as an image. Whatever else stands under its name (a text, a folder, a FIFO that would hold
// the follower and then the desktop until someone writes to it) is no picture of the day.
std::optional<QSize> daySize(const QString &path)
{
    const RegularFile picture(path);
    QFile file;
    if (!picture.isOpen() ||
        !file.open(picture.descriptor(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
        return std::nullopt;
    const QSize size = QImageReader(&file).size();
    if (!size.isValid())
        return std::nullopt;
    return size;
}

} // namespace

QString followerAutostartFile()
{
    return userConfigFile(QStringLiteral("autostart/de.voskan.Voskan-follow.desktop"));
}

std::optional<QString> followerRefusal()
{
    const auto fault = desktopEntryProgramFault(followerProgram());
    if (!fault)
        return std::nullopt;
    return QStringLiteral("Die Anmeldung kann Voskan aus diesem Ordner nicht starten (sein Name "
                          "enthält %1), und ohne das folgt das Bild nicht dem hellen oder "
                          "dunklen Erscheinungsbild. Installiere Voskan bitte in einen anderen "
                          "Ordner.")
        .arg(*fault);
}

std::optional<QByteArray> followerAutostartEntry(const QString &program)
{
    if (desktopEntryProgramFault(program))
        return std::nullopt;
    return autostartEntry(QStringLiteral("Voskan Hell/Dunkel"),
                          QStringLiteral("Zeigt das Wallpaper passend zum hellen oder dunklen "
                                         "Erscheinungsbild"),
                          program, QStringLiteral("--follow"));
}

void updateSchemeFollower(bool desktopSwitches)
{
    const QString entry = followerAutostartFile();
    if (desktopSwitches) {
        QFile::remove(entry);
        return;
    }
    // A program the entry cannot name is not started either: the set was refused before it
    // came here (followerRefusal), and a follower without its entry would end with the session.
    const QString program = followerProgram();
    const std::optional<QByteArray> text = followerAutostartEntry(program);
    if (!text)
        return;
    // Without the entry the picture still follows until the session ends; the set stands.
    writeWholeFile(entry, *text);
    // Detached wholly: a caller reading our output (msg=$(voskan-render --set-desktop …))
    // must not wait for it, nor a folder it ran from stay busy until the session ends.
    QProcess follower;
    follower.setProgram(program);
    follower.setArguments({QStringLiteral("--follow")});
    follower.setWorkingDirectory(QStringLiteral("/"));
    follower.setStandardInputFile(QProcess::nullDevice());
    follower.setStandardOutputFile(QProcess::nullDevice());
    follower.setStandardErrorFile(QProcess::nullDevice());
    follower.startDetached();
}

SchemeFollower::SchemeFollower(const QProcessEnvironment &environment, QObject *parent)
    : QObject(parent),
      m_backend(makeDesktopBackend(environment, [this] { return m_scheme.isDark(); })),
      m_scheme(environment)
{
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, &SchemeFollower::filesChanged);
    connect(&m_clock, &DayClock::due, this, &SchemeFollower::apply);
    // The process that draws our picture ended by itself: it is started again.
    m_backend->watchPicture([this] {
        m_shown.clear();
        apply();
    });
}

SchemeFollower::~SchemeFollower()
{
    QDBusConnection::sessionBus().unregisterService(kBusName);
}

std::optional<QString> SchemeFollower::start(bool *quietly)
{
    *quietly = true;
    if (!recordedDay() && m_backend->switchesWithScheme())
        return QStringLiteral("Diese Arbeitsumgebung wechselt das Bild selbst.");
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        *quietly = false;
        return QStringLiteral("Ohne Sitzungsbus (D-Bus) lässt sich das Erscheinungsbild nicht "
                              "verfolgen.");
    }
    // The bus keeps the name for exactly as long as this process lives.
    if (!bus.registerService(kBusName))
        return QStringLiteral("Das Wallpaper wird bereits verfolgt.");
    if (!followed() && !recordedDay()) {
        QFile::remove(followerAutostartFile());
        return QStringLiteral("Kein Wallpaper von Voskan zu verfolgen.");
    }
    // The scheme read anew whenever it changes, also when the portal comes (back) on the bus.
    connect(&m_scheme, &ColorSchemeWatcher::darkChanged, this, [this] {
        if (!recordedDay()) // a day shows its pictures whatever the scheme
            apply();
    });
    // The bus ends with the session: so does the follower, or every login would leave one
    // behind where sessions are not cleaned up. The autostart entry stays for the next login.
    bus.connect(QString(), QStringLiteral("/org/freedesktop/DBus/Local"),
                QStringLiteral("org.freedesktop.DBus.Local"), QStringLiteral("Disconnected"), this,
                SIGNAL(finished()));
    m_watcher.addPath(voskanDataFolder());
    m_scheme.start();
    apply();
    return std::nullopt;
}

void SchemeFollower::filesChanged()
{
    if (m_ended)
        return;
    if (const std::optional<QString> day = recordedDay()) {
        // Our own writes (sway's snippet) change the folder too: only a new day is news. Its
        // set has just shown the picture due now; the alarm for the next is ours to set.
        if (day != m_day) {
            m_day = day;
            const auto due = dayPictureDue(*day);
            const auto *files = std::get_if<WallpaperFiles>(&due);
            m_shown = files ? files->light : QString();
            apply();
        }
        return;
    }
    m_day.reset();
    m_shown.clear(); // a set may have handed the desktop another picture since
    if (!followed() || m_backend->switchesWithScheme())
        leave(); // nothing left, or a pair that a desktop playing days before switches itself
    else
        m_clock.stop();
}

std::optional<QString> SchemeFollower::recordedDay()
{
    const std::optional<QString> recorded = DesktopService::recordedWallpaper();
    if (recorded && recorded->endsWith(QLatin1String(".day")))
        return recorded;
    return std::nullopt;
}

std::optional<WallpaperFiles> SchemeFollower::followed() const
{
    const std::optional<QString> heic = DesktopService::recordedWallpaper();
    if (!heic)
        return std::nullopt;
    const WallpaperFiles files = WallpaperFiles::forHeic(*heic);
    if (!QFileInfo::exists(files.light) || !QFileInfo::exists(files.dark))
        return std::nullopt;
    return files;
}

void SchemeFollower::leave()
{
    if (!m_ended)
        m_backend->releasePicture();
    end();
}

void SchemeFollower::giveUp(const QString &why)
{
    qWarning("%s", qPrintable(why));
    end();
}

void SchemeFollower::end()
{
    if (m_ended)
        return;
    m_ended = true;
    m_clock.stop();
    QFile::remove(followerAutostartFile());
    // From the loop: an end found while start() still runs must end a loop yet to start.
    QMetaObject::invokeMethod(this, &SchemeFollower::finished, Qt::QueuedConnection);
}

void SchemeFollower::apply()
{
    if (m_ended)
        return;
    // A set telling the desktop now writes the record after: its wallpaper is the one to
    // follow, not the one before it (on the portal this may wait while a person answers).
    const SetLock settled(SetLock::kUntilFree);
    if (const std::optional<QString> day = recordedDay()) {
        showDay(*day);
        return;
    }
    m_clock.stop();
    const std::optional<WallpaperFiles> files = followed();
    if (!files || m_backend->switchesWithScheme()) { // gone, or a pair the desktop switches
        leave();
        return;
    }
    show(*files, m_scheme.isDark() ? files->dark : files->light, files->heic);
}

std::variant<WallpaperFiles, QString> SchemeFollower::dayPictureDue(const QString &dayFile,
                                                                    QDateTime *next)
{
    const std::optional<DayFile> day = DayFile::read(dayFile);
    if (!day)
        return brokenDayText(dayFile);
    const ShownPicture due =
        pictureAt(day->schedule, QDateTime::currentDateTime(), localTimeZone(), day->location);
    WallpaperFiles files = WallpaperFiles::forDayPicture(dayFile, due.image);
    const std::optional<QSize> size = daySize(files.light);
    if (!size)
        return brokenPictureText(files.light);
    files.size = *size; // Plasma's package names it
    if (next)
        *next = due.nextChange;
    return files;
}

void SchemeFollower::showDay(const QString &dayFile)
{
    m_day = dayFile;
    tellUnknownZone();
    if (m_backend->playsSlideshow()) {
        playDay(dayFile);
        return;
    }
    QDateTime next;
    const auto due = dayPictureDue(dayFile, &next);
    if (const QString *why = std::get_if<QString>(&due)) {
        giveUp(*why); // the picture on screen is still the day's, and stays
        return;
    }
    const WallpaperFiles &files = std::get<WallpaperFiles>(due);
    // Armed first: a picture the desktop refuses now is tried again at the next change.
    m_clock.wakeAt(next);
    show(files, files.light, dayFile);
}

void SchemeFollower::playDay(const QString &dayFile)
{
    const std::optional<DayFile> day = DayFile::read(dayFile);
    if (!day) {
        giveUp(brokenDayText(dayFile));
        return;
    }
    const QDate today = QDate::currentDate();
    m_clock.wakeAt(today.addDays(1).startOfDay());
    const std::optional<QString> current = m_backend->currentPicture();
    if (current && WallpaperFiles::wallpaperForPicture(*current) != dayFile) {
        leave();
        return;
    }
    if (current == daySlideshowPath(dayFile, today))
        return;
    // The desktop reads the pictures itself, and would wait on a FIFO as long as we would.
    QList<int> images;
    for (const TimedPicture &picture : day->schedule.times)
        images.append(picture.image);
    for (const SolarPicture &picture : day->schedule.sun)
        images.append(picture.image);
    for (int image : images) {
        const QString picture = WallpaperFiles::forDayPicture(dayFile, image).light;
        if (!daySize(picture)) {
            giveUp(brokenPictureText(picture));
            return;
        }
    }
    const std::optional<QString> xml = writeDaySlideshow(dayFile, *day, today);
    if (!xml) {
        qWarning("%s", qPrintable(fileFailedText(daySlideshowPath(dayFile, today))));
        return; // tried again tomorrow
    }
    if (const std::optional<QString> error = m_backend->setSlideshow(*xml)) {
        qWarning("%s", qPrintable(*error));
        return;
    }
    // Yesterday's slideshow goes once the desktop plays today's.
    const QDir dir = QFileInfo(*xml).absoluteDir();
    for (const QString &old : dir.entryList({QStringLiteral("*.xml")}, QDir::Files)) {
        if (dir.filePath(old) != *xml)
            QFile::remove(dir.filePath(old));
    }
}

void SchemeFollower::tellUnknownZone()
{
    bool known = true;
    localTimeZone(&known);
    if (!known && !m_zoneTold)
        qWarning("%s", qPrintable(unknownTimeZoneText()));
    m_zoneTold = !known;
}

void SchemeFollower::show(const WallpaperFiles &files, const QString &wanted,
                          const QString &wallpaper)
{
    if (const std::optional<QString> current = m_backend->currentPicture()) {
        // Another picture chosen in the desktop's own settings is left alone for good.
        if (WallpaperFiles::wallpaperForPicture(*current) != wallpaper) {
            leave();
            return;
        }
        if (*current == wanted || *current == files.kdePackage()) {
            m_shown = wanted;
            return;
        }
    } else if (wanted == m_shown) { // a desktop that cannot tell is not asked twice
        return;
    }
    if (const std::optional<QString> error = m_backend->setWallpaper(files)) {
        qWarning("%s", qPrintable(*error)); // tried again at the next change
        return;
    }
    m_shown = wanted;
}
