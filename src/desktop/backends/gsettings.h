#pragma once

// GNOME, Cinnamon and MATE keep their wallpaper in gsettings, whose tool takes and prints
// values as GVariant text; the quoting and the reading back live here once for all three.

#include "commandrunner.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>
#include <utility>

// `text` as a GVariant string, quoted for gsettings.
QString gvariantString(const QString &text);
// The string gsettings printed as GVariant text; nothing when it is no string.
std::optional<QString> parseGVariantString(const QByteArray &output);
// The picture `key` of `schema` names, as a local path; nothing when it cannot be read.
std::optional<QString> readGsetting(const CommandRunner &runner, const QString &schema,
                                    const QString &key);
// Sets each key of `schema` to its value (GVariant text) in turn; the error text, or nothing.
std::optional<QString> writeGsettings(const CommandRunner &runner, const QString &schema,
                                      const QList<std::pair<QString, QString>> &values);
