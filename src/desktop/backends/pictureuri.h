#pragma once

// Desktops name the picture they show as a file URI or as a plain path, whichever their
// settings happen to keep; both are turned into the local path our file names are compared in.

#include <QString>

#include <optional>

// A file URI or a plain path, as a local path.
std::optional<QString> localPath(const QString &uriOrPath);
// `path` as a file URI with every byte a URI may not hold percent-encoded.
QString fileUri(const QString &path);
