// voskan-render: renders one look of a photo without the window, for scripts and benchmarks.

#include "daily/dailywallpaper.h"
#include "day/dayschedule.h"
#include "files/outputfile.h"
#include "follower/schemefollower.h"
#include "follower/sessiondesktop.h"
#include "heic/dynamicwallpaper.h"
#include "heic/pngwriter.h"
#include "model/appmodel.h"
#include "model/look.h"
#include "model/lookfields.h"
#include "model/palette.h"
#include "model/renderpipeline.h"
#include "model/usersettings.h"
#include "model/valuetypes.h"
#include "render/blurprocessor.h"
#include "render/imagedecoder.h"
#include "sources/unsplashservice.h"
#include "update/updaterviewmodel.h"

#include "terminalprogress.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLocale>
#include <QPointer>
#include <QStringList>

#include <cstdio>
#include <optional>

namespace {

const char kUsage[] =
    "Aufruf: voskan-render [--style blur|flow|mirror] [--size BREITExHÖHE | --preset N]\n"
    "                      [--set FELD=WERT …] [--dark-style S] [--dark-set FELD=WERT …]\n"
    "                      [--dark-photo FOTO] [--preview] [--timings] FOTO AUSGABE.png|.heic\n"
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

// `text` as it may reach a terminal: a control character in what it quotes (a path, an option,
// a photographer's name) shown as its escape, never handed to the terminal to act on. Line
// breaks and tabs stay.
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

int usage(const QString &problem = {})
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
                     presets, LookFields::names().join(QStringLiteral(", ")))));
    return 2;
}

int fail(const QString &message)
{
    std::fprintf(stderr, "voskan-render: %s\n", printable(message).constData());
    return 1;
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

struct Options
{
    Look look;
    Look dark = Look::initialDark();
    // Applied after the photo's palette, so a colour given here wins over the photo's.
    QList<QPair<QString, QString>> sets;
    QList<QPair<QString, QString>> darkSets;
    // Without --dark-style or --dark-set the dark look is the light one in the dark tone, as in
    // the window.
    bool darkChosen = false;
    QString darkPhoto;
    RenderPipeline::PixelSize size = {ResolutionPreset::proDisplayXDR().width,
                                      ResolutionPreset::proDisplayXDR().height};
    bool preview = false;
    bool timings = false;
    bool setDesktop = false;
    bool follow = false;
    // A style or a value asked for: a dynamic wallpaper is then a photo like any other.
    bool styled = false;
    QString photo;
    QString output;
    // A search hit instead of a photo file.
    QString unsplashQuery;
    int pick = 1;
    QString key;
    // A daily run: the photo set the day before is passed over; the one chosen and its
    // credit are kept.
    QString avoidPhoto;
    QString chosenPhoto;
    QString credit;
};

// Parses the command line; returns an exit status when it should end the program.
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
            (arg == QLatin1String("--style") ? o.look : o.dark).style = *style;
            o.styled = true;
            o.darkChosen = o.darkChosen || arg == QLatin1String("--dark-style");
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
            (arg == QLatin1String("--set") ? o.sets : o.darkSets)
                << qMakePair(v->left(eq), v->mid(eq + 1));
            o.darkChosen = o.darkChosen || arg == QLatin1String("--dark-set");
        } else if (arg == QLatin1String("--dark-photo")) {
            const auto v = value();
            if (!v)
                return usage(QStringLiteral("--dark-photo erwartet eine Datei."));
            o.darkPhoto = *v;
        } else if (arg == QLatin1String("--unsplash") || arg == QLatin1String("--key")) {
            const auto v = value();
            if (!v)
                return usage(QStringLiteral("%1 erwartet einen Text.").arg(arg));
            (arg == QLatin1String("--key") ? o.key : o.unsplashQuery) = *v;
        } else if (arg == QLatin1String("--pick")) {
            const auto v = value();
            bool ok = false;
            o.pick = v ? v->toInt(&ok) : 0;
            if (!ok || o.pick < 1 || o.pick > AppModel::kHitsPerPage)
                return usage(QStringLiteral("--pick erwartet eine Zahl von 1 bis %1.")
                                 .arg(AppModel::kHitsPerPage));
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

double msSince(QElapsedTimer &timer)
{
    const double ms = double(timer.nsecsElapsed()) / 1e6;
    timer.restart();
    return ms;
}

// The photo enters a look as it does in the app, picture and palette; then the fields given
// on the command line.
void applyPhoto(Look &look, const Bitmap &photo, const QList<QPair<QString, QString>> &sets)
{
    look.source = photo;
    const auto palette = Palette::extractPalette(photo);
    look.flowColor0 = palette[0];
    look.flowColor1 = palette[1];
    look.flowColor2 = palette[2];
    for (const auto &[field, value] : sets)
        LookFields::set(look, field, value, nullptr); // checked while parsing
}

// Searches and downloads a hit the way the window does, report included; prints the credit
// line. The picture, or the German error text.
std::variant<Bitmap, QString> fetchFromUnsplash(Options &o)
{
    const QString key = o.key.isEmpty() ? QString() : AppModel::effectiveKey(o.key);
    QEventLoop loop;
    // The download report goes out after the picture is applied; the service settles it
    // within UnsplashService::kReportDeadline, also when it sends nothing.
    const auto reported = std::make_shared<bool>(false);
    const auto settled = [reported, waiting = QPointer<QEventLoop>(&loop)] {
        *reported = true;
        if (waiting)
            waiting->quit();
    };
    AppModel model({[key, settled](const QString &stored) {
                        return makeReportingUnsplashClient(key.isEmpty() ? stored : key, settled);
                    },
                    {}});
    QObject::connect(model.search(), &UnsplashSearch::isSearchingChanged, &loop, [&] {
        if (!model.isSearching())
            loop.quit();
    });
    model.setQuery(o.unsplashQuery);
    model.runSearch();
    if (model.isSearching())
        loop.exec();
    if (model.errorMessage())
        return *model.errorMessage();
    if (model.results().size() < o.pick)
        return QStringLiteral("Nur %1 Treffer für „%2“.")
            .arg(model.results().size())
            .arg(o.unsplashQuery.trimmed());
    qsizetype index = o.pick - 1;
    if (model.results().at(index).id == o.avoidPhoto && model.results().size() > 1)
        index = (index + 1) % model.results().size(); // never the same photo twice in a row
    const UnsplashPhoto hit = model.results().at(index);
    o.chosenPhoto = hit.id;

    // No time limit of our own: the service ends every download within its deadline with a
    // reason, which a timer here would only cut off.
    const bool reports = hit.links && hit.links->downloadLocation;
    QObject::connect(model.loader(), &PictureLoader::isLoadingChanged, &loop, [&] {
        if (!model.isLoadingSource())
            loop.quit();
    });
    model.select(hit);
    while (model.isLoadingSource() || (reports && !*reported && !model.errorMessage()))
        loop.exec();
    if (model.errorMessage())
        return *model.errorMessage();
    if (!model.lightLook().source)
        return description(ExportError::NoSource);
    o.credit = model.lightLook().attribution.value_or(QString());
    if (model.lightLook().attributionURL)
        o.credit += QLatin1Char('\n') + *model.lightLook().attributionURL;
    std::printf("%s\n", printable(model.lightLook().attribution.value_or(QString())).constData());
    return *model.lightLook().source;
}

// Renders or sets what the options ask for; the exit status.
int render(Options &o);

// The options of a daily run: the stored look, a hit for the stored search, set as desktop.
std::optional<int> dailyOptions(const DailyWallpaper::Settings &daily, Options &o)
{
    return parse(
        QStringList{QStringLiteral("voskan-render")} + daily.options +
            QStringList{QStringLiteral("--unsplash"), daily.query, QStringLiteral("--set-desktop")},
        o);
}

// --daily TEXT [--at HH:MM] [--at-login] [options], --daily-off, --daily-run [--once-a-day]:
// the exit status, or nothing when the command line asks for none of them.
std::optional<int> daily(const QStringList &args)
{
    if (args.contains(QStringLiteral("--daily-off"))) {
        if (args.size() != 2)
            return usage(QStringLiteral("--daily-off steht allein."));
        DailyWallpaper::disable();
        std::printf("„Täglich neu“ ist ausgeschaltet.\n");
        return 0;
    }
    if (args.contains(QStringLiteral("--daily-run"))) {
        const bool once = args.contains(QStringLiteral("--once-a-day"));
        if (args.size() != (once ? 3 : 2))
            return usage(QStringLiteral("--daily-run steht allein (oder mit --once-a-day)."));
        const std::optional<DailyWallpaper::Settings> settings = DailyWallpaper::settings();
        if (!settings)
            return fail(QStringLiteral("„Täglich neu“ ist nicht eingerichtet."));
        if (once && DailyWallpaper::ranToday())
            return 0;
        Options o;
        if (const auto exit = dailyOptions(*settings, o))
            return exit;
        o.avoidPhoto = DailyWallpaper::lastPhoto();
        const int status = render(o);
        if (status == 0)
            DailyWallpaper::recordPhoto(o.chosenPhoto, o.credit);
        return status;
    }
    const qsizetype at = args.indexOf(QStringLiteral("--daily"));
    if (at < 0)
        return std::nullopt;
    DailyWallpaper::Settings settings;
    QStringList rest = args.mid(1);
    rest.remove(at - 1);
    if (at - 1 >= rest.size() || rest.at(at - 1).startsWith(QLatin1String("--")))
        return usage(QStringLiteral("--daily erwartet einen Suchtext."));
    settings.query = rest.takeAt(at - 1).trimmed();
    if (settings.query.isEmpty())
        return usage(QStringLiteral("--daily erwartet einen Suchtext."));
    if (const auto refused = DailyWallpaper::queryRefusal(settings.query))
        return usage(*refused);
    if (const qsizetype time = rest.indexOf(QStringLiteral("--at")); time >= 0) {
        settings.at = QTime::fromString(rest.value(time + 1), QStringLiteral("H:mm"));
        if (!settings.at.isValid())
            return usage(QStringLiteral("--at erwartet eine Uhrzeit wie 7:30."));
        rest.remove(time, 2);
    }
    settings.atLogin = rest.removeAll(QStringLiteral("--at-login")) > 0;
    settings.options = rest;
    // The look is checked now, not at the first run in the night.
    Options o;
    if (const auto exit = dailyOptions(settings, o))
        return exit;
    if (const auto error = DailyWallpaper::enable(settings))
        return fail(*error);
    std::printf("„Täglich neu“: jeden Tag %s ein neues Bild für „%s“.\n",
                settings.atLogin ? "bei der Anmeldung"
                                 : qPrintable(QStringLiteral("um ") +
                                              settings.at.toString(QStringLiteral("HH:mm"))),
                printable(settings.query).constData());
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    OutputFile::removeUnfinishedOnSignals();
    QCoreApplication app(argc, argv);
    if (const auto exit = daily(app.arguments()))
        return *exit;
    Options o;
    if (const auto exit = parse(app.arguments(), o))
        return *exit;
    if (o.follow) {
        SchemeFollower follower(QProcessEnvironment::systemEnvironment());
        bool quietly = false;
        if (const auto reason = follower.start(&quietly)) {
            std::fprintf(stderr, "%s\n", qPrintable(*reason));
            return quietly ? 0 : 1;
        }
        QObject::connect(&follower, &SchemeFollower::finished, &app, &QCoreApplication::quit);
        return app.exec();
    }
    return render(o);
}

namespace {

int render(Options &o)
{
    const bool dynamic =
        o.setDesktop || o.output.endsWith(QLatin1String(".heic"), Qt::CaseInsensitive);

    // Before seconds of decoding and rendering go into a file that could not be written.
    if (!o.setDesktop) {
        if (const auto error = OutputFile::checkDestination(o.output))
            return fail(QStringLiteral("%1: %2").arg(o.output, description(*error)));
    }

    // A dynamic wallpaper made elsewhere is set as what it is, unless a style was asked for.
    if (o.setDesktop && o.unsplashQuery.isEmpty() && !o.styled && o.sets.isEmpty() &&
        !o.darkChosen && o.darkPhoto.isEmpty()) {
        auto opened = DynamicPicture::open(o.photo, QDateTime::currentDateTime());
        if (const auto *dynamic = std::get_if<OpenedDynamic>(&opened)) {
            // What the set goes on without is said here: a place that is none (the zone's city
            // stands in), a zone the day cannot follow through summer time.
            if (dynamic->schedule.kind == ScheduleKind::Solar)
                if (const auto problem = userLocationProblem())
                    std::fprintf(stderr, "%s\n", qPrintable(*problem));
            bool known = true;
            localTimeZone(&known);
            if (dynamic->schedule.kind != ScheduleKind::LightDark && !known)
                std::fprintf(stderr, "%s\n", qPrintable(unknownTimeZoneText()));
            OutputJobs::Request request{
                DynamicPicture::asItIs(Look(), dynamic->lightPicture),
                DynamicPicture::asItIs(Look(), dynamic->darkPicture), o.size, 0,
                OutputJobs::Request::Day::of(dynamic->path, dynamic->schedule)};
            if (const auto error = OutputJobs::setAsDesktop(request, *sessionDesktopService()))
                return fail(*error);
            std::printf("%s\nAls dynamisches Wallpaper gesetzt.\n",
                        qPrintable(summary(dynamic->schedule)));
            return 0;
        }
        if (const QString *broken = std::get_if<QString>(&opened))
            std::fprintf(stderr, "%s: %s Voskan setzt das erste Bild als Foto.\n",
                         printable(o.photo).constData(), printable(*broken).constData());
    }

    QElapsedTimer timer;
    timer.start();
    DecodeResult decoded = DecodeError::FileNotFound;
    if (!o.unsplashQuery.isEmpty()) {
        auto fetched = fetchFromUnsplash(o);
        if (const QString *error = std::get_if<QString>(&fetched))
            return fail(*error);
        decoded = std::get<Bitmap>(fetched);
    } else {
        decoded = ImageDecoder::decodeFile(o.photo);
        if (!decoded.isOk())
            return fail(QStringLiteral("%1: %2").arg(o.photo, decoded.errorString()));
    }
    DecodeResult darkDecoded = decoded;
    if (dynamic && !o.darkPhoto.isEmpty()) {
        darkDecoded = ImageDecoder::decodeFile(o.darkPhoto);
        if (!darkDecoded.isOk())
            return fail(QStringLiteral("%1: %2").arg(o.darkPhoto, darkDecoded.errorString()));
    }
    const double decodeMs = msSince(timer);

    applyPhoto(o.look, decoded.bitmap(), o.sets);
    if (dynamic && !o.darkChosen) {
        o.dark = o.look;
        o.dark.setTone(Tone::defaultFor(Appearance::Dark));
        if (!o.darkPhoto.isEmpty())
            applyPhoto(o.dark, darkDecoded.bitmap(), {});
    } else if (dynamic) {
        applyPhoto(o.dark, darkDecoded.bitmap(), o.darkSets);
    }
    const double prepareMs = msSince(timer);

    if (o.setDesktop) {
        std::optional<QString> error;
        {
            TerminalProgress shown(WriteProgress::setPlan());
            error = OutputJobs::setAsDesktop(o.look, o.dark, o.size, *sessionDesktopService(), {},
                                             shown.progress());
        }
        if (error)
            return fail(*error);
        std::printf("Als dynamisches Wallpaper gesetzt.\n");
        return 0;
    }

    // The HEIC takes seconds; a PNG or a preview is there before a line would be read.
    std::optional<TerminalProgress> shown;
    if (dynamic && !o.preview)
        shown.emplace(WriteProgress::exportPlan());
    WriteProgress *progress = shown ? shown->progress() : nullptr;
    const QSizeF size = o.preview ? RenderPipeline::previewSize(o.size) : o.size.toSizeF();
    if (progress)
        progress->begin(WriteStep::RenderLight);
    const std::optional<Bitmap> light = RenderPipeline::renderLook(o.look, size, !o.preview);
    if (progress && light)
        progress->begin(WriteStep::RenderDark);
    const std::optional<Bitmap> dark =
        dynamic && light ? RenderPipeline::renderLook(o.dark, size, !o.preview) : std::nullopt;
    const double renderMs = msSince(timer);
    if (!light || (dynamic && !dark)) {
        shown.reset();
        return fail(description(ExportError::RenderFailed));
    }

    if (dynamic) {
        const auto error = DynamicWallpaper::writeHEIC(*light, *dark, o.output, {}, progress);
        shown.reset();
        if (error)
            return fail(QStringLiteral("%1: %2").arg(o.output, description(*error)));
    } else if (const auto error = PngWriter::write(*light, o.output)) {
        return fail(QStringLiteral("%1: %2").arg(o.output, description(*error)));
    }
    const double writeMs = msSince(timer);

    if (o.timings) {
        const QLocale c = QLocale::c();
        std::printf(
            "Dekodieren: %s ms\nVorbereiten: %s ms\nRendern: %s ms\nSchreiben: %s ms\n",
            qPrintable(c.toString(decodeMs, 'f', 1)), qPrintable(c.toString(prepareMs, 'f', 1)),
            qPrintable(c.toString(renderMs, 'f', 1)), qPrintable(c.toString(writeMs, 'f', 1)));
    }
    return 0;
}

} // namespace
