#!/usr/bin/env bash
# Installs the Debian 12 packages Voskan needs to build, test and run.
# Safe to run again: only packages that are missing are installed.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  # The one formatter the sources are formatted with (scripts/format.sh), and the checks of
  # .clang-tidy (scripts/tidy.sh).
  clang-format-14 clang-tidy-14
  qt6-base-dev qt6-svg-dev libgl-dev
  # Qt's own dialogs and buttons in German.
  qt6-translations-l10n
  libvips-dev libheif-dev libplist-dev libspng-dev
  libbenchmark-dev
  # Readers nobody here wrote, used by the tests to check the wallpaper files.
  libimage-exiftool-perl libheif-examples python3
  # The desktop tests run the real gsettings and a private D-Bus session bus.
  gsettings-desktop-schemas libglib2.0-bin dbus
  # The colour scheme as the real desktop portal reports it; its GTK backend needs a display.
  xdg-desktop-portal xdg-desktop-portal-gtk xvfb
  # The window read as a screen reader reads it, over AT-SPI: the accessibility bus launcher and
  # registry, in a display of the test's own (xvfb-run needs xauth).
  at-spi2-core xauth
  # The symbolic icons the window's message boxes take from GNOME's icon theme.
  adwaita-icon-theme
  # A clock the follower test sets, so a day's pictures change within seconds.
  libfaketime
  # A compositor built on wlroots, run headless, with the wallpaper client Voskan starts there
  # and a screenshot tool to see what it drew.
  sway swaybg grim
  # The Debian package (cpack derives its dependencies with dpkg-shlibdeps) and the
  # validators the install test runs on the desktop entry and the AppStream file.
  file dpkg-dev appstream desktop-file-utils
  # The install test renders the manual pages, with man and with groff on its own, and has
  # fish complete a command line and zsh read its completion.
  man-db groff-base fish zsh
)
if [ "${1:-}" = "--bench" ]; then
  # The peer comparison in bench/ runs these command-line tools.
  packages+=(imagemagick libvips-tools hyperfine)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installiere fehlende Pakete: ${missing[*]}"
$sudo apt-get update -q
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
