#pragma once

class AppModel;
class QWidget;

// The modal file dialogs of the window. Each returns once the dialog is closed and hands
// the chosen file to the model; cancelling does nothing.

// One picture to open; folders cannot be chosen.
void openImagePanel(QWidget *parent, AppModel *model);
// Where to write the dynamic wallpaper, as HEIC only, proposed under the model's file name.
void exportWithPanel(QWidget *parent, AppModel *model);
