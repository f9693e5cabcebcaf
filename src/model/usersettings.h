#pragma once

// Where the user's choices live between runs: the access key, the recent files, the time of
// the last update check, the place the sun is reckoned for. Every part of the program that keeps
// something asks here, so all of it lands in one file, and a test that points QSettings elsewhere
// moves all of it at once.

#include "day/geolocation.h"

#include <QSettings>

#include <optional>

// The settings of organisation and application "Voskan", in the platform's native format at
// the user's place (~/.config/Voskan/Voskan.conf on Linux).
QSettings userSettings();

// Where a wallpaper that follows the sun reckons it: the place set here ("latitude",
// "longitude"), or none — the time zone's city then stands in.
std::optional<GeoLocation> userLocation();
void setUserLocation(std::optional<GeoLocation> location);
// Why what the settings hold for the place is none (German: which value, what it takes, where
// to put it right); nothing when they hold a place or no place at all.
std::optional<QString> userLocationProblem();
// A latitude or longitude as typed, with a point or a comma; none outside ±`limit` or for text
// that is no number.
std::optional<double> parseDegrees(const QString &text, double limit);
// Why a latitude and a longitude as typed are no place (German, naming the value and what it
// takes); nothing when they are one, or both empty.
std::optional<QString> locationProblem(const QString &latitude, const QString &longitude);
