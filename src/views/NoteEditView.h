// The note editor: a note's page edited in place in the right pane of its
// notebook window. The engine does the editing; the view turns the menus'
// and bars' commands into the engine's numbered commands through one table,
// asks for their arguments, keeps the format bar in step with the text, and
// loads and writes back the note's page.
#pragma once

#include "platform/gui/CmdTarget.h"
#include "platform/gui/NotePanes.h"
#include "views/EditEngine.h"

#include <QStringList>
#include <QVariant>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class CClipVaultDoc;
class CColorMenu;
class CNote;
class INoteFrame;
class QMenu;

class CNoteEditView : public QWidget, public CCmdTarget, public INoteEditorPane {
    Q_OBJECT
public:
    // Most block formats the view keeps, and the most its commands reach
    // (the ids after them belong to other commands).
    static constexpr unsigned kMaxBlockFormats = 32;
    static constexpr unsigned kMaxBlockFormatCommands = 21;

    CNoteEditView(INoteFrame& frame, CClipVaultDoc& doc, QWidget* pParent);
    ~CNoteEditView() override;

    // Loads a note's page (the new flag and the mode are the frame's and
    // not used here); false when the page cannot be produced, the editor
    // then stands blank.
    bool OpenNote(CNote* pNote, bool bNew = false, int nMode = -1);
    // Writes the page back into its note; true also when there was nothing
    // to write.
    bool CommitNote();
    // The editing options of the option store, to the engine.
    void ApplyEditorOptions() override;
    // A blank page; what was loaded stays the note's.
    void ClearEditor();

    // The page can be edited: the notebook is not read-only, a note is
    // loaded and the engine is in edit mode.
    bool IsEditable();

    CNote* CurrentNote() const { return m_pNote; }
    bool IsPageLoaded() const { return m_bPageLoaded; }
    IEditEngine* Engine() const { return m_pEngine.get(); }
    const std::vector<QString>& BlockFormats() const { return m_blockFormats; }

    // INoteEditorPane
    QWidget* Widget() override { return this; }
    CCmdTarget* Target() override { return this; }
    bool LoadNote(CNote* pNote, bool bNew, int nMode) override { return OpenNote(pNote, bNew, nMode); }
    bool SaveNote() override { return CommitNote(); }
    CNote* EditedNote() const override { return m_pNote; }
    void ShowPlace(const std::string& strFragment) override;
    void CloseWindow() override;

    // How the view makes its engine; null leaves it without one (nothing
    // shows, every command is disabled).
    using EngineFactory = std::function<std::unique_ptr<IEditEngine>(QWidget* pParent)>;
    static EngineFactory s_fnMakeEngine;
    // The page-background colours, one menu for the program; the
    // application hands its own in, else the view makes one.
    static void SetBackgroundMenu(CColorMenu* pMenu);
    static CColorMenu& BackgroundMenu();
    // The colour dialog of command 121; tests answer it. False: cancelled.
    static std::function<bool(QColor& color, QWidget* pParent)> s_fnChooseColor;
    // The text shown for an engine's failure of a command that asked the
    // user something.
    static QString ErrorText(int32_t hr);

protected:
    bool eventFilter(QObject* pWatched, QEvent* e) override;

private:
    struct CEntry;
    static const std::vector<CEntry>& CommandTable();
    static const CEntry* FindEntry(unsigned nID);

    void RegisterCommands();
    void WatchForHelp(QObject* pObject);

    // The page path of a note: its working copy when the notebook holds
    // its content, else its source.
    static std::string PagePath(CNote* pNote);
    int32_t LoadPage(const std::string& strPage);
    // An encrypted notebook's page: shown from memory under a token of its
    // own, nothing written until a save.
    bool OpenFromMemory(CNote* pNote);
    // After a load: the page is this view's, or the editor is blank and the
    // user told why.
    bool Loaded(CNote* pNote, int32_t hr, const std::string& strPath);

    unsigned Status(int nCmd);
    int32_t Execute(int nCmd, bool bPrompt, const QVariant& arg = QVariant(), QVariant* pResult = nullptr);

    // A hovered link's address for the status bar, or the kept note it
    // leads to; a followed link opens a note link's note or a kept page's.
    QString LinkStatusText(const QString& strHref);
    void FollowLink(const QString& strHref);

    void OnTableCommand(unsigned nID);
    void OnTableUpdate(CCmdUI* pUI);
    void InsertDateTime();

    // Argument handlers: false when the user cancelled.
    bool HyperlinkArgument(QVariant& arg);
    bool InsertTableArgument(QVariant& arg);
    bool ConstrainArgument(QVariant& arg);
    bool NudgeArgument(QVariant& arg);
    bool AlignGridArgument(QVariant& arg);
    void FreePoint(QVariant& arg);

    void RefreshFontBoxes();
    void FetchBlockFormats();
    QString CurrentBlockFormat();
    void FillBlockFormats(QMenu* pMenu);
    void OnBlockFormatDropDown(const CCmdNotify& notify);
    void OnForeColorDropDown(const CCmdNotify& notify);
    void SetBackgroundColor(const QColor& color);

    INoteFrame& m_frame;
    CClipVaultDoc& m_doc;
    std::unique_ptr<IEditEngine> m_pEngine;
    CNote* m_pNote = nullptr;
    bool m_bPageLoaded = false;
    QString m_strToken;  // the stored-page grant of a page shown from memory
    std::vector<QString> m_blockFormats;
    unsigned m_nBlockFormatCount = 0;
    bool m_bConstrain = false;
    int m_nGridX = 0;
    int m_nGridY = 0;
    // A command runs inside another (a dialog's loop): the font boxes are not
    // touched meanwhile.
    bool m_bInCommand = false;
};
