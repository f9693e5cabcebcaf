#pragma once

// Dynamic wallpapers made by the suite itself, so that no file from another system has to be
// committed: the pictures encoded with libheif, the schedules built with libplist and wrapped in
// XMP the way other systems write them.

#include "heic/wallpaperschedule.h"

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QList>
#include <QString>
#include <QVariant>

#include <optional>
#include <utility>

// `value` as a binary property list in Base64: maps become dictionaries, lists arrays, doubles
// reals, other numbers integers, so that a row says which form each number takes.
QByteArray plistBase64(const QVariant &value);
// The tables of the three kinds of schedule, indexes as integers and the rest as reals.
QVariantMap aprTable(LightDarkPair pair);
QVariantMap h24Table(const QList<TimedPicture> &times, std::optional<LightDarkPair> pair = {});
QVariantMap solarTable(const QList<SolarPicture> &sun, std::optional<LightDarkPair> pair = {});
// An XMP packet with each (local name, table) in the schedules' namespace, as attributes or as
// the text of elements wrapped over lines. A byte array goes in as it is, anything else through
// plistBase64().
QByteArray scheduleXmp(const QList<std::pair<QByteArray, QVariant>> &tables, bool elements = false);

// {si: A₁} where each Aₖ is an array of 60 references to Aₖ₊₁, three deep: 205 bytes that
// unfold into 216000 nodes.
QByteArray unfoldingPlistBase64();

// The sun of a file of 16 pictures: from 30° below the horizon in the east to 90° in the west.
QList<SolarPicture> sixteenSuns();

// One 64 × 36 picture of each colour: small enough to encode in a moment, and a colour that
// survives HEVC tells which picture was decoded.
QList<QImage> solidPictures(const QList<QColor> &colours);

// The schedule of a dynamic wallpaper as the program reads it; empty if it reads none.
WallpaperSchedule scheduleOf(const QString &path);

// Writes `pictures` as the top-level images of one HEIC, in order, the first primary and
// carrying `xmp` unless it is empty. False on any failure.
bool writeDynamicHeic(const QString &path, const QList<QImage> &pictures, const QByteArray &xmp);
