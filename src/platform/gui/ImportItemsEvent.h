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

    explicit CImportItemsEvent(std::unique_ptr<CImportItemArray> pItems)
        : QEvent(kType), m_pItems(pItems ? std::move(pItems) : std::make_unique<CImportItemArray>()) {}

    // The array, given away; the event holds an empty one afterwards.
    std::unique_ptr<CImportItemArray> Take() {
        auto out = std::move(m_pItems);
        m_pItems = std::make_unique<CImportItemArray>();
        return out;
    }

    // Posted by the automation's StartImport: a batch of several such items
    // always goes to the import dialog.
    bool m_bStartImport = false;

private:
    std::unique_ptr<CImportItemArray> m_pItems;
};
