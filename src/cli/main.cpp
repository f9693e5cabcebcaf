// voskan-render: renders one look of a photo without the window, for scripts and benchmarks.

#include "daily/dailyrun.h"
#include "daily/dailywallpaper.h"
#include "day/dayschedule.h"
#include "files/outputfile.h"
#include "follower/schemefollower.h"
#include "follower/sessiondesktop.h"
#include "heic/dynamicwallpaper.h"
#include "heic/pngwriter.h"
#include "model/daycyclefile.h"
#include "model/dynamicpicture.h"
#include "model/exporterror.h"
#include "model/outputjobs.h"
#include "model/photolooks.h"
#include "model/unsplashpick.h"
#include "model/usersettings.h"
#include "render/imagedecoder.h"

#include "options.h"
#include "terminalprogress.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLocale>
#include <QStringList>

#include <cstdio>
#include <exception>
#include <optional>

namespace {

double msSince(QElapsedTimer &timer)
{
    const double ms = double(timer.nsecsElapsed()) / 1e6;
    timer.restart();
    return ms;
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
        std::optional<QString> error;
        {
            const auto credit = [](const QString &line) {
                std::printf("%s\n", printable(line).constData());
            };
            TerminalProgress shown(WriteProgress::setPlan());
            error = DailyWallpaper::runOnce({o.unsplashQuery, o.looks, o.size, o.pick, o.key},
                                            *sessionDesktopService(), credit, shown.progress());
        }
        if (error)
            return fail(*error);
        std::printf("Als dynamisches Wallpaper gesetzt.\n");
        return 0;
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
    if (const auto error = DailyWallpaper::enable(settings, DailyWallpaper::Reader::CommandLine))
        return fail(*error);
    std::printf("„Täglich neu“: jeden Tag %s ein neues Bild für „%s“.\n",
                settings.atLogin ? "bei der Anmeldung"
                                 : qPrintable(QStringLiteral("um ") +
                                              settings.at.toString(QStringLiteral("HH:mm"))),
                printable(settings.query).constData());
    return 0;
}

} // namespace

namespace {

int run(int argc, char *argv[])
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

} // namespace

// Nothing we call is meant to throw; should a library still do so (std::bad_alloc), the
// program ends with a message instead of std::terminate's abort.
int main(int argc, char *argv[])
{
    try {
        return run(argc, argv);
    } catch (const std::exception &error) {
        std::fprintf(stderr, "voskan-render: Unerwarteter Fehler: %s\n", error.what());
    } catch (...) {
        std::fprintf(stderr, "voskan-render: Unerwarteter Fehler.\n");
    }
    return 1;
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
    if (o.setDesktop && o.unsplashQuery.isEmpty() && !o.styled && o.looks.sets.isEmpty() &&
        !o.looks.darkChosen && o.darkPhoto.isEmpty() && o.dayCycle == 0) {
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
        auto fetched = pickFromUnsplash(o.unsplashQuery, o.pick, o.key);
        if (const QString *error = std::get_if<QString>(&fetched))
            return fail(*error);
        const PickedPhoto &picked = std::get<PickedPhoto>(fetched);
        std::printf("%s\n", printable(picked.attribution).constData());
        decoded = picked.picture;
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

    std::optional<Bitmap> darkPicture;
    if (dynamic && !o.darkPhoto.isEmpty())
        darkPicture = darkDecoded.bitmap();
    const auto [light, dark] = looksOf(o.looks, decoded.bitmap(), darkPicture);
    const double prepareMs = msSince(timer);

    if (o.setDesktop) {
        // As for a file that follows the sun: the place it goes on without is said first.
        if (o.dayCycle > 0)
            if (const auto problem = userLocationProblem())
                std::fprintf(stderr, "%s\n", qPrintable(*problem));
        std::optional<QString> error;
        {
            TerminalProgress shown(OutputJobs::setPlan(o.dayCycle));
            const OutputJobs::Request request{light, dark, o.size, 0, std::nullopt, o.dayCycle};
            error =
                OutputJobs::setAsDesktop(request, *sessionDesktopService(), {}, shown.progress());
        }
        if (error)
            return fail(*error);
        if (o.dayCycle > 0)
            std::printf("%s\n", qPrintable(summary(DayCycle::plan(o.dayCycle).schedule())));
        std::printf("Als dynamisches Wallpaper gesetzt.\n");
        return 0;
    }

    // The HEIC takes seconds; a PNG or a preview is there before a line would be read.
    std::optional<TerminalProgress> shown;
    if (dynamic && !o.preview)
        shown.emplace(OutputJobs::writePlan(o.dayCycle));
    WriteProgress *progress = shown ? shown->progress() : nullptr;
    const QSizeF size = o.preview ? RenderPipeline::previewSize(o.size) : o.size.toSizeF();
    if (progress)
        progress->begin(WriteStep::RenderLight);
    const std::optional<Bitmap> lightPicture = RenderPipeline::renderLook(light, size, !o.preview);
    if (progress && lightPicture)
        progress->begin(WriteStep::RenderDark);
    const std::optional<Bitmap> darkRendered =
        dynamic && lightPicture ? RenderPipeline::renderLook(dark, size, !o.preview) : std::nullopt;
    const double renderMs = msSince(timer);
    if (!lightPicture || (dynamic && !darkRendered)) {
        shown.reset();
        return fail(description(ExportError::RenderFailed));
    }

    if (dynamic) {
        const auto error =
            o.dayCycle > 0
                ? DayCycleFile::write(*lightPicture, *darkRendered, o.dayCycle, o.output,
                                      light.dither, progress)
                : DynamicWallpaper::writeHEIC(*lightPicture, *darkRendered, o.output, {}, progress);
        shown.reset();
        if (error)
            return fail(QStringLiteral("%1: %2").arg(o.output, description(*error)));
    } else if (const auto error = PngWriter::write(*lightPicture, o.output)) {
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
