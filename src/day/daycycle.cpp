#include "daycycle.h"

#include <algorithm>

namespace {

// Where the sun stands seen from the middle latitudes near the equinox, as degrees from north:
// rising in the east, a little south of it as it climbs, due south at noon. The altitude is
// what matters to every reader; the azimuth only has to put each position on its side of noon
// and keep the morning's and the evening's apart for a reader that picks the nearest.
double morningAzimuth(double altitude)
{
    return 90 + 1.5 * altitude;
}

double eveningAzimuth(double altitude)
{
    return 360 - morningAzimuth(altitude);
}

// Below any sun at midnight outside the polar summer, and above any noon the pictures need.
constexpr double kMidnightAltitude = -40, kNoonAltitude = 45;

} // namespace

namespace DayCycle {

Plan plan(int count)
{
    const int between = std::max(count, 3) - 2;
    Plan plan;
    plan.altitudes = {kDayAltitude, kNightAltitude};
    // Evenly between night and day, neither end itself: those are the pair's.
    for (int k = 1; k <= between; ++k)
        plan.altitudes << kNightAltitude + (kDayAltitude - kNightAltitude) * k / (between + 1);
    const int day = plan.pair.light, night = plan.pair.dark;
    plan.sun << SolarPicture{night, kMidnightAltitude, 0}
             << SolarPicture{night, kNightAltitude, morningAzimuth(kNightAltitude)};
    for (int k = 0; k < between; ++k)
        plan.sun << SolarPicture{2 + k, plan.altitudes[2 + k],
                                 morningAzimuth(plan.altitudes[2 + k])};
    plan.sun << SolarPicture{day, kDayAltitude, morningAzimuth(kDayAltitude)}
             << SolarPicture{day, kNoonAltitude, 180}
             << SolarPicture{day, kDayAltitude, eveningAzimuth(kDayAltitude)};
    for (int k = between - 1; k >= 0; --k)
        plan.sun << SolarPicture{2 + k, plan.altitudes[2 + k],
                                 eveningAzimuth(plan.altitudes[2 + k])};
    plan.sun << SolarPicture{night, kNightAltitude, eveningAzimuth(kNightAltitude)};
    return plan;
}

QList<int> Plan::dayOrder() const
{
    QList<int> order;
    for (int i = 0; i < altitudes.size(); ++i)
        order << i;
    std::ranges::stable_sort(order, {}, [this](int i) { return altitudes.at(i); });
    return order;
}

WallpaperSchedule Plan::schedule() const
{
    WallpaperSchedule schedule;
    schedule.kind = ScheduleKind::Solar;
    schedule.imageCount = int(altitudes.size());
    schedule.lightDark = pair;
    schedule.sun = sun;
    return schedule;
}

} // namespace DayCycle
