// Commands by integer id, as the language module's menus and toolbars name
// them. A command travels from the active view to its child frame, the main
// frame and the application; the first target with a handler runs it. The
// same route decides, before a menu opens and while the program is idle,
// whether each action is enabled, checked or retitled.
#pragma once

#include <QString>
#include <functional>
#include <map>

// What an update handler may say about one command.
class CCmdUI {
public:
    explicit CCmdUI(unsigned nID) : m_nID(nID) {}
    void Enable(bool bOn = true) { m_bEnabled = bOn; }
    // 0 unchecked, 1 checked.
    void SetCheck(int nCheck = 1) { m_nCheck = nCheck; }
    void SetText(const QString& strText) { m_strText = strText; m_bTextSet = true; }

    unsigned m_nID;
    bool m_bEnabled = true;
    int m_nCheck = -1;  // -1: the handler said nothing, the action keeps its state
    QString m_strText;
    bool m_bTextSet = false;
};

class CCmdTarget {
public:
    virtual ~CCmdTarget() = default;

    // Runs the command (pUI null) or its update handler (pUI set) when this
    // target, or a target it routes to, handles it. True when handled.
    // Subclasses that route to other targets override this and call the base
    // for their own map.
    virtual bool OnCmdMsg(unsigned nID, CCmdUI* pUI);

    // True when this target's own map holds a handler for the command.
    bool HasCommand(unsigned nID) const;

protected:
    using CommandFn = std::function<void(unsigned)>;
    using UpdateFn = std::function<void(CCmdUI*)>;
    // The message map. Ranges are inclusive.
    void OnCommand(unsigned nID, std::function<void()> fn);
    void OnCommandRange(unsigned nFirst, unsigned nLast, CommandFn fn);
    void OnUpdate(unsigned nID, UpdateFn fn);
    void OnUpdateRange(unsigned nFirst, unsigned nLast, UpdateFn fn);

private:
    struct CEntry {
        unsigned nLast = 0;
        CommandFn fnCommand;
        UpdateFn fnUpdate;
    };
    const CEntry* FindCommand(unsigned nID) const;
    const CEntry* FindUpdate(unsigned nID) const;
    // Keyed by the first id of the range.
    std::map<unsigned, CEntry> m_commands;
    std::map<unsigned, CEntry> m_updates;
};

// Runs a handler; a failure inside it is reported with message 33049 and
// the exclamation icon, and the program goes on.
void RunGuarded(const std::function<void()>& fn);
