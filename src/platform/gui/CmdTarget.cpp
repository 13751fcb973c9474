#include "platform/gui/CmdTarget.h"

#include "platform/MessageHost.h"
#include "platform/StringIds.h"
#include "platform/gui/MessageBox.h"

#include <exception>

namespace {

template <typename Map>
const typename Map::mapped_type* FindIn(const Map& map, unsigned nID) {
    auto it = map.upper_bound(nID);
    if (it == map.begin()) return nullptr;
    --it;
    return nID <= it->second.nLast ? &it->second : nullptr;
}

}  // namespace

void RunGuarded(const std::function<void()>& fn) {
    try {
        fn();
    } catch (...) {
        AfxMessageBox(ids::IDS_OPERATION_FAILED, host::MB_OK | host::MB_ICONEXCLAMATION);
    }
}

const CCmdTarget::CEntry* CCmdTarget::FindCommand(unsigned nID) const {
    const CEntry* p = FindIn(m_commands, nID);
    return p && p->fnCommand ? p : nullptr;
}

const CCmdTarget::CEntry* CCmdTarget::FindUpdate(unsigned nID) const {
    const CEntry* p = FindIn(m_updates, nID);
    return p && p->fnUpdate ? p : nullptr;
}

bool CCmdTarget::HasCommand(unsigned nID) const { return FindCommand(nID) != nullptr; }

bool CCmdTarget::OnCmdMsg(unsigned nID, CCmdUI* pUI) {
    if (pUI) {
        // An update handler decides; a command handler alone means enabled.
        if (const CEntry* p = FindUpdate(nID)) {
            pUI->m_bEnabled = true;
            RunGuarded([&] { p->fnUpdate(pUI); });
            return true;
        }
        if (FindCommand(nID)) {
            pUI->m_bEnabled = true;
            return true;
        }
        return false;
    }
    const CEntry* p = FindCommand(nID);
    if (!p) return false;
    RunGuarded([&] { p->fnCommand(nID); });
    return true;
}

void CCmdTarget::OnCommand(unsigned nID, std::function<void()> fn) {
    m_commands[nID] = CEntry{nID, [fn = std::move(fn)](unsigned) { fn(); }, nullptr};
}

void CCmdTarget::OnCommandRange(unsigned nFirst, unsigned nLast, CommandFn fn) {
    m_commands[nFirst] = CEntry{nLast, std::move(fn), nullptr};
}

void CCmdTarget::OnUpdate(unsigned nID, UpdateFn fn) { m_updates[nID] = CEntry{nID, nullptr, std::move(fn)}; }

void CCmdTarget::OnUpdateRange(unsigned nFirst, unsigned nLast, UpdateFn fn) {
    m_updates[nFirst] = CEntry{nLast, nullptr, std::move(fn)};
}
