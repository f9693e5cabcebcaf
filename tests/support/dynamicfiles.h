#pragma once

// Dynamic wallpapers of every kind, made by the suite itself so that no file from another
// system has to be committed: the pictures encoded with libheif, the schedules built with
// libplist and wrapped in XMP the way other systems write them, or in the other forms a
// reader must accept.

#include "output/wallpaperschedule.h"

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QList>
#include <QString>

#include <plist/plist.h>

#include <initializer_list>
#include <optional>
#include <utility>

// How a schedule sits in the XMP and how its numbers are written.
struct XmpStyle
{
    QByteArray prefix = "apple_desktop";
    QByteArray namespaceUri = "http://ns.apple.com/namespace/1.0/";
    bool element = false;     // the value as the text of an element, wrapped over lines
    bool swapNumbers = false; // indexes as reals (2.0), whole times and angles as integers
};

// Property lists by hand, for tables no writer would make; the items pass into the result.
plist_t plistDict(std::initializer_list<std::pair<const char *, plist_t>> items);
plist_t plistArray(std::initializer_list<plist_t> items);
// `root` as a binary property list in Base64; frees `root`.
QByteArray plistBase64(plist_t root);
// The Base64 values of the three kinds of schedule.
QByteArray aprValue(LightDarkPair pair, const XmpStyle &style = {});
QByteArray h24Value(const QList<TimedPicture> &times, std::optional<LightDarkPair> pair = {},
                    const XmpStyle &style = {});
QByteArray solarValue(const QList<SolarPicture> &sun, std::optional<LightDarkPair> pair = {},
                      const XmpStyle &style = {});
// An XMP packet with each (local name, value) in the namespace of `style`.
QByteArray scheduleXmp(const QList<std::pair<QByteArray, QByteArray>> &values,
                       const XmpStyle &style = {});

QByteArray aprXmp(LightDarkPair pair, const XmpStyle &style = {});
QByteArray h24Xmp(const QList<TimedPicture> &times, std::optional<LightDarkPair> pair = {},
                  const XmpStyle &style = {});
QByteArray solarXmp(const QList<SolarPicture> &sun, std::optional<LightDarkPair> pair = {},
                    const XmpStyle &style = {});

// A binary property list {si: A₁} where each Aₖ is an array of `width` references to Aₖ₊₁,
// `levels` deep: a few hundred bytes that unfold into width^levels nodes.
QByteArray unfoldingPlistBase64(int levels, int width);

// One 64 × 36 picture of each colour: small enough to encode in a moment, and a colour that
// survives HEVC tells which picture was decoded.
QList<QImage> solidPictures(const QList<QColor> &colours);

// Writes `pictures` as the top-level images of one HEIC, in order, the first primary and
// carrying `xmp` unless it is empty. False on any failure.
bool writeDynamicHeic(const QString &path, const QList<QImage> &pictures, const QByteArray &xmp);
