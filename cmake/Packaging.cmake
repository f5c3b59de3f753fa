# `make package`: a Debian package of the installed tree under /usr, whose dependencies are the
# runtime libraries the programs link (found by dpkg-shlibdeps).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME pictavo)
set(CPACK_PACKAGE_VENDOR "Pictavo")
set(CPACK_PACKAGE_CONTACT "Pictavo developers <pictavo@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "viewer for webcams that publish a still JPEG image")
string(JOIN " " CPACK_PACKAGE_DESCRIPTION
    "Pictavo lives in the notification area and keeps a catalogue of webcams in categories."
    "It shows several webcams at once in small borderless windows that refresh on their own,"
    "browses thumbnails in a chooser and a mosaic, archives every new image and turns archives"
    "into AVI timelapses (also from the command line, pictavo-avi). democam, a local server of"
    "synthetic webcams, is included for trying the program out without a network.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt's own translations: file dialogs, standard buttons and shortcut names in the chosen language
# (dpkg-shlibdeps cannot see them, they are data).
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-translations-l10n")
# The tray icon and the hand-over of files need nothing else; the desktop's database updaters
# run from their own packages' triggers.
# qt6-wayland: the native Wayland platform, for users who choose QT_QPA_PLATFORM=wayland.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
    "hicolor-icon-theme, shared-mime-info, desktop-file-utils, qt6-wayland")
set(CPACK_DEBIAN_PACKAGE_VERSION ${PROJECT_VERSION})
include(CPack)
