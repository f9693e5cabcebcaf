#pragma once

// What every desktop's way of showing a wallpaper has to offer, so the service, the follower
// and the tests can drive any of them without knowing which one the session runs.

#include "commandrunner.h"
#include "desktoperror.h"
#include "wallpaperfiles.h"

#include <QString>

#include <functional>
#include <optional>

// Answers whether the desktop uses a dark colour scheme now.
using DarkSchemeQuery = std::function<bool()>;

// How long a desktop's D-Bus service may take to answer before it counts as not answering.
constexpr int kDesktopDBusTimeoutMs = 5000;

// One desktop's way to show a picture on every screen.
class DesktopBackend
{
public:
    virtual ~DesktopBackend() = default;
    // The error text, or nothing once every screen shows the wallpaper.
    virtual std::optional<QString> setWallpaper(const WallpaperFiles &files) = 0;
    // The picture (file or package folder) the desktop shows now, as a local path; nothing when
    // unknown.
    virtual std::optional<QString> currentPicture() = 0;
    // Whether the desktop itself swaps the light and dark picture with its colour scheme;
    // where it does not, a follower process does it (schemefollower.h).
    virtual bool switchesWithScheme() const { return false; }
    // Whether the desktop plays a timed slideshow (GNOME's background XML) by itself.
    virtual bool playsSlideshow() const { return false; }
    // Shows the slideshow `xml` on every screen; only where playsSlideshow().
    virtual std::optional<QString> setSlideshow(const QString &xml)
    {
        Q_UNUSED(xml);
        return unsupportedText();
    }
    // Where a picture shows only while a process of ours draws it (the wlroots compositors):
    // `lost` runs when that process ends by itself, so the follower can start it again, and
    // releasePicture() ends it once the wallpaper is no longer ours to show.
    virtual void watchPicture(std::function<void()> lost) { Q_UNUSED(lost); }
    virtual void releasePicture() {}
    // Why this session has nothing that could take a wallpaper now (German), asked before
    // anything is rendered; nothing when a set may succeed.
    virtual std::optional<QString> unavailable() const { return std::nullopt; }
    // Why this desktop could not be handed pictures from `folder` (German), asked before
    // anything is written there; nothing when it can.
    virtual std::optional<QString> refusedFolder(const QString &folder) const
    {
        Q_UNUSED(folder);
        return std::nullopt;
    }
};
