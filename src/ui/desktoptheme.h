#pragma once

// The window in the desktop's colour scheme: Fusion in the platform's light palette, or in a
// dark one made from it that keeps the desktop's accent, switched the moment the desktop
// switches; no pictograms on the buttons of its dialogs. The scheme is read where the follower
// reads it (desktop/backends/colorscheme.h).

class QObject;
class QPalette;

// The light palette itself, or the dark one made from it, its accent kept.
QPalette schemePalette(const QPalette &light, bool dark);
// The whole application in the light or the dark scheme.
void applyColorScheme(bool dark);
// The application's colours follow the desktop's scheme, shown at once, for as long as the
// object returned lives; it is `owner`'s.
QObject *followDesktopColorScheme(QObject *owner);
