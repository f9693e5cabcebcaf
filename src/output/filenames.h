#pragma once

// The names the program gives files: a base from a photo's text, and the suffix of an export.
// They are chosen long before anything is written — when a photo is loaded, when the person picks
// where to save — so they live apart from the writers.

#include <QString>

struct UnsplashPhoto;

// Names for the files the program writes.
namespace FileNames {

// A file-name-safe form of any text: lower case, letters and numbers of any script kept, every
// run of anything else as one "-", no "-" at either end, at most 60 user-perceived characters.
QString slugify(const QString &text);

// The base of the file name for a photo from the Unsplash search. The service's own slug is
// used as it is; a slug made here from the description gets the id so that two photos with
// the same description still get different names.
QString baseName(const UnsplashPhoto &photo);

// The name an export is written under when the person typed `chosen`: an export is always
// a HEIC, so a picture's suffix (".png", ".jpg", …) becomes ".heic" and any other name gets
// ".heic" appended; "bild.heic" stays as typed, whatever its case.
QString heicFileName(const QString &chosen);

} // namespace FileNames
