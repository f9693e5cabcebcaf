#include "sun.h"

#include <QtMath>

#include <algorithm>
#include <cmath>

namespace {

constexpr qint64 msPerDay = 86'400'000;
constexpr qint64 msPerDegree = msPerDay / 360; // of hour angle: four minutes

double radians(double degrees)
{
    return qDegreesToRadians(degrees);
}
double degrees(double radians)
{
    return qRadiansToDegrees(radians);
}

// An angle in degrees brought into [-180, 180).
double wrapped(double degrees)
{
    const double d = std::fmod(degrees + 180.0, 360.0);
    return (d < 0 ? d + 360.0 : d) - 180.0;
}

struct SolarCoordinates
{
    double declination = 0;    // degrees
    double equationOfTime = 0; // minutes: apparent minus mean solar time
};

// NOAA's series in Julian centuries since J2000.0; enough for a wallpaper's purposes from
// 1800 to 2100 and beyond.
SolarCoordinates solarCoordinates(qint64 msecsSinceEpoch)
{
    const double julianDay = double(msecsSinceEpoch) / double(msPerDay) + 2440587.5;
    const double t = (julianDay - 2451545.0) / 36525.0;

    const double meanLongitude = std::fmod(280.46646 + t * (36000.76983 + t * 0.0003032), 360.0);
    const double meanAnomaly = 357.52911 + t * (35999.05029 - 0.0001537 * t);
    const double eccentricity = 0.016708634 - t * (0.000042037 + 0.0000001267 * t);
    const double m = radians(meanAnomaly);
    const double centre = std::sin(m) * (1.914602 - t * (0.004817 + 0.000014 * t)) +
                          std::sin(2 * m) * (0.019993 - 0.000101 * t) + std::sin(3 * m) * 0.000289;
    const double omega = radians(125.04 - 1934.136 * t);
    const double apparentLongitude = meanLongitude + centre - 0.00569 - 0.00478 * std::sin(omega);
    const double meanObliquity =
        23.0 + (26.0 + (21.448 - t * (46.815 + t * (0.00059 - t * 0.001813))) / 60.0) / 60.0;
    const double obliquity = radians(meanObliquity + 0.00256 * std::cos(omega));

    SolarCoordinates c;
    c.declination = degrees(std::asin(std::sin(obliquity) * std::sin(radians(apparentLongitude))));
    const double y = std::pow(std::tan(obliquity / 2), 2);
    const double l0 = radians(meanLongitude);
    c.equationOfTime = 4.0 * degrees(y * std::sin(2 * l0) - 2 * eccentricity * std::sin(m) +
                                     4 * eccentricity * y * std::sin(m) * std::cos(2 * l0) -
                                     0.5 * y * y * std::sin(4 * l0) -
                                     1.25 * eccentricity * eccentricity * std::sin(2 * m));
    return c;
}

double hourAngleAt(qint64 ms, double longitude, const SolarCoordinates &c)
{
    const double utcMinutes = double(((ms % msPerDay) + msPerDay) % msPerDay) / 60'000.0;
    const double trueSolarMinutes = utcMinutes + c.equationOfTime + 4.0 * longitude;
    return wrapped(trueSolarMinutes / 4.0 - 180.0);
}

// Steps from `ms` to where the hour angle is `target` (0 transit, 180 antitransit). The hour
// angle grows by very nearly 15° an hour, so each step lands within a second of the last and a
// few settle it to the millisecond.
qint64 hourAngleNear(qint64 ms, double longitude, double target)
{
    for (int i = 0; i < 4; ++i) {
        const double off = wrapped(hourAngleAt(ms, longitude, solarCoordinates(ms)) - target);
        ms -= qint64(std::llround(off * double(msPerDegree)));
    }
    return ms;
}

// The transit nearest to midday of the local day.
qint64 noonOf(QDate localDate, const QTimeZone &zone, double longitude)
{
    const QDateTime midday(localDate, QTime(12, 0), zone);
    const qint64 start = midday.isValid()
                             ? midday.toMSecsSinceEpoch()
                             : localDate.startOfDay(zone).toMSecsSinceEpoch() + msPerDay / 2;
    return hourAngleNear(start, longitude, 0);
}

// The lowest sun between two transits, worked out from both whichever day asks: one day's last
// instant is then exactly the next day's first, and pictures that fall back to it keep their
// order across midnight.
qint64 antitransitBetween(qint64 earlierNoon, qint64 laterNoon, double longitude)
{
    return hourAngleNear(earlierNoon + (laterNoon - earlierNoon) / 2, longitude, 180);
}

QTimeZone validOrUtc(const QTimeZone &zone)
{
    return zone.isValid() ? zone : QTimeZone::utc();
}

} // namespace

SunPosition sunPosition(const QDateTime &utc, double latitude, double longitude)
{
    const qint64 ms = utc.toMSecsSinceEpoch();
    const SolarCoordinates c = solarCoordinates(ms);
    const double phi = radians(latitude), delta = radians(c.declination);
    const double h = radians(hourAngleAt(ms, longitude, c));
    const double s =
        std::sin(phi) * std::sin(delta) + std::cos(phi) * std::cos(delta) * std::cos(h);

    SunPosition position;
    position.altitude = degrees(std::asin(std::clamp(s, -1.0, 1.0)));
    // Measured from south towards west first; a negative hour angle (morning) gives the east.
    const double fromSouth =
        std::atan2(std::sin(h) * std::cos(delta),
                   std::cos(h) * std::sin(phi) * std::cos(delta) - std::sin(delta) * std::cos(phi));
    position.azimuth = std::fmod(degrees(fromSouth) + 540.0, 360.0);
    return position;
}

QDateTime solarNoon(QDate localDate, const QTimeZone &zone, double longitude)
{
    const QTimeZone tz = validOrUtc(zone);
    return QDateTime::fromMSecsSinceEpoch(noonOf(localDate, tz, longitude), tz);
}

SunPassage sunPassage(QDate localDate, const QTimeZone &zone, double latitude, double longitude,
                      double altitude, bool morning)
{
    const QTimeZone tz = validOrUtc(zone);
    const qint64 noon = noonOf(localDate, tz, longitude);
    const qint64 midnight =
        morning ? antitransitBetween(noonOf(localDate.addDays(-1), tz, longitude), noon, longitude)
                : antitransitBetween(noon, noonOf(localDate.addDays(1), tz, longitude), longitude);

    // On either half of the solar day the sun only climbs (morning) or only sinks (afternoon),
    // so one sign change between the lowest and the highest sun brackets the passage.
    qint64 low = morning ? midnight : noon;
    qint64 high = morning ? noon : midnight;
    const auto above = [&](qint64 ms) {
        const QDateTime at = QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
        return sunPosition(at, latitude, longitude).altitude >= altitude;
    };
    const bool risesTo = morning ? above(high) : above(low);
    const bool alreadyAbove = morning ? above(low) : above(high);
    if (!risesTo)
        return {QDateTime::fromMSecsSinceEpoch(noon, tz), false};
    if (alreadyAbove)
        return {QDateTime::fromMSecsSinceEpoch(midnight, tz), false};

    while (high - low > 500) {
        const qint64 mid = low + (high - low) / 2;
        (above(mid) == morning ? high : low) = mid;
    }
    return {QDateTime::fromMSecsSinceEpoch(low + (high - low) / 2, tz), true};
}
