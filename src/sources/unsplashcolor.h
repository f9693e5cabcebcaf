#pragma once

// A hit's dominant colour fills its tile until the thumbnail arrives. The text comes from the
// server, so it is read strictly, in a function of its own that the tests can feed anything.

#include <QColor>
#include <QString>

#include <optional>

// The colour of a search hit's "color" field, "#rrggbb" as the service sends it, opaque.
// Any number of "#" at either end is ignored; anything but exactly six hexadecimal digits
// in between (short forms, alpha, stray characters) has no colour.
std::optional<QColor> colorFromHex(const std::optional<QString> &text);
