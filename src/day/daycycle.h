#pragma once

// A day cycle made from one photo: which sun altitudes its pictures stand for, and the table of
// sun positions that tells a desktop when each shows. The pictures are the pair's two — the day
// (first, so it is the file's primary picture) and the night (second) — and between them the
// dawn, which the dusk shares: the same photo at the same altitude of the sun makes the same
// picture, so a dusk of its own would only double the encoding.

#include "heic/wallpaperschedule.h"

#include <QList>

#include <array>

namespace DayCycle {

inline constexpr int kDefaultCount = 8;
// The counts a person may choose: few pictures encode fast, many change in smaller steps.
inline constexpr std::array kCounts{5, kDefaultCount, 16};

// Below this altitude (civil dusk) the night shows as it is, from this one up the day.
inline constexpr double kNightAltitude = -6;
inline constexpr double kDayAltitude = 10;

struct Plan
{
    // For each picture, by index: the altitude of the sun it is made for. 0 is the day,
    // 1 the night, the rest the dawn from night to day.
    QList<double> altitudes;
    // The sun positions in the order of a day from midnight: the night also at midnight and
    // where it ends in the morning, the day also at noon and where it begins in the evening,
    // so that a desktop picking the position nearest the sun's finds the right picture at any
    // hour, and one that starts each picture when the sun passes its altitude too.
    QList<SolarPicture> sun;
    LightDarkPair pair{0, 1};

    // The schedule a file of these pictures holds, as a reader of it finds it.
    WallpaperSchedule schedule() const;
    // The pictures as a day shows them, from the night through the dawn to the day.
    QList<int> dayOrder() const;
};

// The plan for `count` pictures (at least 3: the pair and one between); fewer count as 3.
Plan plan(int count = kDefaultCount);

} // namespace DayCycle
