#pragma once

// Where a time zone is, roughly: the coordinates of the city the tz database names it after.
// Pictures keyed to the sun need a place, and a desktop that never asked the person where they
// are still knows its time zone; the zone's city is close enough for when the light changes.

#include "geolocation.h"

#include <QByteArray>
#include <QString>

#include <optional>

// The representative location of the IANA zone `ianaId` from the tz database's tables in
// `zoneInfoDir`: zone1970.tab first, then zone.tab, which still names zones the newer table
// folds into others (Europe/Oslo, Atlantic/Reykjavik). A name that is a link in `zoneInfoDir`
// (US/Eastern) is looked up under the zone it points to. Nothing for an unknown zone.
std::optional<GeoLocation>
locationOfTimeZone(const QByteArray &ianaId,
                   const QString &zoneInfoDir = QStringLiteral("/usr/share/zoneinfo"));
