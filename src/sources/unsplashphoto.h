#pragma once

// A search hit as a plain value: the reply decoder makes them, the model keeps a page of them, the
// thumbnail strip shows them, and choosing one loads its picture. A header of its own so that all
// of those share it without the network code.

#include <QMetaType>
#include <QString>

#include <optional>

// One hit of the Unsplash photo search, as the search reply describes it. Absent optionals are
// keys the reply left out or set to null. The JSON keys are the member names, except that the
// two multi-word ones are snake_case there: altDescription is "alt_description" and
// Links::downloadLocation is "download_location".
struct UnsplashPhoto
{
    // The same image in the sizes the service renders; `regular` is the one a chosen hit loads.
    struct URLs
    {
        QString raw;
        QString full;
        QString regular;
        QString small;
        QString thumb;

        friend bool operator==(const URLs &, const URLs &) = default;
    };

    struct User
    {
        struct Links
        {
            // The photographer's profile page, where the credit line points.
            std::optional<QString> html;

            friend bool operator==(const Links &, const Links &) = default;
        };

        QString name;
        std::optional<QString> username;
        std::optional<Links> links;

        friend bool operator==(const User &, const User &) = default;
    };

    struct Links
    {
        // The service's terms ask for a call to this address whenever a photo is used.
        std::optional<QString> downloadLocation;

        friend bool operator==(const Links &, const Links &) = default;
    };

    QString id;
    std::optional<QString> slug;
    qint64 width = 0;
    qint64 height = 0;
    // The dominant colour as hexadecimal colour text; fills the tile until the thumbnail arrives.
    std::optional<QString> color;
    std::optional<QString> description;
    std::optional<QString> altDescription;
    URLs urls;
    User user;
    std::optional<Links> links;

    // The caption of a hit. Presence decides, not emptiness: an empty description is the caption.
    QString displayTitle() const;
    // The base of the file name for this photo. The service's own slug is used as it is; a slug
    // made here from the description gets the id so that two photos with the same description
    // still get different names.
    QString fileBaseName() const;

    friend bool operator==(const UnsplashPhoto &, const UnsplashPhoto &) = default;
};

Q_DECLARE_METATYPE(UnsplashPhoto)
