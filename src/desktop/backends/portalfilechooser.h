#pragma once

// GNOME's and Plasma's own file dialogs, reached through the freedesktop portal's FileChooser,
// so a program outside a sandbox gets them too where Qt would show its own.

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

struct FileChooserFilter
{
    QString name;
    QStringList patterns; // globs, matched as written
};

struct FileChooserRequest
{
    QString parentWindow; // the window it belongs to as the portal names one ("x11:…"), or empty
    QString title;
    QList<FileChooserFilter> filters; // the first is chosen
    QString folder;                   // where it opens; empty: where the desktop likes
    QString name;                     // saving: the name offered
    bool save = false;
};

// The file the person chose; empty when they cancelled. Nothing when no portal could show a
// dialog (none on the bus, none with a file chooser, or it failed), so the caller shows one of
// its own. Waits for the answer with an event loop running, for as long as the portal lives.
std::optional<QString> chooseFileThroughPortal(const FileChooserRequest &request);
