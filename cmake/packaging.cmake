# The Debian package: `cpack -G DEB --config <build>/CPackConfig.cmake` after a build.
# Library dependencies come from dpkg-shlibdeps on the packaged binaries, so they follow the
# libraries actually linked instead of a hand-kept list.

set(VOSKAN_PACKAGE_MAINTAINER "Voskan-Team <team@voskan.de>" CACHE STRING
    "Maintainer field of the Debian package (name <address>)")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME voskan)
set(CPACK_PACKAGE_VENDOR "Voskan-Team")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${VOSKAN_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Dynamische Hell-/Dunkel-Wallpaper aus Fotos")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Debug symbols and the build tree's paths have no place on users' machines.
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VOSKAN_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Voskan macht aus einem Foto ein dynamisches Wallpaper: ein Bild für die helle
und eines für die dunkle Darstellung, zusammen in einer HEIC-Datei, die mit dem
Hell-/Dunkelmodus des Schreibtischs wechselt. Stile: Blur, Flow und Spiegel.
Bilder kommen aus einer Unsplash-Suche, aus dem Ordner „Bilder“ oder aus einer
beliebigen Datei.

Voskan setzt das Wallpaper unter GNOME, KDE Plasma, Cinnamon, MATE, Xfce und
sway. Das Programm voskan-render erzeugt dieselben Bilder ohne Fenster, etwa aus
Skripten.")
# Loaded as plugins, so dpkg-shlibdeps cannot see it: the Qt SVG icon engine draws the
# bundled fallback icons and the scalable application icon.
# Qt's own German texts (dialogs, standard buttons) are data files, also invisible to it.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6, qt6-translations-l10n")
# Run as programs or spoken to over D-Bus, so dpkg-shlibdeps cannot see them: gsettings sets
# the wallpaper on GNOME, Cinnamon and MATE; Wayland sessions need Qt's Wayland platform
# plugin; the desktop portal tells the colour scheme on desktops with one picture and sets the
# wallpaper where Voskan has no direct way.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libglib2.0-bin, qt6-wayland, xdg-desktop-portal")
# Debian wants the licence in the package's documentation folder, in its own format.
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright DESTINATION share/doc/voskan)

include(CPack)
