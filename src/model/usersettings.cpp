#include "usersettings.h"

#include <QLocale>

#include <cmath>

QSettings userSettings()
{
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

std::optional<GeoLocation> userLocation()
{
    // Both or nothing, and only what could have been typed: the file may have been edited.
    const QSettings settings = userSettings();
    const auto latitude = parseDegrees(settings.value(QStringLiteral("latitude")).toString(), 90);
    const auto longitude =
        parseDegrees(settings.value(QStringLiteral("longitude")).toString(), 180);
    if (!latitude || !longitude)
        return std::nullopt;
    return GeoLocation{*latitude, *longitude};
}

void setUserLocation(std::optional<GeoLocation> location)
{
    QSettings settings = userSettings();
    if (!location) {
        settings.remove(QStringLiteral("latitude"));
        settings.remove(QStringLiteral("longitude"));
        return;
    }
    settings.setValue(QStringLiteral("latitude"), QString::number(location->latitude));
    settings.setValue(QStringLiteral("longitude"), QString::number(location->longitude));
}
