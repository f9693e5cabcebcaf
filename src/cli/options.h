#pragma once

// What voskan-render is asked to do, read from its command line; its help and its messages.

#include "model/photolooks.h"
#include "model/renderpipeline.h"
#include "model/valuetypes.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

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
