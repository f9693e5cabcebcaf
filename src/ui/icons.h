#pragma once

// The pictograms of the window. Each comes from the desktop's icon theme when it has one,
// else from a drawing shipped inside the program, so every icon shows on any desktop.

#include <QIcon>

enum class Icon {
    Photo,        // a picture
    PhotoAdd,     // a picture with a plus: "add a picture"
    Copy,         // two squares: "apply to the other appearance"
    Done,         // a tick in a circle: a confirmation
    Folder,       // open a file
    ColorPicker,  // take colours from the photo
    Export,       // an arrow out of a box
    PhotoLibrary, // a stack of pictures
    Desktop,      // a screen with a window: set as desktop picture
    Search,       // a magnifying glass
};

QIcon icon(Icon which);
// `source` drawn in one colour, for icons on a coloured ground (the accent-filled button).
QIcon tinted(const QIcon &source, const QColor &color, const QSize &size);
// The application's own icon: the installed one, else the same drawing from inside the program.
QIcon applicationIcon();
