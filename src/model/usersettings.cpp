#include "usersettings.h"

#include <QFile>
#include <QLocale>
#include <QStandardPaths>

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>

namespace {

const QString kLatitude = QStringLiteral("latitude");
const QString kLongitude = QStringLiteral("longitude");

// What a person may type: in ±90 for the latitude, ±180 for the longitude.
constexpr double kLatitudeLimit = 90;
constexpr double kLongitudeLimit = 180;

// A value as it stands in the file. The INI format reads an unquoted comma as a list, so the
// decimal comma the dialog accepts, typed into the file ("latitude=52,5"), arrives as two.
QString storedText(const QSettings &settings, const QString &key)
{
    const QVariant value = settings.value(key);
    return value.typeId() == QMetaType::QStringList ? value.toStringList().join(QLatin1Char(','))
                                                    : value.toString();
}

std::optional<QString> degreesProblem(const QString &text, bool latitude)
{
    if (parseDegrees(text, latitude ? kLatitudeLimit : kLongitudeLimit))
        return std::nullopt;
    return latitude ? QStringLiteral("„%1“ ist keine Breite: Erwartet wird eine Zahl von −90 bis "
                                     "90 Grad, Norden positiv.")
                          .arg(text.trimmed())
                    : QStringLiteral("„%1“ ist keine Länge: Erwartet wird eine Zahl von −180 bis "
                                     "180 Grad, Osten positiv.")
                          .arg(text.trimmed());
}

} // namespace

QSettings userSettings()
{
    // QSettings opens its file and waits: a FIFO or a socket under its name would hold the
    // window and every command at their start. Neither can hold settings, so it goes, as a
    // file of ours that is none goes in the data folder.
    const QString file = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                         QStringLiteral("/Voskan/Voskan.conf");
    struct stat info
    {
    };
    if (::stat(QFile::encodeName(file).constData(), &info) == 0 &&
        (S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode))) {
        ::unlink(QFile::encodeName(file).constData());
        qWarning("%s", qPrintable(QStringLiteral("„%1“ war keine Datei (eine Pipe oder ein "
                                                 "Socket) und ist entfernt; Voskan legt seine "
                                                 "Einstellungen dort neu an.")
                                      .arg(file)));
    }
    return QSettings(QStringLiteral("Voskan"), QStringLiteral("Voskan"));
}

std::optional<double> parseDegrees(const QString &text, double limit)
{
    QString number = text.trimmed();
    number.replace(QLatin1Char(','), QLatin1Char('.'));
    bool ok = false;
    const double value = QLocale::c().toDouble(number, &ok);
    if (!ok || !std::isfinite(value) || std::abs(value) > limit)
        return std::nullopt;
    return value;
}

std::optional<QString> locationProblem(const QString &latitude, const QString &longitude)
{
    const bool north = !latitude.trimmed().isEmpty(), east = !longitude.trimmed().isEmpty();
    if (!north && !east)
        return std::nullopt;
    if (!east)
        return QStringLiteral("Zur Breite fehlt die Länge.");
    if (!north)
        return QStringLiteral("Zur Länge fehlt die Breite.");
    if (const auto problem = degreesProblem(latitude, true))
        return problem;
    return degreesProblem(longitude, false);
}

std::optional<GeoLocation> userLocation()
{
    // Both or nothing, and only what could have been typed: the file may have been edited.
    const QSettings settings = userSettings();
    const auto latitude = parseDegrees(storedText(settings, kLatitude), kLatitudeLimit);
    const auto longitude = parseDegrees(storedText(settings, kLongitude), kLongitudeLimit);
    if (!latitude || !longitude)
        return std::nullopt;
    return GeoLocation{*latitude, *longitude};
}

std::optional<QString> userLocationProblem()
{
    const QSettings settings = userSettings();
    const auto problem =
        locationProblem(storedText(settings, kLatitude), storedText(settings, kLongitude));
    if (!problem)
        return std::nullopt;
    return QStringLiteral("Der Ort für den Sonnenstand in „%1“ gilt nicht: %2 Bis er unter "
                          "Bearbeiten › Einstellungen… › Sonnenstand berichtigt ist, gilt die "
                          "Stadt der Zeitzone.")
        .arg(settings.fileName(), *problem);
}

void setUserLocation(std::optional<GeoLocation> location)
{
    QSettings settings = userSettings();
    if (!location) {
        settings.remove(kLatitude);
        settings.remove(kLongitude);
        return;
    }
    settings.setValue(kLatitude, QString::number(location->latitude));
    settings.setValue(kLongitude, QString::number(location->longitude));
}
