// Import items handed to the main frame: dropped files, the automation
// calls and the browser's context menu post them; the frame owns them from
// then on.
#pragma once

#include "capture/ImportItem.h"
#include "platform/UiQueue.h"

#include <QEvent>
#include <memory>
#include <vector>

using CImportItemArray = std::vector<std::unique_ptr<CImportItem>>;

class CImportItemsEvent : public QEvent {
public:
    static constexpr QEvent::Type kType = static_cast<QEvent::Type>(QEvent::User + host::WM_IMPORT_ITEMS);

    // `nLParam` 1: a batch handed over by StartImport, which always goes
    // through the import dialog when it holds several items.
    explicit CImportItemsEvent(std::unique_ptr<CImportItemArray> pItems, int nLParam = 0)
        : QEvent(kType), m_pItems(std::move(pItems)), m_nLParam(nLParam) {}

    int LParam() const { return m_nLParam; }

    // The array, given away. Null (no carrier at all) asks for the import
    // dialog with nothing in it; an empty carrier asks for nothing.
    std::unique_ptr<CImportItemArray> Take() { return std::move(m_pItems); }

private:
    std::unique_ptr<CImportItemArray> m_pItems;
    int m_nLParam = 0;
};
