// Files dropped on the main window: notebooks open at once, everything else
// becomes an import item, in drop order.
#pragma once

#include "platform/gui/ImportItemsEvent.h"

#include <QList>
#include <QString>
#include <QUrl>
#include <functional>

// True for a notebook file name (".vlt", any case).
bool IsNotebookPath(const QString& strPath);

// Each notebook in `paths` goes to `fnOpenNotebook` as it is met; the other
// paths come back as local-file import items, started at once and with their
// content fetched, titled after the file (an HTML page by its title).
std::unique_ptr<CImportItemArray> CollectDroppedFiles(const QStringList& paths,
                                                      const std::function<void(const QString&)>& fnOpenNotebook);

// The local paths of a drop's URL list, in order; other URLs are no files.
QStringList DroppedPaths(const QList<QUrl>& urls);
