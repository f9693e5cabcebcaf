#pragma once

// The names the program gives files: a file-name-safe form of any text, and the suffix of an
// export. They are chosen long before anything is written — when a photo is loaded, when the person
// picks where to save — so they live apart from the writers.

#include <QString>

// Names for the files the program writes.
namespace FileNames {

// A file-name-safe form of any text: lower case, letters and numbers of any script kept, every
// run of anything else as one "-", no "-" at either end, at most 60 user-perceived characters.
QString slugify(const QString &text);

// The name an export is written under when the person typed `chosen`: an export is always
// a HEIC, so a picture's suffix (".png", ".jpg", …) becomes ".heic" and any other name gets
// ".heic" appended; "bild.heic" stays as typed, whatever its case.
QString heicFileName(const QString &chosen);

} // namespace FileNames
