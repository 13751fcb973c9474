#include "platform/gui/CmdTarget.h"

#include "platform/MessageHost.h"
#include "platform/StringIds.h"
#include "platform/gui/MessageBox.h"

#include <QtGlobal>
#include <exception>
#include <stdexcept>
#include <string>

namespace {
// A message map entry that clashes with another is a programming mistake:
// loud in every build, fatal where it is made (debug builds).
bool RefuseEntry(const std::string& what) {
    qCritical("Message map: %s", what.c_str());
#ifndef NDEBUG
    throw std::logic_error(what);
#else
    return false;
#endif
}
}  // namespace

void ReportHandlerFailure() { AfxMessageBox(ids::IDS_OPERATION_FAILED, host::MB_OK | host::MB_ICONEXCLAMATION); }

void RunGuarded(const std::function<void()>& fn) {
    try {
        fn();
    } catch (...) {
        ReportHandlerFailure();
    }
}

void CCmdUI::SetPopup(const QString& strCaption, Filler fnFill) {
    if (!m_bReplaceable) return;
    m_strPopupCaption = strCaption;
    m_fnPopup = std::move(fnFill);
    m_fnItems = nullptr;
}

void CCmdUI::SetItems(Filler fnFill) {
    if (!m_bReplaceable) return;
    m_fnItems = std::move(fnFill);
    m_fnPopup = nullptr;
}

CCmdTargetPtr::CCmdTargetPtr(CCmdTarget* pTarget)
    : m_pTarget(pTarget), m_pAlive(pTarget ? pTarget->m_pAlive : nullptr) {}

CCmdTarget::CCmdTarget() : m_pAlive(std::make_shared<bool>(true)) {}

CCmdTarget::~CCmdTarget() { *m_pAlive = false; }

bool CCmdTarget::Add(std::deque<CEntry>& map, CEntry entry, const char* pszKind) {
    for (const CEntry& e : map) {
        const bool same = e.nFirst == entry.nFirst && e.nLast == entry.nLast;
        const bool apart = entry.nLast < e.nFirst || e.nLast < entry.nFirst;
        const bool nested = (e.nFirst <= entry.nFirst && entry.nLast <= e.nLast) ||
                            (entry.nFirst <= e.nFirst && e.nLast <= entry.nLast);
        if (!same && (apart || nested)) continue;
        const std::string what = std::string(pszKind) + " " + std::to_string(entry.nFirst) +
                                 (entry.nFirst == entry.nLast ? "" : "-" + std::to_string(entry.nLast)) +
                                 (same ? " registered twice"
                                       : " overlaps " + std::to_string(e.nFirst) + "-" + std::to_string(e.nLast));
        return RefuseEntry(what);
    }
    map.push_back(std::move(entry));
    return true;
}

const CCmdTarget::CEntry* CCmdTarget::Find(const std::deque<CEntry>& map, unsigned nID) {
    const CEntry* best = nullptr;
    for (const CEntry& e : map)
        if (e.nFirst <= nID && nID <= e.nLast && (!best || e.nLast - e.nFirst < best->nLast - best->nFirst)) best = &e;
    return best;
}

const CCmdTarget::CNotifyEntry* CCmdTarget::FindNotify(unsigned nID, unsigned nCode) const {
    for (const CNotifyEntry& e : m_notifies)
        if (e.nID == nID && e.nCode == nCode) return &e;
    return nullptr;
}

bool CCmdTarget::HasNotify(unsigned nID) const {
    for (const CNotifyEntry& e : m_notifies)
        if (e.nID == nID) return true;
    return false;
}

bool CCmdTarget::HasCommand(unsigned nID) const { return Find(m_commands, nID) != nullptr; }

void CCmdTarget::RunUpdate(const CEntry& entry, CCmdUI* pUI) {
    pUI->m_bEnabled = true;
    bool ok = true;
    try {
        entry.fnUpdate(pUI);
    } catch (...) {
        ok = false;
    }
    auto it = m_failingUpdates.find(entry.nFirst);
    if (ok) {
        if (it != m_failingUpdates.end()) {
            it->second.erase(pUI->m_nID);
            if (it->second.empty()) m_failingUpdates.erase(it);
        }
        return;
    }
    // Whatever the handler said before it failed is not to be trusted.
    pUI->m_bEnabled = false;
    pUI->m_fnPopup = nullptr;
    pUI->m_fnItems = nullptr;
    std::set<unsigned>& failing = m_failingUpdates[entry.nFirst];
    const bool bNew = failing.empty();
    failing.insert(pUI->m_nID);
    // The updates come again every moment; one box says it.
    if (bNew) ReportHandlerFailure();
}

bool CCmdTarget::OnCmdMsg(unsigned nID, CCmdUI* pUI, const CCmdNotify* pNotify) {
    if (pNotify) {
        const CNotifyEntry* p = FindNotify(nID, pNotify->m_nCode);
        if (!p) return false;
        RunGuarded([&] { p->fn(*pNotify); });
        return true;
    }
    if (pUI) {
        // An update handler decides; a command or notification handler
        // alone means enabled.
        if (const CEntry* p = Find(m_updates, nID)) {
            RunUpdate(*p, pUI);
            return true;
        }
        if (Find(m_commands, nID) || HasNotify(nID)) {
            pUI->m_bEnabled = true;
            return true;
        }
        return false;
    }
    const CEntry* p = Find(m_commands, nID);
    if (!p) return false;
    RunGuarded([&] { p->fnCommand(nID); });
    return true;
}

bool CCmdTarget::OnCommand(unsigned nID, std::function<void()> fn) {
    return Add(m_commands, CEntry{nID, nID, [fn = std::move(fn)](unsigned) { fn(); }, nullptr}, "command");
}

bool CCmdTarget::OnCommandRange(unsigned nFirst, unsigned nLast, CommandFn fn) {
    return Add(m_commands, CEntry{nFirst, nLast, std::move(fn), nullptr}, "command");
}

bool CCmdTarget::OnUpdate(unsigned nID, UpdateFn fn) {
    return Add(m_updates, CEntry{nID, nID, nullptr, std::move(fn)}, "update");
}

bool CCmdTarget::OnUpdateRange(unsigned nFirst, unsigned nLast, UpdateFn fn) {
    return Add(m_updates, CEntry{nFirst, nLast, nullptr, std::move(fn)}, "update");
}

bool CCmdTarget::OnNotify(unsigned nID, unsigned nCode, NotifyFn fn) {
    if (FindNotify(nID, nCode)) {
        const std::string what = "notification " + std::to_string(nCode) + " of " + std::to_string(nID) + " registered twice";
        return RefuseEntry(what);
    }
    m_notifies.push_back(CNotifyEntry{nID, nCode, std::move(fn)});
    return true;
}
