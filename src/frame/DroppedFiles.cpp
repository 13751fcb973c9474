#include "frame/DroppedFiles.h"

#include "platform/gui/QtText.h"

bool IsNotebookPath(const QString& strPath) {
    return strPath.endsWith(QStringLiteral(".vlt"), Qt::CaseInsensitive);
}

std::unique_ptr<CImportItemArray> CollectDroppedFiles(const QStringList& paths,
                                                      const std::function<void(const QString&)>& fnOpenNotebook) {
    auto items = std::make_unique<CImportItemArray>();
    for (const QString& path : paths) {
        if (path.isEmpty()) continue;
        if (IsNotebookPath(path)) {
            if (fnOpenNotebook) fnOpenNotebook(path);
            continue;
        }
        auto item = std::make_unique<CImportItem>();
        item->m_strSource = FromQ(path);
        item->m_strTitle = TitleForSource(item->m_strSource);
        item->m_nImportKind = 2;
        item->m_nContentMode = 2;
        item->m_bStartNow = 1;
        // The import flow chooses the notebook.
        item->m_pTargetDoc = nullptr;
        items->push_back(std::move(item));
    }
    return items;
}

QStringList DroppedPaths(const QList<QUrl>& urls) {
    QStringList out;
    for (const QUrl& url : urls)
        if (url.isLocalFile()) out << url.toLocalFile();
    return out;
}
