#pragma once

// Where the sun stands, and when it stands at a given height, for pictures keyed to the sun's
// position, worked out on the spot with the formulas of NOAA's solar calculator (after Meeus): no
// tables, no network. Altitudes are geometric — the centre of the sun, refraction left out —
// because a picture's altitude describes the light of the scene, not the moment the rim clears
// a particular horizon; refraction would move a sunrise by a few minutes, the light not at all.

#include <QDate>
#include <QDateTime>
#include <QTimeZone>

// Degrees: altitude above the horizon, azimuth from north clockwise (90 east, 180 south).
struct SunPosition
{
    double altitude = 0;
    double azimuth = 0;
};

// The sun seen from latitude/longitude (degrees, north and east positive) at the instant `utc`
// (in whatever zone it is given; only the instant counts).
SunPosition sunPosition(const QDateTime &utc, double latitude, double longitude);

// The transit (highest sun) nearest to midday of `localDate` in `zone`; an invalid zone counts
// as UTC, here and below.
QDateTime solarNoon(QDate localDate, const QTimeZone &zone, double longitude);

// When the sun passes an altitude on one side of solar noon. The solar day is the one whose noon
// is solarNoon(localDate, …); its morning runs from the lowest sun before that noon up to it,
// its afternoon from the noon down to the lowest sun after it. Near solar midnight a passage can
// therefore fall just outside the calendar day, which keeps mornings before afternoons. Found by
// bisection to half a second.
struct SunPassage
{
    // The passage, or on a day the sun never reaches the altitude (polar day or night, or an
    // altitude out of the day's range) the moment it comes closest: solar noon when the altitude
    // is above the day's highest sun, the solar midnight on the asked side when it is below the
    // lowest. In `zone`'s time.
    QDateTime time;
    bool reached = false;
};
SunPassage sunPassage(QDate localDate, const QTimeZone &zone, double latitude, double longitude,
                      double altitude, bool morning);
