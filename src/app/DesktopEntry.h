// Launchers for the program: freedesktop ".desktop" files in the autostart
// folder (start with the session) and on the desktop.
#pragma once

#include <QString>

namespace DesktopEntry {

// $XDG_CONFIG_HOME/autostart, and the XDG desktop folder.
QString AutostartFolder();
QString DesktopFolder();
// Writes "<folder>/<name>.desktop" starting `strProgram` in `strWorkFolder`.
// A file of that name already there counts as success.
bool Make(const QString& strFolder, const QString& strName, const QString& strProgram, const QString& strWorkFolder,
          const QString& strIcon);

}  // namespace DesktopEntry
