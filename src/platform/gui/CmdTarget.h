// Commands by integer id, as the language module's menus and toolbars name
// them. A command travels from the active view to its child frame, the main
// frame and the application; the first target with a handler runs it. The
// same route decides, before a menu opens and while the program is idle,
// whether each action is enabled, checked or retitled, and carries the
// notifications of the bars' controls (a box's choice, a button's arrow).
#pragma once

#include <QRect>
#include <QString>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <set>

class QMenu;

// What a control of the bars tells the target that handles its id.
struct CCmdNotify {
    enum Code : unsigned {
        kSelEndOk = 1,  // a box's item was chosen: m_strText, m_nIndex
        kDropDown = 2,  // a button's arrow was pressed: m_rcButton
    };
    unsigned m_nCode = 0;
    QString m_strText;
    int m_nIndex = -1;
    QRect m_rcButton;  // global coordinates; a popup goes at its bottom left
};

// What an update handler may say about one command.
class CCmdUI {
public:
    // Where the command is shown: a menu entry (updated as its menu opens)
    // or a toolbar button (updated while the program is idle).
    enum Kind { kindMenu, kindToolbar };
    // Adds actions to a menu; an action whose data holds a command id runs
    // that command.
    using Filler = std::function<void(QMenu* pMenu)>;

    explicit CCmdUI(unsigned nID, Kind kind = kindMenu) : m_nID(nID), m_kind(kind) {}

    // For a popup's entry (IsPopupEntry) this says nothing: a popup holds
    // more than its first command, whose rule is not the popup's.
    void Enable(bool bOn = true) { m_bEnabled = bOn; }
    // Greys or enables the popup whose entry the update is about.
    void EnablePopup(bool bOn = true) {
        if (m_bPopupEntry) m_nPopupEnabled = bOn ? 1 : 0;
    }
    // 0 unchecked, 1 checked, 2 indeterminate (shown checked and marked).
    void SetCheck(int nCheck = 1) {
        m_nCheck = nCheck;
        m_bRadio = false;
    }
    // A radio mark instead of a check mark.
    void SetRadio(bool bOn = true) {
        m_nCheck = bOn ? 1 : 0;
        m_bRadio = true;
    }
    void SetText(const QString& strText) {
        m_strText = strText;
        m_bTextSet = true;
    }
    // Only a menu entry of the module can be replaced; elsewhere these
    // do nothing. The entry becomes a popup with this caption, filled each
    // time its menu opens ...
    void SetPopup(const QString& strCaption, Filler fnFill);
    // ... or the filler's items stand in its place.
    void SetItems(Filler fnFill);

    bool IsMenu() const { return m_kind == kindMenu; }
    bool IsToolbar() const { return m_kind == kindToolbar; }
    // The update is about a popup's entry in its parent menu (the popup's
    // first command asks): only EnablePopup applies.
    bool IsPopupEntry() const { return m_bPopupEntry; }
    // The entry's text in the module's menu.
    const QString& EntryText() const { return m_strEntryText; }

    unsigned m_nID;
    Kind m_kind;
    bool m_bEnabled = true;
    int m_nCheck = -1;  // -1: nobody said; the mark is cleared
    bool m_bRadio = false;
    QString m_strText;
    bool m_bTextSet = false;

    // Set by whoever asks.
    bool m_bPopupEntry = false;
    int m_nPopupEnabled = -1;  // -1: the popup's entry stays enabled
    bool m_bReplaceable = false;
    QString m_strEntryText;

    // The replacement, when the handler asked for one.
    QString m_strPopupCaption;
    Filler m_fnPopup;
    Filler m_fnItems;
};

class CCmdTarget;

// A target that may go away: null once it is destroyed.
class CCmdTargetPtr {
public:
    CCmdTargetPtr() = default;
    CCmdTargetPtr(CCmdTarget* pTarget);
    CCmdTarget* get() const { return m_pAlive && *m_pAlive ? m_pTarget : nullptr; }
    explicit operator bool() const { return get() != nullptr; }

private:
    CCmdTarget* m_pTarget = nullptr;
    std::shared_ptr<const bool> m_pAlive;
};

class CCmdTarget {
public:
    CCmdTarget();
    virtual ~CCmdTarget();
    CCmdTarget(const CCmdTarget&) = delete;
    CCmdTarget& operator=(const CCmdTarget&) = delete;

    // Runs the command (pUI and pNotify null), its update handler (pUI set)
    // or a control's notification handler (pNotify set) when this target,
    // or a target it routes to, handles it. True when handled. Subclasses
    // that route to other targets override this and call the base for
    // their own map.
    virtual bool OnCmdMsg(unsigned nID, CCmdUI* pUI, const CCmdNotify* pNotify = nullptr);

    // True when this target's own map holds a handler for the command.
    bool HasCommand(unsigned nID) const;

protected:
    using CommandFn = std::function<void(unsigned)>;
    using UpdateFn = std::function<void(CCmdUI*)>;
    using NotifyFn = std::function<void(const CCmdNotify&)>;
    // The message map. Ranges are inclusive; a range may hold narrower
    // ranges and single ids, and for an id the narrowest entry that holds
    // it wins. Registering an id or a range twice, or ranges that overlap
    // without one holding the other, is a mistake: refused with a critical
    // message (false), and in debug builds it throws std::logic_error.
    bool OnCommand(unsigned nID, std::function<void()> fn);
    bool OnCommandRange(unsigned nFirst, unsigned nLast, CommandFn fn);
    bool OnUpdate(unsigned nID, UpdateFn fn);
    bool OnUpdateRange(unsigned nFirst, unsigned nLast, UpdateFn fn);
    bool OnNotify(unsigned nID, unsigned nCode, NotifyFn fn);

private:
    friend class CCmdTargetPtr;
    struct CEntry {
        unsigned nFirst = 0;
        unsigned nLast = 0;
        CommandFn fnCommand;
        UpdateFn fnUpdate;
    };
    struct CNotifyEntry {
        unsigned nID = 0;
        unsigned nCode = 0;
        NotifyFn fn;
    };
    static bool Add(std::deque<CEntry>& map, CEntry entry, const char* pszKind);
    static const CEntry* Find(const std::deque<CEntry>& map, unsigned nID);
    const CNotifyEntry* FindNotify(unsigned nID, unsigned nCode) const;
    bool HasNotify(unsigned nID) const;
    void RunUpdate(const CEntry& entry, CCmdUI* pUI);

    // Deques: a handler that registers others does not move itself.
    std::deque<CEntry> m_commands;
    std::deque<CEntry> m_updates;
    std::deque<CNotifyEntry> m_notifies;
    // The ids whose update handler failed, by the entry that holds them:
    // the failure is reported when an entry starts failing, not again on
    // every update until it has succeeded for them.
    std::map<unsigned, std::set<unsigned>> m_failingUpdates;
    std::shared_ptr<bool> m_pAlive;
};

// Runs a handler; a failure inside it is reported with message 33049 and
// the exclamation icon, and the program goes on.
void RunGuarded(const std::function<void()>& fn);
// The report of such a failure.
void ReportHandlerFailure();
