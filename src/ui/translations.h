#pragma once

// Qt's own texts in German, kept out of main() so that the tests install them as the program does
// and see the dialogs as people see them.

class QCoreApplication;

// Qt's own texts — the buttons of its dialogs, the colour and file dialogs where the desktop
// offers none of its own — in German like the rest of the window, whatever the session's
// language. False when the translations are not installed (Debian: qt6-translations-l10n);
// the window then works with Qt's English texts.
bool installQtTranslations(QCoreApplication *app);
