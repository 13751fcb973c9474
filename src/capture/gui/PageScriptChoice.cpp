#include "capture/gui/PageScriptChoice.h"

#include "app/AppOptions.h"
#include "document/ClipVaultDoc.h"
#include "platform/gui/QtText.h"

#include <QFileInfo>
#include <QSaveFile>
#include <QDir>
#include <QFile>
#include <QStringList>
#include <set>
#include <string>

namespace {

// Notebooks without a path yet, by their working folder, which no other
// notebook of this run has.
std::set<std::string> g_unsaved;

std::string UnsavedKey(const CClipVaultDoc& doc) { return const_cast<CClipVaultDoc&>(doc).GetWorkFolder(true); }

QString ListPath() {
    return QFileInfo(ToQ(CAppOptions::DefaultOptionsPath())).absolutePath() + QStringLiteral("/PageScripts.txt");
}

QString KeyOf(const CClipVaultDoc& doc) {
    const QString path = ToQ(doc.GetPathName());
    if (path.isEmpty()) return QString();
    const QString real = QFileInfo(path).canonicalFilePath();
    return real.isEmpty() ? QFileInfo(path).absoluteFilePath() : real;
}

QStringList ReadList() {
    QFile file(ListPath());
    // A small list of paths; anything larger is not ours.
    if (!file.open(QIODevice::ReadOnly) || file.size() > (1 << 20)) return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

}  // namespace

bool NotebookRunsPageScripts(const CClipVaultDoc& doc) {
    const QString key = KeyOf(doc);
    if (key.isEmpty()) return g_unsaved.count(UnsavedKey(doc)) != 0;
    return ReadList().contains(key);
}

void RememberPageScripts(const CClipVaultDoc& doc, bool bOn) {
    const QString key = KeyOf(doc);
    if (key.isEmpty()) {
        if (bOn) g_unsaved.insert(UnsavedKey(doc));
        else g_unsaved.erase(UnsavedKey(doc));
        return;
    }
    QStringList list = ReadList();
    list.removeAll(key);
    if (bOn) list << key;
    QDir().mkpath(QFileInfo(ListPath()).absolutePath());
    QSaveFile file(ListPath());
    if (!file.open(QIODevice::WriteOnly)) return;
    file.write(list.join(QLatin1Char('\n')).toUtf8() + '\n');
    file.commit();
}
