// The HTML editing engine behind the note editor, as the editor sees it:
// it loads a page, saves it back to the file it came from, tells for each
// numbered command whether it is supported, enabled, latched or
// indeterminate, and executes a command with an optional argument and an
// optional result. The editor only turns menu commands into these numbers;
// what a command does to the page is the engine's business.
#pragma once

#include <QPoint>
#include <QString>
#include <QUrl>
#include <QVariant>
#include <cstdint>
#include <functional>
#include <vector>

class QWidget;

namespace edit {

// Status flags of a command.
enum : unsigned {
    kSupported = 1,
    kEnabled = 2,
    kLatched = 4,  // shown with a check mark
    kIndeterminate = 8,
};

// How a command runs: with the engine's own dialog, or with the argument
// as given.
enum : int {
    kPromptUser = 1,
    kDontPromptUser = 2,
};

// Result codes, with the values the editor's callers have always seen.
constexpr int32_t kOk = 0;
constexpr int32_t kFalse = 1;  // nothing done, and no error (a prompt the user cancelled)
constexpr int32_t kErrFail = static_cast<int32_t>(0x80004005u);
constexpr int32_t kErrInvalidArg = static_cast<int32_t>(0x80070057u);
constexpr int32_t kErrFileNotFound = static_cast<int32_t>(0x80070002u);
constexpr int32_t kErrNotSupported = static_cast<int32_t>(0x80040100u);
constexpr int32_t kErrDisabled = static_cast<int32_t>(0x80040101u);

inline bool Failed(int32_t hr) { return hr < 0; }

// The engine's command numbers.
enum Command : int {
    kNudge = 2,             // argument QPoint: move the selected positioned element by x, y
    kAlignGrid = 3,         // argument QPoint: the grid positioned elements snap to
    kMakeAbsolute = 4,      // toggles free positioning of the selected element
    kLockElement = 5,       // toggles the lock of a positioned element
    kSendToBack = 6,
    kBringToFront = 7,
    kSendBackward = 8,
    kBringForward = 9,
    kSendBehindText = 10,
    kBringAboveText = 11,
    kConstrain = 12,        // argument bool: dragging moves straight across or straight down only
    kInsertRow = 14,
    kInsertColumn = 15,
    kDeleteRows = 16,
    kDeleteColumns = 17,
    kMergeCells = 18,
    kSplitCell = 19,
    kInsertCell = 20,
    kDeleteCells = 21,
    kInsertTable = 22,      // argument QVariantList of 5, see the editor's insert-table handler
    kActivateActiveX = 23,  // argument bool (recorded; nothing of the kind runs in the editor)
    kActivateApplets = 24,  // argument bool (recorded)
    kActivateDtc = 25,      // argument bool (recorded)
    kBlockFormat = 27,      // get/set QString: a name of the kBlockFormats list
    kBold = 28,
    kCopy = 30,
    kCut = 31,
    kDelete = 32,
    kEditMode = 33,         // latched while the page is editable; argument bool sets it
    kFind = 34,             // prompt: the find bar
    kFont = 35,             // prompt: the font dialog
    kFontName = 36,         // get/set QString: a font family
    kFontSize = 37,         // get/set int 1-7
    kForeColor = 38,        // get/set int 0x00BBGGRR
    kBlockFormats = 39,     // get QStringList: the names kBlockFormat takes
    kHyperlink = 40,        // argument QString: the address; a null string removes the link
    kInsertImage = 41,      // prompt: a file or address chooser; else argument QString: the address
    kIndent = 42,
    kItalic = 43,
    kJustifyCenter = 44,
    kJustifyLeft = 45,
    kJustifyRight = 46,
    kOrderList = 47,
    kOutdent = 48,
    kPaste = 50,
    kPrint = 51,            // prompt: the print dialog; else the default printer
    kRedo = 52,
    kSelectAll = 54,
    kShowBorders = 55,      // argument bool
    kShowDetails = 56,      // argument bool
    kUnderline = 57,
    kUndo = 58,
    kUnorderList = 60,
};

}  // namespace edit

// The current selection, as the editor's link command reads it.
struct CEditSelection {
    // "Control" (an element selected as a whole: a picture, a table, a
    // positioned element), "Text", or "None".
    QString m_strType = QStringLiteral("None");
    // The element of the selection: for a control selection the selected
    // element itself, else the element that holds the selected text. Tag
    // names in upper case; the href is the attribute as written, empty when
    // the element is no link.
    QString m_strTag;
    QString m_strHref;
    QString m_strParentTag;
    QString m_strParentHref;
    // The selected text.
    QString m_strText;
};

class IEditEngine {
public:
    virtual ~IEditEngine() = default;

    virtual QWidget* Widget() = 0;

    // Loading starts at once and ends later; commands wait for the page.
    // A blank page; an address (file:, http:, https:); a file on disk
    // (kErrFileNotFound when there is none). A load that fails leaves a
    // blank page, never the page before it.
    virtual int32_t LoadBlank() = 0;
    virtual int32_t LoadUrl(const QUrl& url) = 0;
    virtual int32_t LoadFile(const QString& strPath) = 0;
    // A page held in memory, shown at `url` (the stored-page scheme, which
    // serves it and the files it may read); a save writes to `strSaveFile`.
    // Nothing of it is written before that save.
    virtual int32_t LoadMemory(const QUrl& url, const std::vector<uint8_t>& bytes, const QString& strSaveFile) {
        (void)url;
        (void)bytes;
        (void)strSaveFile;
        return edit::kErrNotSupported;
    }
    // The user changed the page since it was loaded or last saved (an edit
    // undone again is no change). A page still loading has no changes.
    virtual bool IsChanged() = 0;
    // The file the page came from (empty for a blank page or an address).
    virtual QString CurrentFile() const = 0;
    // Writes the page to `strPath` (the current file when empty) and waits
    // until it is written: the page's own encoding, doctype, head, scripts
    // and styles are kept, and an unchanged page is written as it was
    // loaded, byte for byte.
    virtual int32_t Save(const QString& strPath) = 0;

    virtual unsigned QueryStatus(int nCmd) = 0;
    // Argument and result as the command numbers above say. A command with a
    // result answers at once from what the engine last reported; one that
    // changes the page runs after the commands sent before it.
    virtual int32_t Exec(int nCmd, int nExecOpt, const QVariant& arg = QVariant(), QVariant* pResult = nullptr) = 0;

    // Direct calls on the page.
    virtual void SetBackgroundColor(const QString& strColor) = 0;  // "#RRGGBB"
    virtual CEditSelection Selection() = 0;
    virtual void PutSelectionText(const QString& strText) = 0;

    // Detaches and closes without saving.
    virtual void Close() = 0;

    // Scrolls the page (the one loading, or the one on show) to the place a
    // link's fragment names: an element of that id, or an anchor of that
    // name.
    virtual void ShowPlace(const QString& strFragment) { (void)strFragment; }

    // What the engine tells its host. Ready: its commands can be sent (once,
    // the first time it shows its page). Update: the selection or the page
    // changed (the font boxes follow). Status: a text for the status bar
    // (empty clears it). Title: the page's title changed. Mouse down: a press
    // in the page, in page coordinates. Follow: the user asked to follow a
    // link of the page (a Ctrl+click on it), with its resolved address.
    std::function<void()> m_fnReady;
    std::function<void()> m_fnUpdateCommands;
    std::function<void(const QString&)> m_fnStatusText;
    std::function<void(const QString&)> m_fnTitle;
    std::function<void(const QPoint&)> m_fnMouseDown;
    std::function<void(const QString&)> m_fnFollowLink;
};
