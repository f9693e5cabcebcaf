#include "lookfields.h"

#include "render/renderbounds.h"

#include <QLocale>

#include <functional>
#include <optional>
#include <vector>

namespace LookFields {
namespace {

using Setter = std::function<bool(Look &, const QString &)>;
using Getter = std::function<QString(const Look &)>;

// Out of range, and "inf" and "nan" (which the C locale parses), count as not parsing.
bool parseDouble(const QString &text, RenderBounds::Range range, double &out)
{
    bool ok = false;
    const double v = QLocale::c().toDouble(text.trimmed(), &ok);
    if (!ok || !range.contains(v))
        return false;
    out = v;
    return true;
}

struct Field
{
    QString name;
    Setter set;
    Getter get;
    std::optional<RenderBounds::Range> range = std::nullopt; // numbers only, named in the message
};

Field number(const QString &name, double Look::*member, RenderBounds::Range range)
{
    return {name,
            [member, range](Look &look, const QString &text) {
                return parseDouble(text, range, look.*member);
            },
            // The shortest form that reads back to the same double.
            [member](const Look &look) {
                return QLocale::c().toString(look.*member, 'g', QLocale::FloatingPointShortest);
            },
            range};
}

Getter colorValue(QColor Look::*member)
{
    return [member](const Look &look) { return (look.*member).name(QColor::HexRgb); };
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

const std::vector<Field> &setters()
{
    static const std::vector<Field> table = {
        {QStringLiteral("style"),
         [](Look &look, const QString &text) {
             const auto style = fromRawValue<WallpaperStyle>(text.trimmed());
             if (style)
                 look.style = *style;
             return bool(style);
         },
         [](const Look &look) { return rawValue(look.style); }},
        number(QStringLiteral("blur"), &Look::blur, RenderBounds::blur),
        number(QStringLiteral("brightness"), &Look::brightness, RenderBounds::brightness),
        number(QStringLiteral("saturation"), &Look::saturation, RenderBounds::saturation),
        number(QStringLiteral("contrast"), &Look::contrast, RenderBounds::contrast),
        number(QStringLiteral("dither"), &Look::dither, RenderBounds::dither),
        {QStringLiteral("flowColor0"), color(&Look::flowColor0), colorValue(&Look::flowColor0)},
        {QStringLiteral("flowColor1"), color(&Look::flowColor1), colorValue(&Look::flowColor1)},
        {QStringLiteral("flowColor2"), color(&Look::flowColor2), colorValue(&Look::flowColor2)},
        {QStringLiteral("flowBands"),
         [](Look &look, const QString &text) {
             bool ok = false;
             const qint64 v = text.trimmed().toLongLong(&ok);
             if (ok)
                 look.flowBands = v;
             return ok;
         },
         [](const Look &look) { return QString::number(look.flowBands); }},
        number(QStringLiteral("flowAmplitude"), &Look::flowAmplitude, RenderBounds::amplitude),
        number(QStringLiteral("flowFrequency"), &Look::flowFrequency, RenderBounds::frequency),
        number(QStringLiteral("flowSharpness"), &Look::flowSharpness, RenderBounds::shape),
        number(QStringLiteral("flowEdgeSoftness"), &Look::flowEdgeSoftness, RenderBounds::shape),
        number(QStringLiteral("flowPhase"), &Look::flowPhase, RenderBounds::phase),
        number(QStringLiteral("mirrorLine"), &Look::mirrorLine, RenderBounds::line),
        number(QStringLiteral("mirrorAmplitude"), &Look::mirrorAmplitude, RenderBounds::amplitude),
        number(QStringLiteral("mirrorFrequency"), &Look::mirrorFrequency, RenderBounds::frequency),
        number(QStringLiteral("mirrorPhase"), &Look::mirrorPhase, RenderBounds::phase),
        number(QStringLiteral("mirrorHardness"), &Look::mirrorHardness, RenderBounds::shape),
        number(QStringLiteral("mirrorDepth"), &Look::mirrorDepth, RenderBounds::shape),
        number(QStringLiteral("mirrorSideFade"), &Look::mirrorSideFade, RenderBounds::shape),
    };
    return table;
}

} // namespace

QStringList names()
{
    QStringList out;
    for (const Field &entry : setters())
        out << entry.name;
    return out;
}

QStringList assignments(const Look &look, bool colours)
{
    QStringList out;
    for (const Field &entry : setters()) {
        if (colours || !entry.name.startsWith(QLatin1String("flowColor")))
            out << entry.name + QLatin1Char('=') + entry.get(look);
    }
    return out;
}

bool set(Look &look, const QString &field, const QString &value, QString *error)
{
    for (const Field &entry : setters()) {
        if (entry.name != field)
            continue;
        Look changed = look;
        if (!entry.set(changed, value)) {
            if (error) {
                *error = QStringLiteral("Ungültiger Wert für „%1“: „%2“").arg(field, value);
                if (entry.range)
                    *error += QStringLiteral(" (erlaubt ist eine Zahl von %1 bis %2)")
                                  .arg(QLocale::c().toString(entry.range->min),
                                       QLocale::c().toString(entry.range->max));
            }
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
