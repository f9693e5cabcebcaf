#pragma once

// Cinnamon, MATE, Xfce and sway show one picture whatever their colour scheme. They share
// the choice of which of the two pictures to hand over; the follower repeats that choice at
// every change of the scheme.

#include "desktopbackend.h"

#include <utility>

// A desktop with one picture: it gets the one of the colour scheme shown now.
class SinglePictureBackend : public DesktopBackend
{
public:
    SinglePictureBackend(CommandRunner runner, DarkSchemeQuery dark)
        : m_runner(std::move(runner)), m_dark(std::move(dark))
    {
    }

    std::optional<QString> setWallpaper(const WallpaperFiles &files) override
    {
        return setPicture(m_dark && m_dark() ? files.dark : files.light);
    }

protected:
    virtual std::optional<QString> setPicture(const QString &path) = 0;
    CommandRunner m_runner;

private:
    DarkSchemeQuery m_dark;
};
