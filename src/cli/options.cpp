#include "options.h"

#include "completions.h"

#include "day/daycycle.h"
#include "model/appmodel.h"
#include "model/lookfields.h"
#include "model/unsplashsearch.h"
#include "model/valuetypes.h"
#include "update/updaterviewmodel.h"

#include <algorithm>
#include <cstdio>

namespace {

const char kSynopsis[] =
    "Aufruf: voskan-render [--style S] [--size BREITExHÖHE | --preset N]\n"
    "                      [--set FELD=WERT …] [--dark-style S] [--dark-set FELD=WERT …]\n"
    "                      [--dark-photo FOTO] [--day-cycle N] [--preview] [--timings]\n"
    "                      FOTO AUSGABE.png|.heic\n"
    "       voskan-render --unsplash TEXT [--pick N] [--key KEY] [Optionen] AUSGABE.png|.heic\n"
    "       voskan-render --set-desktop [Optionen] FOTO | --unsplash TEXT\n"
    "       voskan-render --daily TEXT [--at HH:MM | --at-login] [Optionen] | --daily-off\n"
    "       voskan-render --daily-run [--once-a-day]\n"
    "       voskan-render --follow | --completion SHELL | --version | --help\n"
    "\n"
    "Rendert das Wallpaper eines Fotos als PNG: 16 Bit je Kanal in voller Größe,\n"
    "mit --preview 8 Bit in Vorschaugröße (längste Seite höchstens 1800 Pixel).\n"
    "Endet die Ausgabe auf .heic, entsteht ein dynamisches Wallpaper mit einem Bild\n"
    "für „Hell“ und einem für „Dunkel“.\n"
    "\n";

// A new option is a row here and a case of parse(), which the compiler asks for.
constexpr CliOptionRow kOptions[] = {
    {CliOption::Style, "--style", "S", CliValue::Style, "Stil", "Stil: {styles} (Standard: blur)"},
    {CliOption::Size, "--size", "BxH", CliValue::Text, "Ausgabegröße in Pixeln (BREITExHÖHE)",
     "Ausgabegröße in Pixeln, z. B. 6016x3384"},
    {CliOption::Preset, "--preset", "N", CliValue::Preset, "Größe aus der Liste",
     "Größe aus der Liste (1–{last}), Standard 1:\n{presets}"},
    {CliOption::Set, "--set", "FELD=WERT", CliValue::Field, "ein Parameter des Looks",
     "ein Parameter des Looks, z. B. blur=30, flowBands=2,\n"
     "flowColor0=#ff8800 (mehrfach möglich). Felder:\n{fields}"},
    {CliOption::DarkStyle, "--dark-style", "S", CliValue::Style, "Stil des dunklen Bildes",
     "Stil des dunklen Bildes (nur .heic)"},
    {CliOption::DarkSet, "--dark-set", "FELD=WERT", CliValue::Field,
     "ein Parameter des dunklen Looks", "ein Parameter des dunklen Looks (nur .heic)"},
    {CliOption::DarkPhoto, "--dark-photo", "F", CliValue::File, "eigenes Foto für das dunkle Bild",
     "eigenes Foto für das dunkle Bild (nur .heic)"},
    {CliOption::DayCycle, "--day-cycle", "N", CliValue::Count,
     "Tagesverlauf: Bilder, die dem Sonnenstand folgen",
     "„Tagesverlauf“: statt „Hell“ und „Dunkel“ N Bilder ({counts}),\n"
     "die dem Sonnenstand folgen: die Nacht im dunklen, der Tag im hellen\n"
     "Bild, dazwischen Morgen- und Abenddämmerung (nur .heic und\n"
     "--set-desktop)"},
    {CliOption::Unsplash, "--unsplash", "TEXT", CliValue::Text,
     "ein Unsplash-Treffer statt eines Fotos",
     "statt FOTO: ein Unsplash-Treffer für TEXT (mit dem gespeicherten\n"
     "Access-Key oder --key)"},
    {CliOption::Pick, "--pick", "N", CliValue::Text, "der N-te Treffer",
     "der N-te Treffer von --unsplash (Standard 1)"},
    {CliOption::Key, "--key", "KEY", CliValue::Text, "Unsplash-Access-Key",
     "der Unsplash-Access-Key für --unsplash"},
    {CliOption::Preview, "--preview", "", CliValue::None, "Vorschau statt voller Größe",
     "Vorschau statt voller Größe"},
    {CliOption::Timings, "--timings", "", CliValue::None, "Zeiten ausgeben",
     "Zeiten für Dekodieren, Vorbereiten und Rendern ausgeben"},
    {CliOption::SetDesktop, "--set-desktop", "", CliValue::None, "als Schreibtisch setzen",
     "statt einer Ausgabedatei: als dynamisches Wallpaper auf allen\n"
     "Bildschirmen setzen, wie die Taste „Als Schreibtisch setzen“;\n"
     "ein dynamisches Wallpaper als FOTO ohne --style/--set so, wie es ist"},
    {CliOption::Follow, "--follow", "", CliValue::None, "dem Erscheinungsbild folgen",
     "im Hintergrund laufen und auf Arbeitsumgebungen mit nur einem\n"
     "Bild das helle oder dunkle Bild zum Erscheinungsbild zeigen"},
    {CliOption::Daily, "--daily", "TEXT", CliValue::Text, "Täglich neu: ein neues Foto jeden Tag",
     "„Täglich neu“: jeden Tag (--at, Standard 08:00; ein Tag, an dem\n"
     "der Rechner aus war, bei der nächsten Anmeldung) ein neuer\n"
     "Unsplash-Treffer für TEXT, im Look der Optionen als Schreibtisch"},
    {CliOption::At, "--at", "HH:MM", CliValue::Text, "Uhrzeit von Täglich neu",
     "die Uhrzeit von --daily (Standard 08:00)"},
    {CliOption::AtLogin, "--at-login", "", CliValue::None, "Täglich neu bei der Anmeldung",
     "--daily stattdessen bei der Anmeldung, einmal am Tag"},
    {CliOption::DailyOff, "--daily-off", "", CliValue::None, "Täglich neu ausschalten",
     "„Täglich neu“ ausschalten"},
    {CliOption::DailyRun, "--daily-run", "", CliValue::None, "das Bild des Tages jetzt setzen",
     "das Bild von „Täglich neu“ jetzt holen und setzen (das tut der Timer)"},
    {CliOption::OnceADay, "--once-a-day", "", CliValue::None,
     "nur, wenn es heute noch nicht geschah",
     "mit --daily-run: nichts tun, wenn es heute schon geschah"},
    {CliOption::Completion, "--completion", "SHELL", CliValue::Shell,
     "die Vervollständigung für eine Shell ausgeben",
     "die Vervollständigung dieser Optionen für {shells} ausgeben"},
    {CliOption::Version, "--version", "", CliValue::None, "Version ausgeben",
     "die Version ausgeben"},
    {CliOption::Help, "--help", "", CliValue::None, "Hilfe ausgeben", "diese Hilfe ausgeben (-h)"},
};

// Each option once, in the enumeration's order, so the table's row of an option is found by it.
constexpr bool inEnumerationOrder()
{
    int i = 0;
    for (const CliOptionRow &row : kOptions)
        if (int(row.option) != i++)
            return false;
    return i == int(CliOption::Help) + 1;
}
static_assert(inEnumerationOrder());

// "a, b oder c"
QString listed(const QStringList &words)
{
    QStringList all = words;
    const QString last = all.takeLast();
    return all.isEmpty() ? last : all.join(QStringLiteral(", ")) + QStringLiteral(" oder ") + last;
}

// The table's options as the help lists them: the option and its value in a column, the text
// beside it, or below when the two do not fit.
QString optionsHelp()
{
    const auto &presets = ResolutionPreset::all();
    QStringList presetLines;
    for (int i = 0; i < presets.size() - 1; ++i)
        presetLines << QStringLiteral("  %1  %2").arg(i + 1).arg(presets[i].name);
    const QList<std::pair<QString, QString>> lists{
        {QStringLiteral("{styles}"), listed(cliWords(CliValue::Style))},
        {QStringLiteral("{presets}"), presetLines.join(QLatin1Char('\n'))},
        {QStringLiteral("{last}"), QString::number(presets.size() - 1)},
        {QStringLiteral("{fields}"), cliWords(CliValue::Field).join(QStringLiteral(", "))},
        {QStringLiteral("{counts}"), listed(cliWords(CliValue::Count))},
        {QStringLiteral("{shells}"), listed(cliWords(CliValue::Shell))},
    };
    constexpr int kColumn = 19;
    const QString indent(kColumn, QLatin1Char(' '));
    QString help;
    for (const CliOptionRow &row : kOptions) {
        QString text = QString::fromUtf8(row.help);
        for (const auto &[token, words] : lists)
            text.replace(token, words);
        QString head = QStringLiteral("  ") + QLatin1String(row.name);
        if (*row.placeholder)
            head += QLatin1Char(' ') + QLatin1String(row.placeholder);
        help +=
            head.size() < kColumn ? head.leftJustified(kColumn) : head + QLatin1Char('\n') + indent;
        help += text.replace(QLatin1Char('\n'), QLatin1Char('\n') + indent) + QLatin1Char('\n');
    }
    return help;
}

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

std::span<const CliOptionRow> cliOptions()
{
    return kOptions;
}

const CliOptionRow *cliOption(QStringView name)
{
    if (name == u"-h")
        return &kOptions[int(CliOption::Help)];
    for (const CliOptionRow &row : kOptions)
        if (name == QLatin1String(row.name))
            return &row;
    return nullptr;
}

QStringList cliWords(CliValue value)
{
    QStringList words;
    switch (value) {
    case CliValue::Style:
        for (const WallpaperStyle style : allCases<WallpaperStyle>())
            words << rawValue(style);
        break;
    case CliValue::Preset:
        for (qsizetype n = 1; n < ResolutionPreset::all().size(); ++n)
            words << QString::number(n);
        break;
    case CliValue::Field:
        words = LookFields::names();
        break;
    case CliValue::Count:
        for (const int count : DayCycle::kCounts)
            words << QString::number(count);
        break;
    case CliValue::Shell:
        words = completionShells();
        break;
    case CliValue::None:
    case CliValue::Text:
    case CliValue::File:
        break;
    }
    return words;
}

int usage(const QString &problem)
{
    if (!problem.isEmpty())
        std::fprintf(stderr, "voskan-render: %s\n\n", printable(problem).constData());
    // Asked for, the help is the program's output (and what its manual page is held to).
    std::fprintf(problem.isEmpty() ? stdout : stderr, "%s",
                 qPrintable(QString::fromUtf8(kSynopsis) + optionsHelp()));
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
        const CliOptionRow *row = cliOption(arg);
        if (!row) {
            if (arg.startsWith(QLatin1String("--")))
                return usage(QStringLiteral("Unbekannte Option „%1“.").arg(arg));
            positional << arg;
            continue;
        }
        switch (row->option) {
        case CliOption::Help:
            usage();
            return 0;
        case CliOption::Version:
            std::printf("voskan-render %s\n", qPrintable(UpdaterViewModel::buildVersion()));
            return 0;
        case CliOption::Completion: {
            const auto v = value();
            const std::optional<QString> script = v ? completionScript(*v) : std::nullopt;
            if (!script)
                return usage(QStringLiteral("--completion erwartet %1.")
                                 .arg(listed(cliWords(CliValue::Shell))));
            std::printf("%s", script->toUtf8().constData());
            return 0;
        }
        case CliOption::Style:
        case CliOption::DarkStyle: {
            const auto v = value();
            const auto style = v ? fromRawValue<WallpaperStyle>(*v) : std::nullopt;
            if (!style)
                return usage(
                    QStringLiteral("%1 erwartet %2.").arg(arg, listed(cliWords(CliValue::Style))));
            (row->option == CliOption::Style ? o.looks.light : o.looks.dark).style = *style;
            o.styled = true;
            o.looks.darkChosen = o.looks.darkChosen || row->option == CliOption::DarkStyle;
            break;
        }
        case CliOption::Size: {
            const auto v = value();
            const auto size = v ? parseSize(*v) : std::nullopt;
            if (!size)
                return usage(QStringLiteral("--size erwartet BREITExHÖHE, z. B. 6016x3384."));
            // Refused before the photo is even read, as in the window.
            if (const auto error = RenderPipeline::sizeError(*size))
                return usage(*error);
            o.size = *size;
            break;
        }
        case CliOption::Preset: {
            const auto v = value();
            bool ok = false;
            const int n = v ? v->toInt(&ok) : 0;
            const auto &all = ResolutionPreset::all();
            if (!ok || n < 1 || n >= all.size())
                return usage(QStringLiteral("--preset erwartet eine Zahl von 1 bis %1.")
                                 .arg(all.size() - 1));
            o.size = {all[n - 1].width, all[n - 1].height};
            break;
        }
        case CliOption::Set:
        case CliOption::DarkSet: {
            const auto v = value();
            const qsizetype eq = v ? v->indexOf(QLatin1Char('=')) : -1;
            if (eq <= 0)
                return usage(QStringLiteral("%1 erwartet FELD=WERT.").arg(arg));
            QString error;
            Look scratch;
            if (!LookFields::set(scratch, v->left(eq), v->mid(eq + 1), &error))
                return usage(error);
            (row->option == CliOption::Set ? o.looks.sets : o.looks.darkSets)
                << qMakePair(v->left(eq), v->mid(eq + 1));
            o.looks.darkChosen = o.looks.darkChosen || row->option == CliOption::DarkSet;
            break;
        }
        case CliOption::DarkPhoto: {
            const auto v = value();
            if (!v)
                return usage(QStringLiteral("--dark-photo erwartet eine Datei."));
            o.darkPhoto = *v;
            break;
        }
        case CliOption::DayCycle: {
            const auto v = value();
            bool ok = false;
            o.dayCycle = v ? v->toInt(&ok) : 0;
            if (!ok || !std::ranges::count(DayCycle::kCounts, o.dayCycle))
                return usage(QStringLiteral("--day-cycle erwartet %1 Bilder.")
                                 .arg(listed(cliWords(CliValue::Count))));
            break;
        }
        case CliOption::Unsplash:
        case CliOption::Key: {
            const auto v = value();
            if (!v)
                return usage(QStringLiteral("%1 erwartet einen Text.").arg(arg));
            (row->option == CliOption::Key ? o.key : o.unsplashQuery) = *v;
            break;
        }
        case CliOption::Pick: {
            const auto v = value();
            bool ok = false;
            o.pick = v ? v->toInt(&ok) : 0;
            if (!ok || o.pick < 1 || o.pick > UnsplashSearch::kHitsPerPage)
                return usage(QStringLiteral("--pick erwartet eine Zahl von 1 bis %1.")
                                 .arg(UnsplashSearch::kHitsPerPage));
            break;
        }
        case CliOption::Preview:
            o.preview = true;
            break;
        case CliOption::SetDesktop:
            o.setDesktop = true;
            break;
        case CliOption::Follow:
            o.follow = true;
            break;
        case CliOption::Timings:
            o.timings = true;
            break;
        // „Täglich neu“ is read before the rest (main.cpp): here these stand without the
        // option they belong to, or in the stored options of a daily run.
        case CliOption::At:
        case CliOption::AtLogin:
            return usage(QStringLiteral("%1 gilt nur zusammen mit --daily.").arg(arg));
        case CliOption::OnceADay:
            return usage(QStringLiteral("--once-a-day gilt nur zusammen mit --daily-run."));
        case CliOption::Daily:
        case CliOption::DailyOff:
        case CliOption::DailyRun:
            return usage(QStringLiteral("%1 steht nicht unter den Optionen eines Looks.").arg(arg));
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
