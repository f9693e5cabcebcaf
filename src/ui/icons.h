#pragma once

// The pictograms of the window. Each comes from the desktop's icon theme when it has one,
// else from a drawing shipped inside the program, so every icon shows on any desktop. The
// drawings and the theme's symbolic icons, which are one grey, are drawn in the palette's text
// colour, so they read on the light and the dark window alike, and change with it.

#include <QIcon>
#include <QLabel>
#include <QPalette>

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
// `source` drawn in one colour of the application's palette, `normal` while enabled and
// `disabled` while not, for icons on a coloured ground (the accent-filled button). It follows
// the palette: a pixmap asked for after a change has the new colour.
QIcon tinted(const QIcon &source, QPalette::ColorRole normal, QPalette::ColorRole disabled);
// The theme's symbolic icon `name` (without "-symbolic") in the text colour; null when the theme
// has none.
QIcon symbolicIcon(const QString &name);
// The application's own icon: the installed one, else the same drawing from inside the program.
QIcon applicationIcon();

// A pictogram shown as a label's pixmap. A pixmap keeps the ink it was drawn in, so it is drawn
// anew whenever the palette changes (the desktop turned light or dark).
class IconLabel : public QLabel
{
public:
    IconLabel(Icon which, int size, QWidget *parent);

protected:
    void changeEvent(QEvent *event) override;

private:
    Icon m_icon;
    int m_size;
};
