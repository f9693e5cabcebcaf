#pragma once

// What voskan-render is asked to do, read from its command line; its help and its messages.

#include "model/photolooks.h"
#include "model/renderpipeline.h"
#include "model/valuetypes.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>
#include <span>

struct Options
{
    LookChoice looks;
    QString darkPhoto;
    RenderPipeline::PixelSize size = {ResolutionPreset::proDisplayXDR().width,
                                      ResolutionPreset::proDisplayXDR().height};
    bool preview = false;
    bool timings = false;
    bool setDesktop = false;
    // Pictures of a day cycle („Tagesverlauf“) instead of the pair; 0 for the pair.
    int dayCycle = 0;
    bool follow = false;
    // A style or a value asked for: a dynamic wallpaper is then a photo like any other.
    bool styled = false;
    QString photo;
    QString output;
    // A search hit instead of a photo file.
    QString unsplashQuery;
    int pick = 1;
    QString key;
};

// Every option voskan-render takes, in the order its help lists them. The parser, the help and
// the shells' completions (`--completion`) are all made from this one table, and the install
// test holds the manual page to it.
enum class CliOption {
    Style,
    Size,
    Preset,
    Set,
    DarkStyle,
    DarkSet,
    DarkPhoto,
    DayCycle,
    Unsplash,
    Pick,
    Key,
    Preview,
    Timings,
    SetDesktop,
    Follow,
    Daily,
    At,
    AtLogin,
    DailyOff,
    DailyRun,
    OnceADay,
    Completion,
    Version,
    Help,
};

// What follows an option, as a shell completes it.
enum class CliValue {
    None,   // a switch
    Text,   // anything: a size, a search, a key, a time
    File,   // a path
    Style,  // one of the styles
    Preset, // a number of the size table
    Field,  // FELD=WERT of a look
    Count,  // a day cycle's number of pictures
    Shell,  // a shell of --completion
};

struct CliOptionRow
{
    CliOption option;
    const char *name;        // "--style"
    const char *placeholder; // its value in the help ("S"), empty for a switch
    CliValue value;
    const char *summary; // one line, for the shells' completions
    // The help's text, its lines broken by hand; {styles}, {presets}, {last}, {fields},
    // {counts} and {shells} stand for those lists of the program.
    const char *help;
};

std::span<const CliOptionRow> cliOptions();
const CliOptionRow *cliOption(QStringView name); // also "-h"; nothing for an unknown one

// The words a value may be, for `value`: the styles, the preset numbers, the fields, the
// counts, the shells; nothing for the others.
QStringList cliWords(CliValue value);

// Parses the command line into `o`; an exit status when it should end the program (the help,
// the version, a usage error).
std::optional<int> parse(const QStringList &args, Options &o);

// `text` as it may reach a terminal: a control character in what it quotes (a path, an option,
// a photographer's name) shown as its escape, never handed to the terminal to act on. Line
// breaks and tabs stay.
QByteArray printable(const QString &text);
// The help, after `problem` when there is one; the exit status 2.
int usage(const QString &problem = {});
// `message` as the program's error; the exit status 1.
int fail(const QString &message);
