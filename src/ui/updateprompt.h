#pragma once

// The update check's results as message boxes. Apart from the updater, which knows no widgets,
// and from the main window, so that a box can be shown, and tested, without one.

class QMessageBox;
class QWidget;
class UpdaterViewModel;
struct UpdateCheckResult;

namespace UpdatePrompt {

// Object names of the boxes and of the buttons that do something, for tests.
inline constexpr auto kAvailableBoxName = "updateAvailableBox";
inline constexpr auto kUpToDateBoxName = "updateUpToDateBox";
inline constexpr auto kFailedBoxName = "updateFailedBox";
inline constexpr auto kOpenDownloadButtonName = "openDownloadPageButton";
inline constexpr auto kLaterButtonName = "laterButton";

// Shows every result of `updater` that the user should hear of (see
// UpdateCheckResult::shouldNotify) in a message box on `window`, for as long as both live.
// `window` may be null for boxes of their own.
void attach(UpdaterViewModel *updater, QWidget *window);

// The box for one result, already open (window-modal, deleted on close); nullptr when the
// result is not for the user. "Download-Seite öffnen" opens the download page in the browser.
QMessageBox *showResult(const UpdateCheckResult &result, QWidget *window);

} // namespace UpdatePrompt
