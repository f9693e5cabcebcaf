#include "lookfields.h"

#include <QLocale>

#include <functional>
#include <utility>
#include <vector>

namespace LookFields {
namespace {

using Setter = std::function<bool(Look &, const QString &)>;

bool parseDouble(const QString &text, double &out)
{
    bool ok = false;
    const double v = QLocale::c().toDouble(text.trimmed(), &ok);
    if (ok)
        out = v;
    return ok;
}

Setter number(double Look::*member)
{
    return [member](Look &look, const QString &text) { return parseDouble(text, look.*member); };
}

Setter color(QColor Look::*member)
{
    return [member](Look &look, const QString &text) {
        const QColor c = QColor::fromString(text.trimmed());
        if (!c.isValid() || !text.trimmed().startsWith(QLatin1Char('#')))
            return false;
        look.*member = c;
        return true;
    };
}

const std::vector<std::pair<QString, Setter>> &setters()
{
    static const std::vector<std::pair<QString, Setter>> table = {
        {QStringLiteral("style"),
         [](Look &look, const QString &text) {
             const auto style = fromRawValue<WallpaperStyle>(text.trimmed());
             if (style)
                 look.style = *style;
             return bool(style);
         }},
        {QStringLiteral("blur"), number(&Look::blur)},
        {QStringLiteral("brightness"), number(&Look::brightness)},
        {QStringLiteral("saturation"), number(&Look::saturation)},
        {QStringLiteral("contrast"), number(&Look::contrast)},
        {QStringLiteral("dither"), number(&Look::dither)},
        {QStringLiteral("flowColor0"), color(&Look::flowColor0)},
        {QStringLiteral("flowColor1"), color(&Look::flowColor1)},
        {QStringLiteral("flowColor2"), color(&Look::flowColor2)},
        {QStringLiteral("flowBands"),
         [](Look &look, const QString &text) {
             bool ok = false;
             const qint64 v = text.trimmed().toLongLong(&ok);
             if (ok)
                 look.flowBands = v;
             return ok;
         }},
        {QStringLiteral("flowAmplitude"), number(&Look::flowAmplitude)},
        {QStringLiteral("flowFrequency"), number(&Look::flowFrequency)},
        {QStringLiteral("flowSharpness"), number(&Look::flowSharpness)},
        {QStringLiteral("flowEdgeSoftness"), number(&Look::flowEdgeSoftness)},
        {QStringLiteral("flowPhase"), number(&Look::flowPhase)},
        {QStringLiteral("mirrorLine"), number(&Look::mirrorLine)},
        {QStringLiteral("mirrorAmplitude"), number(&Look::mirrorAmplitude)},
        {QStringLiteral("mirrorFrequency"), number(&Look::mirrorFrequency)},
        {QStringLiteral("mirrorPhase"), number(&Look::mirrorPhase)},
        {QStringLiteral("mirrorHardness"), number(&Look::mirrorHardness)},
        {QStringLiteral("mirrorDepth"), number(&Look::mirrorDepth)},
        {QStringLiteral("mirrorSideFade"), number(&Look::mirrorSideFade)},
    };
    return table;
}

} // namespace

QStringList names()
{
    QStringList out;
    for (const auto &entry : setters())
        out << entry.first;
    return out;
}

bool set(Look &look, const QString &field, const QString &value, QString *error)
{
    for (const auto &[name, setter] : setters()) {
        if (name != field)
            continue;
        Look changed = look;
        if (!setter(changed, value)) {
            if (error)
                *error = QStringLiteral("Ungültiger Wert für „%1“: „%2“").arg(field, value);
            return false;
        }
        look = std::move(changed);
        return true;
    }
    if (error)
        *error = QStringLiteral("Unbekanntes Feld „%1“. Bekannt sind: %2")
                     .arg(field, names().join(QStringLiteral(", ")));
    return false;
}

} // namespace LookFields
