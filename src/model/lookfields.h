#pragma once

// Sets a Look's style parameters by their names, from text: the scripting surface of the
// headless renderer. Numbers use a decimal point, colours are "#rrggbb".

#include "model/look.h"

#include <QString>
#include <QStringList>

namespace LookFields {

// The names accepted by set(), in the order of the Look.
QStringList names();

// Every field of `look` as "field=value", which set() reads back to the same look; the flow
// colours only with `colours` (a look for photos yet to come takes them from each photo).
QStringList assignments(const Look &look, bool colours);

// False with a German message in `error` when the field is unknown or the value does not parse.
bool set(Look &look, const QString &field, const QString &value, QString *error);

} // namespace LookFields
