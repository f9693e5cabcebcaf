#pragma once

// Where the user's choices live between runs: the access key, the recent files, the time of
// the last update check. Every part of the program that keeps something asks here, so all of
// it lands in one file, and a test that points QSettings elsewhere moves all of it at once.

#include <QSettings>

// The settings of organisation and application "Voskan", in the platform's native format at
// the user's place (~/.config/Voskan/Voskan.conf on Linux).
QSettings userSettings();
