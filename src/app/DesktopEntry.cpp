#include "app/DesktopEntry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace {

// Exec= needs quoting for blanks and for the characters that desktop-entry
// files reserve.
QString QuoteExec(const QString& strPath) {
    QString q;
    for (const QChar c : strPath) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
            q += QLatin1Char('\\');
        q += c;
    }
    // "%" is a field code there; "%%" is a literal one.
    q.replace(QLatin1Char('%'), QStringLiteral("%%"));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

// Values are one line each.
QString OneLine(QString s) {
    s.replace(QLatin1Char('\n'), QLatin1Char(' '));
    s.replace(QLatin1Char('\r'), QLatin1Char(' '));
    return s;
}

}  // namespace

namespace DesktopEntry {

QString AutostartFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/autostart");
}

QString DesktopFolder() { return QStandardPaths::writableLocation(QStandardPaths::DesktopLocation); }

bool Make(const QString& strFolder, const QString& strName, const QString& strProgram, const QString& strWorkFolder,
          const QString& strIcon) {
    if (strFolder.isEmpty() || strName.isEmpty()) return false;
    const QString path = strFolder + QLatin1Char('/') + strName + QStringLiteral(".desktop");
    if (QFileInfo::exists(path)) return true;
    if (!QDir().mkpath(strFolder)) return false;
    QString text = QStringLiteral("[Desktop Entry]\nType=Application\nVersion=1.0\n");
    text += QStringLiteral("Name=") + OneLine(strName) + QLatin1Char('\n');
    text += QStringLiteral("Comment=\n");
    text += QStringLiteral("Exec=") + OneLine(QuoteExec(strProgram)) + QLatin1Char('\n');
    text += QStringLiteral("Path=") + OneLine(strWorkFolder) + QLatin1Char('\n');
    if (!strIcon.isEmpty()) text += QStringLiteral("Icon=") + OneLine(strIcon) + QLatin1Char('\n');
    text += QStringLiteral("Terminal=false\nCategories=Office;\n");
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly)) return false;
    f.write(text.toUtf8());
    if (!f.commit()) return false;
    // Desktops start only launchers that are executable.
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                                    QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
    return true;
}

}  // namespace DesktopEntry
