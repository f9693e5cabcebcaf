#pragma once

// The window's message boxes carry none of Qt's standard pictograms, which belong to another
// age and to no desktop: the icon theme's symbolic one, in the text colour, where the theme has
// it, else none.

class QMessageBox;

enum class MessageKind { Warning, Question, Information };

// Gives `box` the pictogram of `kind`, kept in the text colour when the scheme changes.
void setMessageIcon(QMessageBox *box, MessageKind kind);
