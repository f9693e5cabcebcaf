#pragma once

// The modal file dialogs of the window. Each returns once the dialog is closed and hands
// the chosen file to the model; cancelling does nothing.

class AppModel;
class QString;
class QWidget;

// The open dialog's picture filter: every suffix the decoder takes, in lower and upper case
// (file dialogs match case-sensitively).
QString imageNameFilter();
// One picture to open; folders cannot be chosen.
void openImagePanel(QWidget *parent, AppModel *model);
// Where to write the dynamic wallpaper, as HEIC only, proposed under the model's file name.
void exportWithPanel(QWidget *parent, AppModel *model);
