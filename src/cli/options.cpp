#include "options.h"

#include "day/daycycle.h"
#include "model/appmodel.h"
#include "model/lookfields.h"
#include "model/unsplashsearch.h"
#include "model/valuetypes.h"
#include "update/updaterviewmodel.h"

#include <algorithm>
#include <cstdio>

namespace {

const char kUsage[] =
    "Aufruf: voskan-render [--style blur|flow|mirror] [--size BREITExHÖHE | --preset N]\n"
    "                      [--set FELD=WERT …] [--dark-style S] [--dark-set FELD=WERT …]\n"
    "                      [--dark-photo FOTO] [--day-cycle N] [--preview] [--timings]\n"
    "                      FOTO AUSGABE.png|.heic\n"
    "       voskan-render --unsplash TEXT [--pick N] [--key KEY] [Optionen] AUSGABE.png|.heic\n"
    "       voskan-render --set-desktop [Optionen] FOTO | --unsplash TEXT\n"
    "       voskan-render --follow | --version | --help\n"
    "       voskan-render --daily TEXT [--at HH:MM | --at-login] [Optionen] | --daily-off\n"
    "\n"
    "Rendert das Wallpaper eines Fotos als PNG: 16 Bit je Kanal in voller Größe,\n"
    "mit --preview 8 Bit in Vorschaugröße (längste Seite höchstens 1800 Pixel).\n"
    "Endet die Ausgabe auf .heic, entsteht ein dynamisches Wallpaper mit einem Bild\n"
    "für „Hell“ und einem für „Dunkel“.\n"
    "\n"
    "  --style S        Stil: blur, flow oder mirror (Standard: blur)\n"
    "  --size BxH       Ausgabegröße in Pixeln, z. B. 6016x3384\n"
    "  --preset N       Größe aus der Liste (1–8), Standard 1:\n"
    "%1"
    "  --set FELD=WERT  ein Parameter des Looks, z. B. blur=30, flowBands=2,\n"
    "                   flowColor0=#ff8800 (mehrfach möglich). Felder:\n"
    "                   %2\n"
    "  --dark-style S, --dark-set FELD=WERT\n"
    "                   dasselbe für das dunkle Bild (nur .heic)\n"
    "  --dark-photo F   eigenes Foto für das dunkle Bild (nur .heic)\n"
    "  --day-cycle N    „Tagesverlauf“: statt „Hell“ und „Dunkel“ N Bilder (%3),\n"
    "                   die dem Sonnenstand folgen: die Nacht im dunklen, der Tag im hellen\n"
    "                   Bild, dazwischen Morgen- und Abenddämmerung (nur .heic und\n"
    "                   --set-desktop)\n"
    "  --unsplash TEXT  statt FOTO: ein Unsplash-Treffer für TEXT (mit dem gespeicherten\n"
    "                   Access-Key oder --key KEY), --pick N wählt den N-ten (Standard 1)\n"
    "  --preview        Vorschau statt voller Größe\n"
    "  --timings        Zeiten für Dekodieren, Vorbereiten und Rendern ausgeben\n"
    "  --set-desktop    statt einer Ausgabedatei: als dynamisches Wallpaper auf allen\n"
    "                   Bildschirmen setzen, wie die Taste „Als Schreibtisch setzen“;\n"
    "                   ein dynamisches Wallpaper als FOTO ohne --style/--set so, wie es ist\n"
    "  --follow         im Hintergrund laufen und auf Arbeitsumgebungen mit nur einem\n"
    "                   Bild das helle oder dunkle Bild zum Erscheinungsbild zeigen\n"
    "  --daily TEXT     „Täglich neu“: jeden Tag (--at, Standard 08:00; ein Tag, an dem\n"
    "                   der Rechner aus war, bei der nächsten Anmeldung) ein neuer\n"
    "                   Unsplash-Treffer für TEXT, im Look der Optionen als Schreibtisch;\n"
    "                   --at-login: stattdessen bei der Anmeldung, einmal am Tag\n"
    "  --daily-off      „Täglich neu“ ausschalten\n";

std::optional<RenderPipeline::PixelSize> parseSize(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char('x'));
    if (parts.size() != 2)
        return std::nullopt;
    bool okW = false, okH = false;
    const qint64 w = parts[0].toLongLong(&okW), h = parts[1].toLongLong(&okH);
    if (!okW || !okH || w < 1 || h < 1)
        return std::nullopt;
    return RenderPipeline::PixelSize{w, h};
}

// "5, 8 oder 16"
QString countsText()
{
    QStringList counts;
    for (int count : DayCycle::kCounts)
        counts << QString::number(count);
    const QString last = counts.takeLast();
    return counts.join(QStringLiteral(", ")) + QStringLiteral(" oder ") + last;
}

} // namespace

QByteArray printable(const QString &text)
{
    QString shown;
    shown.reserve(text.size());
    for (const QChar c : text) {
        if (c.category() == QChar::Other_Control && c != u'\n' && c != u'\t')
            shown += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            shown += c;
    }
    return shown.toLocal8Bit();
}

int usage(const QString &problem)
{
    QString presets;
    const auto &all = ResolutionPreset::all();
    for (int i = 0; i < all.size() - 1; ++i)
        presets += QStringLiteral("                     %1  %2\n").arg(i + 1).arg(all[i].name);
    if (!problem.isEmpty())
        std::fprintf(stderr, "voskan-render: %s\n\n", printable(problem).constData());
    // Asked for, the help is the program's output (and the source of its manual page).
    std::fprintf(problem.isEmpty() ? stdout : stderr, "%s",
                 qPrintable(QString::fromUtf8(kUsage).arg(
                     presets, LookFields::names().join(QStringLiteral(", ")), countsText())));
    return 2;
}

int fail(const QString &message)
{
    std::fprintf(stderr, "voskan-render: %s\n", printable(message).constData());
    return 1;
}

std::optional<int> parse(const QStringList &args, Options &o)
{
    QStringList positional;
    for (int i = 1; i < args.size(); ++i) {
        const QString &arg = args[i];
        const auto value = [&]() -> std::optional<QString> {
            if (i + 1 >= args.size())
                return std::nullopt;
            return args[++i];
        };
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            usage();
            return 0;
        } else if (arg == QLatin1String("--version")) {
            std::printf("voskan-render %s\n", qPrintable(UpdaterViewModel::buildVersion()));
            return 0;
        } else if (arg == QLatin1String("--style") || arg == QLatin1String("--dark-style")) {
            const auto v = value();
            const auto style = v ? fromRawValue<WallpaperStyle>(*v) : std::nullopt;
            if (!style)
                return usage(QStringLiteral("%1 erwartet blur, flow oder mirror.").arg(arg));
            (arg == QLatin1String("--style") ? o.looks.light : o.looks.dark).style = *style;
            o.styled = true;
            o.looks.darkChosen = o.looks.darkChosen || arg == QLatin1String("--dark-style");
        } else if (arg == QLatin1String("--size")) {
            const auto v = value();
            const auto size = v ? parseSize(*v) : std::nullopt;
            if (!size)
                return usage(QStringLiteral("--size erwartet BREITExHÖHE, z. B. 6016x3384."));
            // Refused before the photo is even read, as in the window.
            if (const auto error = RenderPipeline::sizeError(*size))
                return usage(*error);
            o.size = *size;
        } else if (arg == QLatin1String("--preset")) {
            const auto v = value();
            bool ok = false;
            const int n = v ? v->toInt(&ok) : 0;
            const auto &all = ResolutionPreset::all();
            if (!ok || n < 1 || n >= all.size())
                return usage(QStringLiteral("--preset erwartet eine Zahl von 1 bis %1.")
                                 .arg(all.size() - 1));
            o.size = {all[n - 1].width, all[n - 1].height};
        } else if (arg == QLatin1String("--set") || arg == QLatin1String("--dark-set")) {
            const auto v = value();
            const qsizetype eq = v ? v->indexOf(QLatin1Char('=')) : -1;
            if (eq <= 0)
                return usage(QStringLiteral("%1 erwartet FELD=WERT.").arg(arg));
            QString error;
            Look scratch;
            if (!LookFields::set(scratch, v->left(eq), v->mid(eq + 1), &error))
                return usage(error);
            (arg == QLatin1String("--set") ? o.looks.sets : o.looks.darkSets)
                << qMakePair(v->left(eq), v->mid(eq + 1));
            o.looks.darkChosen = o.looks.darkChosen || arg == QLatin1String("--dark-set");
        } else if (arg == QLatin1String("--dark-photo")) {
            const auto v = value();
            if (!v)
                return usage(QStringLiteral("--dark-photo erwartet eine Datei."));
            o.darkPhoto = *v;
        } else if (arg == QLatin1String("--day-cycle")) {
            const auto v = value();
            bool ok = false;
            o.dayCycle = v ? v->toInt(&ok) : 0;
            if (!ok || !std::ranges::count(DayCycle::kCounts, o.dayCycle))
                return usage(QStringLiteral("--day-cycle erwartet %1 Bilder.").arg(countsText()));
        } else if (arg == QLatin1String("--unsplash") || arg == QLatin1String("--key")) {
            const auto v = value();
            if (!v)
                return usage(QStringLiteral("%1 erwartet einen Text.").arg(arg));
            (arg == QLatin1String("--key") ? o.key : o.unsplashQuery) = *v;
        } else if (arg == QLatin1String("--pick")) {
            const auto v = value();
            bool ok = false;
            o.pick = v ? v->toInt(&ok) : 0;
            if (!ok || o.pick < 1 || o.pick > UnsplashSearch::kHitsPerPage)
                return usage(QStringLiteral("--pick erwartet eine Zahl von 1 bis %1.")
                                 .arg(UnsplashSearch::kHitsPerPage));
        } else if (arg == QLatin1String("--preview")) {
            o.preview = true;
        } else if (arg == QLatin1String("--set-desktop")) {
            o.setDesktop = true;
        } else if (arg == QLatin1String("--follow")) {
            o.follow = true;
        } else if (arg == QLatin1String("--timings")) {
            o.timings = true;
        } else if (arg.startsWith(QLatin1String("--"))) {
            return usage(QStringLiteral("Unbekannte Option „%1“.").arg(arg));
        } else {
            positional << arg;
        }
    }
    if (o.follow) {
        if (args.size() != 2)
            return usage(QStringLiteral("--follow steht allein."));
        return std::nullopt;
    }
    if (o.dayCycle > 0 && !o.setDesktop &&
        !positional.value(o.unsplashQuery.isEmpty() ? 1 : 0)
             .endsWith(QLatin1String(".heic"), Qt::CaseInsensitive))
        return usage(QStringLiteral("--day-cycle schreibt ein HEIC oder setzt den Schreibtisch "
                                    "(--set-desktop)."));
    if (o.setDesktop) {
        if (positional.size() != (o.unsplashQuery.isEmpty() ? 1 : 0))
            return usage(QStringLiteral("Mit --set-desktop wird nur das Foto angegeben."));
        if (!positional.isEmpty())
            o.photo = positional[0];
        return std::nullopt;
    }
    if (!o.unsplashQuery.isEmpty()) {
        if (positional.size() != 1)
            return usage(QStringLiteral("Mit --unsplash wird nur die Ausgabedatei angegeben."));
        o.output = positional[0];
        return std::nullopt;
    }
    if (positional.size() != 2)
        return usage(QStringLiteral("Erwartet werden genau ein Foto und eine Ausgabedatei."));
    o.photo = positional[0];
    o.output = positional[1];
    return std::nullopt;
}
