# The Debian package: "cpack -G DEB" in the build folder (after a build)
# makes clipvault_VERSION_ARCH.deb, installing into /usr with what the
# install rules lay out. The run-time libraries are found by dpkg-shlibdeps;
# what the program only starts (the mail program, the bus) is named here.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME clipvault)
set(CPACK_PACKAGE_VENDOR "The Clipvault developers")
# Whoever builds the package for others names themselves here.
set(CLIPVAULT_MAINTAINER "Clipvault developers <maintainers@clipvault.invalid>" CACHE STRING
    "Maintainer field of the Debian package")
set(CPACK_PACKAGE_CONTACT "${CLIPVAULT_MAINTAINER}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "keeps web pages and files in notebooks that show them offline")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# The program folder is installed as the build made it, so cpack's own
# stripping (of installed targets) does not reach it; this does, after the
# files are staged. It also leaves out Google Chrome's system manifest:
# /etc/opt belongs to programs outside the distribution, and Chrome's users
# register the host for themselves (clipvault-register --register).
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/PreBuild.cmake)
set(CPACK_CLIPVAULT_STRIP ${CMAKE_STRIP})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION web)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The program's own libraries sit in its folder, found there through $ORIGIN.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CLIPVAULT_BIN_DIR})
# node runs the program's own scripts (Markdown out, the article's text).
set(CPACK_DEBIAN_PACKAGE_DEPENDS "default-dbus-session-bus | dbus-session-bus, xdg-utils, nodejs")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-wqy-microhei, qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "chromium | firefox-esr, nautilus | dolphin | thunar")
# cpack puts the summary above it and indents the lines; an empty line
# becomes the control file's " .".
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Clipvault keeps web pages, files and your own notes in notebooks. Each
notebook is one file holding a tree of categories with notes. A captured
web page keeps its pictures, stylesheets and frames in the notebook, so it
shows without a network; any file can be kept as a note, and pages can be
written in the built-in HTML editor.

Pages come in from the browsers' menus (a browser extension), the file
managers' menus, drag and drop and an import dialog. Notes are found by
name or text, exported with their files and sent by mail; a notebook can be
locked with a password. The package also has clipvault-cli, which reads and
writes notebooks without the window.")

# The browsers' host manifests are placed in /etc by the registration step
# of the install rules; what lies in /etc is the administrator's to change.
set(clipvault_conffiles ${CMAKE_BINARY_DIR}/packaging/conffiles)
file(WRITE ${clipvault_conffiles}
     "/etc/chromium/native-messaging-hosts/org.clipvault.native_host.json\n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${clipvault_conffiles})
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
