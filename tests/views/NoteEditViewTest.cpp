// The note editor's own rules, on an engine that records what it is told:
// which command each menu item sends with which argument, the update rules,
// the colour and style menus, the font boxes, and the load and save flow.
#include "support/GuiTestSupport.h"

#include "app/AppOptions.h"
#include "document/ClipVaultDoc.h"
#include "document/Records.h"
#include "platform/CommandIds.h"
#include "platform/gui/AppGlobals.h"
#include "platform/gui/CommandActions.h"
#include "platform/gui/LanguageModule.h"
#include "platform/gui/MessageBox.h"
#include "platform/gui/NoteFrame.h"
#include "platform/gui/QtText.h"
#include "platform/gui/TemplateDialog.h"
#include "views/ColorMenu.h"
#include "views/EditorDialogs.h"
#include "views/HyperlinkDlg.h"
#include "views/NoteEditView.h"
#include "views/EditorTestSupport.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPalette>
#include <QPushButton>
#include <QTest>

#include <map>
#include <set>

namespace {

struct CExec {
    int m_nCmd;
    int m_nOpt;
    QVariant m_arg;
};

class CFakeEngine : public IEditEngine {
public:
    QWidget* Widget() override { return &m_widget; }
    int32_t LoadBlank() override {
        m_loads << QStringLiteral("blank");
        return edit::kOk;
    }
    int32_t LoadUrl(const QUrl& url) override {
        m_loads << QStringLiteral("url ") + url.toString();
        return edit::kOk;
    }
    int32_t LoadFile(const QString& strPath) override {
        m_loads << QStringLiteral("file ") + strPath;
        m_strFile = strPath;
        return edit::kOk;
    }
    bool IsChanged() override { return m_bChanged; }
    QString CurrentFile() const override { return m_strFile; }
    int32_t Save(const QString& strPath) override {
        m_saves << strPath;
        if (!edit::Failed(m_nSaveResult) && !m_saveBytes.isEmpty()) {
            QFile f(strPath.isEmpty() ? m_strFile : strPath);
            if (f.open(QIODevice::WriteOnly)) f.write(m_saveBytes);
        }
        return m_nSaveResult;
    }
    unsigned QueryStatus(int nCmd) override {
        auto it = m_status.find(nCmd);
        return it == m_status.end() ? m_nDefaultStatus : it->second;
    }
    int32_t Exec(int nCmd, int nOpt, const QVariant& arg, QVariant* pResult) override {
        if (pResult) {
            auto it = m_results.find(nCmd);
            if (it == m_results.end()) return edit::kErrNotSupported;
            *pResult = it->second;
            return edit::kOk;
        }
        m_execs.push_back({nCmd, nOpt, arg});
        auto it = m_execResults.find(nCmd);
        return it == m_execResults.end() ? edit::kOk : it->second;
    }
    void SetBackgroundColor(const QString& strColor) override { m_backgrounds << strColor; }
    CEditSelection Selection() override { return m_selection; }
    void PutSelectionText(const QString& strText) override { m_putTexts << strText; }
    void Close() override { m_bClosed = true; }

    QWidget m_widget;
    QString m_strFile;
    QStringList m_loads, m_saves, m_backgrounds, m_putTexts;
    QByteArray m_saveBytes;
    bool m_bChanged = false;
    int32_t m_nSaveResult = edit::kOk;
    unsigned m_nDefaultStatus = edit::kSupported | edit::kEnabled;
    std::map<int, unsigned> m_status{{edit::kEditMode, edit::kSupported | edit::kEnabled | edit::kLatched}};
    std::map<int, QVariant> m_results;
    std::map<int, int32_t> m_execResults;
    std::vector<CExec> m_execs;
    CEditSelection m_selection;
    bool m_bClosed = false;
};

std::vector<uint8_t> Bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

}  // namespace

class NoteEditViewTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void readOnlyNotebookKeepsOnlyPrinting();
    void commitWritesBackAndMarksModified();
    void openWritesTheWorkingCopyOrClears();
    void loadRulesByPrefix();
    void tableRowsSendTheirNumbers();
    void updatesFollowTheEngine();
    void promptFailuresAreShownOthersAreNot();
    void hyperlinkPrefill();
    void insertTableArgument();
    void constrainNudgeAndGrid();
    void cancelledDialogsExecuteNothing();
    void insertDateTimeReplacesTextOnly();
    void blockFormats();
    void foreColour();
    void pageBackground();
    void fontBoxes();
    void editorOptionsAndEngineEvents();
    void withoutAnEngineEverythingIsOff();

private:
    CNote* HeldNote(const std::string& name, const std::string& html) {
        CNote* p = m_pDoc->m_rootCata.AddNewNote(name);
        p->m_strExt = "htm";
        p->m_nContentType = kContentHeld;
        p->m_nSourceKind = kSourceWritten;
        p->SetContent(Bytes(html));
        return p;
    }
    CCmdUI Update(unsigned nID, CCmdUI::Kind kind = CCmdUI::kindMenu) {
        CCmdUI ui(nID, kind);
        m_pView->OnCmdMsg(nID, &ui);
        return ui;
    }
    void Run(unsigned nID) { m_pView->OnCmdMsg(nID, nullptr); }
    void MakeView() {
        delete m_pView;
        m_pEngine = nullptr;
        CNoteEditView::s_fnMakeEngine = [this](QWidget*) {
            auto p = std::make_unique<CFakeEngine>();
            m_pEngine = p.get();
            return std::unique_ptr<IEditEngine>(std::move(p));
        };
        m_pView = new CNoteEditView(*m_pFrame, *m_pDoc, m_pWindow.get());
        m_pFrame->SetActiveView(m_pView);
    }

    std::unique_ptr<CEditorTestEnvironment> m_pEnv;
    std::unique_ptr<CFakeFrame> m_pFrame;
    std::unique_ptr<CClipVaultDoc> m_pDoc;
    std::unique_ptr<QWidget> m_pWindow;
    CNoteEditView* m_pView = nullptr;
    CFakeEngine* m_pEngine = nullptr;
    CNoteEditView::EngineFactory m_oldFactory;
};

void NoteEditViewTest::initTestCase() {
    m_pEnv = std::make_unique<CEditorTestEnvironment>();
    QVERIFY(m_pEnv->m_bLoaded);
    m_oldFactory = CNoteEditView::s_fnMakeEngine;
}

void NoteEditViewTest::cleanupTestCase() {
    CNoteEditView::s_fnMakeEngine = m_oldFactory;
    m_pEnv.reset();
}

void NoteEditViewTest::init() {
    m_pEnv->m_fx.Clear();
    m_pFrame = std::make_unique<CFakeFrame>(m_pEnv->m_lang);
    m_pDoc = std::make_unique<CClipVaultDoc>();
    m_pDoc->OnNewDocument();
    m_pWindow = std::make_unique<QWidget>();
    MakeView();
}

void NoteEditViewTest::cleanup() {
    delete m_pView;
    m_pView = nullptr;
    m_pWindow.reset();
    m_pDoc.reset();
    m_pFrame.reset();
    CNoteEditView::BackgroundMenu().m_nSelectedID = 0;
}

void NoteEditViewTest::readOnlyNotebookKeepsOnlyPrinting() {
    CNote* note = HeldNote("n", "<p>x</p>");
    QVERIFY(m_pView->OpenNote(note));
    m_pDoc->SetPassword("secret");
    QVERIFY(m_pDoc->IsLocked());
    m_pDoc->MarkModified(false);
    QVERIFY(!m_pView->IsEditable());
    for (unsigned id = cmd::kCmdFirstEditTable; id <= cmd::kCmdLastEditTable; ++id) {
        if (id == cmd::kCmdFontName || id == cmd::kCmdFontSize) continue;  // the boxes, below
        const CCmdUI ui = Update(id);
        const bool bPrint = id == cmd::kCmdPrint || id == cmd::kCmdPrintDirect;
        QVERIFY2(ui.m_bEnabled == bPrint, qPrintable(QString::number(id)));
    }
    for (unsigned id : {cmd::kCmdForeColorButton, cmd::kCmdBlockFormatButton, cmd::kCmdFirstBackColor,
                        cmd::kCmdBackColorDialog, cmd::kCmdFirstForeColor, cmd::kCmdFirstBlockFormat})
        QVERIFY2(!Update(id).m_bEnabled, qPrintable(QString::number(id)));
    // The popups of the format menu grey out too.
    CCmdUI popup(cmd::kCmdAlignLeft);
    popup.m_bPopupEntry = true;
    m_pView->OnCmdMsg(cmd::kCmdAlignLeft, &popup);
    QCOMPARE(popup.m_nPopupEnabled, 0);
    // The font boxes stand empty and grey.
    QComboBox name;
    name.addItems({"Alpha"});
    name.setCurrentIndex(0);
    m_pFrame->Actions().SetComboBox(cmd::kCmdFontName, &name);
    m_pEngine->m_results[edit::kFontName] = QStringLiteral("Alpha");
    m_pEngine->m_fnUpdateCommands();
    QVERIFY(!name.isEnabled());
    QCOMPARE(name.currentIndex(), -1);
    // Printing still runs; nothing is saved.
    Run(cmd::kCmdPrintDirect);
    QCOMPARE(m_pEngine->m_execs.size(), size_t(1));
    QCOMPARE(m_pEngine->m_execs[0].m_nCmd, int(edit::kPrint));
    QCOMPARE(m_pEngine->m_execs[0].m_nOpt, int(edit::kDontPromptUser));
    QVERIFY(m_pView->CommitNote());
    QVERIFY(m_pEngine->m_saves.isEmpty());
    QVERIFY(!m_pDoc->IsModified());
}

void NoteEditViewTest::commitWritesBackAndMarksModified() {
    // Before any note: nothing is written, and that is no failure.
    QVERIFY(m_pView->CommitNote());
    QVERIFY(m_pEngine->m_saves.isEmpty());

    CNote* note = HeldNote("n", "<p>old</p>");
    note->m_attachNames = {"vltlisted.gif"};
    QVERIFY(m_pView->OpenNote(note));
    const QString path = ToQ(note->m_strWorkPath);
    QVERIFY(QFile::exists(path));
    QCOMPARE(m_pEngine->m_loads.last(), QStringLiteral("file ") + path);
    // Only looked at: nothing is written or read back, and the notebook
    // stays unmodified, however often the frame asks.
    m_pDoc->MarkModified(false);
    m_pEngine->m_saveBytes = "<p>what the engine would write</p>";
    for (int i = 0; i < 2; ++i) QVERIFY(m_pView->CommitNote());
    QVERIFY(m_pEngine->m_saves.isEmpty());
    QVERIFY(!m_pDoc->IsModified());
    QCOMPARE(std::string(note->Content().begin(), note->Content().end()), std::string("<p>old</p>"));
    QCOMPARE(note->m_attachNames, std::vector<std::string>{"vltlisted.gif"});
    // Changed: written, read back into the note, and the notebook is modified.
    m_pEngine->m_bChanged = true;
    m_pEngine->m_saveBytes = "<p>new</p>";
    QVERIFY(m_pView->CommitNote());
    QCOMPARE(m_pEngine->m_saves, QStringList{path});
    QVERIFY(m_pDoc->IsModified());
    QCOMPARE(std::string(note->Content().begin(), note->Content().end()), std::string("<p>new</p>"));
    // A page that could not be written is reported, and the note keeps its
    // bytes.
    m_pEngine->m_nSaveResult = edit::kErrFail;
    m_pEngine->m_saveBytes = "<p>lost</p>";
    QVERIFY(!m_pView->CommitNote());
    QCOMPARE(std::string(note->Content().begin(), note->Content().end()), std::string("<p>new</p>"));
    // Not in edit mode: nothing to write.
    m_pEngine->m_nSaveResult = edit::kOk;
    m_pEngine->m_status[edit::kEditMode] = edit::kSupported | edit::kEnabled;
    m_pEngine->m_saves.clear();
    QVERIFY(m_pView->CommitNote());
    QVERIFY(m_pEngine->m_saves.isEmpty());
}

void NoteEditViewTest::openWritesTheWorkingCopyOrClears() {
    CNote* note = HeldNote("n", "<p>a</p>");
    QVERIFY(m_pView->OpenNote(note));
    const QString path = ToQ(note->m_strWorkPath);
    // The copy on disk is used as it stands, unless its links were rewritten.
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("edited on disk");
    f.close();
    QVERIFY(m_pView->OpenNote(note));
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("edited on disk"));
    f.close();
    note->m_bLinksRewritten = 1;
    QVERIFY(m_pView->OpenNote(note));
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("<p>a</p>"));
    f.close();

    // A copy that cannot be written: a blank editor, and nothing saved later.
    CNote* broken = HeldNote("b", "<p>b</p>");
    broken->m_strWorkPath = FromQ(m_pEnv->m_fx.WorkFolder()) + "/no/such/folder/vltx.htm";
    QVERIFY(!m_pView->OpenNote(broken));
    QCOMPARE(m_pEngine->m_loads.last(), QStringLiteral("blank"));
    QVERIFY(!m_pView->IsPageLoaded());
    QVERIFY(m_pView->CommitNote());
    QVERIFY(m_pEngine->m_saves.isEmpty());

    // A note whose page is its source file is edited there and never
    // overwritten with the note's bytes.
    const QString source = m_pEnv->m_fx.WorkFolder() + QStringLiteral("/source.htm");
    QFile s(source);
    QVERIFY(s.open(QIODevice::WriteOnly));
    s.write("<p>the user's file</p>");
    s.close();
    CNote* linked = m_pDoc->m_rootCata.AddNewNote("l");
    linked->m_strExt = "htm";
    linked->m_nContentType = 0;
    linked->m_strSource = FromQ(source);
    linked->m_bLinksRewritten = 1;
    QVERIFY(m_pView->OpenNote(linked));
    QCOMPARE(m_pEngine->m_loads.last(), QStringLiteral("file ") + source);
    QVERIFY(s.open(QIODevice::ReadOnly));
    QCOMPARE(s.readAll(), QByteArray("<p>the user's file</p>"));
}

void NoteEditViewTest::loadRulesByPrefix() {
    CNote* linked = m_pDoc->m_rootCata.AddNewNote("l");
    linked->m_strExt = "htm";
    linked->m_nContentType = 1;
    const std::pair<const char*, const char*> cases[] = {
        {"http://example.org/a.htm", "url http://example.org/a.htm"},
        {"file:///tmp/a.htm", "url file:///tmp/a.htm"},
        {"HTTP://example.org/a.htm", "file HTTP://example.org/a.htm"},
        {"https://example.org/a.htm", "url https://example.org/a.htm"},
    };
    for (const auto& [source, expected] : cases) {
        linked->m_strSource = source;
        QVERIFY(m_pView->OpenNote(linked));
        QCOMPARE(m_pEngine->m_loads.last(), QString::fromLatin1(expected));
    }
    m_pView->ClearEditor();
    QCOMPARE(m_pEngine->m_loads.last(), QStringLiteral("blank"));
    QVERIFY(m_pView->IsPageLoaded());
}

void NoteEditViewTest::tableRowsSendTheirNumbers() {
    QVERIFY(m_pView->OpenNote(HeldNote("n", "<p>x</p>")));
    const std::pair<unsigned, int> plain[] = {
        {32838, 41}, {32811, 35}, {32828, 45}, {32829, 46}, {32827, 44}, {32834, 47}, {32831, 60}, {32833, 42},
        {32832, 48}, {32806, 58}, {32807, 52}, {32809, 32}, {32810, 54}, {32802, 34}, {32803, 31}, {32804, 30},
        {32805, 50}, {32821, 28}, {32825, 43}, {32826, 57}, {32815, 51}, {32813, 51}, {32846, 14}, {32847, 15},
        {32848, 16}, {32849, 17}, {32850, 18}, {32851, 19}, {32852, 20}, {32853, 21}, {32854, 4},  {32855, 5},
        {32856, 6},  {32857, 7},  {32858, 8},  {32859, 9},  {32860, 10}, {32861, 11},
    };
    const std::set<unsigned> prompted = {32838, 32811, 32802, 32813};
    for (const auto& [menu, engine] : plain) {
        m_pEngine->m_execs.clear();
        Run(menu);
        QCOMPARE(m_pEngine->m_execs.size(), size_t(1));
        QCOMPARE(m_pEngine->m_execs[0].m_nCmd, engine);
        QCOMPARE(m_pEngine->m_execs[0].m_nOpt, prompted.count(menu) ? int(edit::kPromptUser) : int(edit::kDontPromptUser));
        QVERIFY(!m_pEngine->m_execs[0].m_arg.isValid());
    }
    // An id of the range that no row names does nothing.
    m_pEngine->m_execs.clear();
    Run(32801);
    Run(32887);
    QVERIFY(m_pEngine->m_execs.empty());
    // The docked window may slide again once a command has run.
    g_bAutoHideAllowed = true;
    Run(32821);
    QVERIFY(g_bAutoHideAllowed);
}

void NoteEditViewTest::updatesFollowTheEngine() {
    QVERIFY(m_pView->OpenNote(HeldNote("n", "<p>x</p>")));
    m_pEngine->m_status[edit::kBold] = edit::kSupported | edit::kEnabled | edit::kLatched;
    m_pEngine->m_status[edit::kInsertRow] = edit::kSupported;
    CCmdUI bold = Update(32821);
    QVERIFY(bold.m_bEnabled);
    QCOMPARE(bold.m_nCheck, 1);
    CCmdUI row = Update(32846);
    QVERIFY(!row.m_bEnabled);
    QCOMPARE(row.m_nCheck, -1);
    // The alignment popup follows its first item; other popups stay open.
    m_pEngine->m_status[edit::kJustifyLeft] = edit::kSupported;
    CCmdUI align(cmd::kCmdAlignLeft);
    align.m_bPopupEntry = true;
    m_pView->OnCmdMsg(cmd::kCmdAlignLeft, &align);
    QCOMPARE(align.m_nPopupEnabled, 0);
    CCmdUI cells(cmd::kCmdInsertRow);
    cells.m_bPopupEntry = true;
    m_pView->OnCmdMsg(cmd::kCmdInsertRow, &cells);
    QCOMPARE(cells.m_nPopupEnabled, -1);
    // Without edit mode nothing edits; without a note neither.
    m_pEngine->m_status[edit::kEditMode] = edit::kSupported | edit::kEnabled;
    QVERIFY(!Update(32821).m_bEnabled);
    QVERIFY(Update(32813).m_bEnabled);
    m_pEngine->m_status[edit::kEditMode] |= edit::kLatched;
    QVERIFY(Update(cmd::kCmdInsertDateTime).m_bEnabled);
    MakeView();
    QVERIFY(!Update(cmd::kCmdInsertDateTime).m_bEnabled);
}

void NoteEditViewTest::promptFailuresAreShownOthersAreNot() {
    QVERIFY(m_pView->OpenNote(HeldNote("n", "<p>x</p>")));
    m_pEngine->m_execResults[edit::kInsertImage] = edit::kErrFileNotFound;
    m_pEngine->m_execResults[edit::kPrint] = edit::kErrFail;
    m_pEngine->m_execResults[edit::kBold] = edit::kErrFail;
    m_pEngine->m_execResults[edit::kFind] = edit::kFalse;
    Run(32838);
    QCOMPARE(m_pEnv->m_fx.m_messages.size(), size_t(1));
    QCOMPARE(m_pEnv->m_fx.m_messages[0].m_strText, m_pEnv->m_lang.String(34382));
    QCOMPARE(m_pEnv->m_fx.m_messages[0].m_nType & 0xF, unsigned(host::MB_OK));
    m_pEnv->m_fx.Clear();
    Run(32813);  // a failed print says nothing more
    Run(32821);  // nor does a failed command that asked nothing
    Run(32802);  // and a cancelled prompt is no failure
    QVERIFY(m_pEnv->m_fx.m_messages.empty());
    QVERIFY(CNoteEditView::ErrorText(static_cast<int32_t>(0x80001234u)).contains(QLatin1String("80001234")));
}

void NoteEditViewTest::hyperlinkPrefill() {
    QVERIFY(m_pView->OpenNote(HeldNote("n", "<p>x</p>")));
    QString shown;
    auto seen = [&](CTemplateDialog& d) { shown = Text(d, CHyperlinkDlg::IDC_URL); };
    // A picture inside a link: the link's address.
    m_pEngine->m_selection = {QStringLiteral("Control"), QStringLiteral("IMG"), QString(), QStringLiteral("A"),
                              QStringLiteral("http://example.org/"), QString()};
    {
        CAnswer a(seen);
        Run(cmd::kCmdHyperlink);
        QCOMPARE(a.m_ids, QList<unsigned>{CHyperlinkDlg::IDD});
    }
    QCOMPARE(shown, QStringLiteral("http://example.org/"));
    QCOMPARE(m_pEngine->m_execs.back().m_nCmd, int(edit::kHyperlink));
    QCOMPARE(m_pEngine->m_execs.back().m_arg.toString(), QStringLiteral("http://example.org/"));
    // Selected text inside no link: the text itself.
    m_pEngine->m_selection = {QStringLiteral("Text"), QStringLiteral("P"), QString(), QStringLiteral("BODY"),
                              QString(), QStringLiteral("www.example.org")};
    {
        CAnswer a(seen);
        Run(cmd::kCmdHyperlink);
    }
    QCOMPARE(shown, QStringLiteral("www.example.org"));
    // Text inside a link: its address.
    m_pEngine->m_selection = {QStringLiteral("Text"), QStringLiteral("A"), QStringLiteral("page.htm"),
                              QStringLiteral("P"), QString(), QStringLiteral("words")};
    {
        CAnswer a(seen);
        Run(cmd::kCmdHyperlink);
    }
    QCOMPARE(shown, QStringLiteral("page.htm"));
    // An empty address goes as a null string.
    {
        CAnswer a([](CTemplateDialog& d) { SetText(d, CHyperlinkDlg::IDC_URL, QString()); });
        Run(cmd::kCmdHyperlink);
    }
    const QVariant arg = m_pEngine->m_execs.back().m_arg;
    QCOMPARE(arg.typeId(), int(QMetaType::QString));
    QVERIFY(arg.toString().isNull());
}

void NoteEditViewTest::insertTableArgument() {
    QVERIFY(m_pView->OpenNote(HeldNote("n", "<p>x</p>")));
    QStringList presets;
    {
        CAnswer a([&](CTemplateDialog& d) {
            for (unsigned id : {CInsertTableDlg::IDC_ROWS, CInsertTableDlg::IDC_COLUMNS, CInsertTableDlg::IDC_TABLE_ATTRS,
                                CInsertTableDlg::IDC_CELL_ATTRS, CInsertTableDlg::IDC_CAPTION})
                presets << Text(d, id);
        });
        Run(cmd::kCmdInsertTable);
    }
    QCOMPARE(presets, (QStringList{"2", "2", "BORDER=1 BGCOLOR=black", "BGCOLOR=white", "Here's A Table"}));
    QVariantList list = m_pEngine->m_execs.back().m_arg.toList();
    QCOMPARE(m_pEngine->m_execs.back().m_nCmd, int(edit::kInsertTable));
    QCOMPARE(list.size(), 5);
    QCOMPARE(list[0].toInt(), 2);
    QCOMPARE(list[1].toInt(), 2);
    QCOMPARE(list[2].toString(), QStringLiteral("BORDER=1 BGCOLOR=black"));
    QCOMPARE(list[3].toString(), QStringLiteral("BGCOLOR=white"));
    QCOMPARE(list[4].toString(), QStringLiteral("Here's A Table"));
    // An empty caption leaves the fifth element empty; empty attributes are
    // null strings.
    {
        CAnswer a([](CTemplateDialog& d) {
            SetText(d, CInsertTableDlg::IDC_ROWS, QStringLiteral("3"));
            SetText(d, CInsertTableDlg::IDC_COLUMNS, QStringLiteral("4"));
            SetText(d, CInsertTableDlg::IDC_CAPTION, QString());
            SetText(d, CInsertTableDlg::IDC_CELL_ATTRS, QString());
        });
        Run(cmd::kCmdInsertTable);
    }
    list = m_pEngine->m_execs.back().m_arg.toList();
    QCOMPARE(list.size(), 5);
    QCOMPARE(list[0].toInt(), 3);
    QCOMPARE(list[1].toInt(), 4);
    QVERIFY(list[3].toString().isNull());
    QCOMPARE(list[3].typeId(), int(QMetaType::QString));
    QVERIFY(!list[4].isValid());
}

void NoteEditViewTest::constrainNudgeAndGrid() {
    QVERIFY(m_pView->OpenNote(HeldNote("n", "<p>x</p>")));
    for (bool expected : {true, false, true}) {
        Run(cmd::kCmdConstrainMovement);
        QCOMPARE(m_pEngine->m_execs.back().m_nCmd, int(edit::kConstrain));
        QCOMPARE(m_pEngine->m_execs.back().m_arg.toBool(), expected);
    }
    QStringList nudgePresets;
    {
        CAnswer a([&](CTemplateDialog& d) {
            nudgePresets << Text(d, CNudgeDlg::IDC_X) << Text(d, CNudgeDlg::IDC_Y);
            SetText(d, CNudgeDlg::IDC_X, QStringLiteral("5"));
            SetText(d, CNudgeDlg::IDC_Y, QStringLiteral("512"));
        });
        Run(cmd::kCmdNudgeElement);
    }
    QCOMPARE(nudgePresets, (QStringList{"0", "0"}));
    QCOMPARE(m_pEngine->m_execs.back().m_nCmd, int(edit::kNudge));
    QCOMPARE(m_pEngine->m_execs.back().m_arg.toPoint(), QPoint(5, 512));
    // The grid dialog starts from the last grid.
    QStringList gridPresets;
    for (const char* value : {"8", "1024"}) {
        CAnswer a([&](CTemplateDialog& d) {
            gridPresets << Text(d, CAlignGridDlg::IDC_X);
            SetText(d, CAlignGridDlg::IDC_X, QString::fromLatin1(value));
            SetText(d, CAlignGridDlg::IDC_Y, QStringLiteral("16"));
        });
        Run(cmd::kCmdAlignmentGrid);
        QCOMPARE(m_pEngine->m_execs.back().m_nCmd, int(edit::kAlignGrid));
        QCOMPARE(m_pEngine->m_execs.back().m_arg.toPoint(), QPoint(QByteArray(value).toInt(), 16));
    }
    QCOMPARE(gridPresets, (QStringList{"0", "8"}));
}

void NoteEditViewTest::cancelledDialogsExecuteNothing() {
    QVERIFY(m_pView->OpenNote(HeldNote("n", "<p>x</p>")));
    m_pEngine->m_selection.m_strType = QStringLiteral("Text");
    for (unsigned id : {cmd::kCmdHyperlink, cmd::kCmdInsertTable, cmd::kCmdNudgeElement, cmd::kCmdAlignmentGrid,
                        cmd::kCmdInsertDateTime}) {
        CAnswer a(nullptr, false);
        Run(id);
        QCOMPARE(a.m_nShown, 1);
    }
    QVERIFY(m_pEngine->m_execs.empty());
    QVERIFY(m_pEngine->m_putTexts.isEmpty());
    // A value out of range keeps the dialog open, and nothing runs.
    {
        CAnswer a([](CTemplateDialog& d) { SetText(d, CNudgeDlg::IDC_X, QStringLiteral("513")); });
        Run(cmd::kCmdNudgeElement);
    }
    QVERIFY(m_pEngine->m_execs.empty());
}

void NoteEditViewTest::insertDateTimeReplacesTextOnly() {
    QVERIFY(m_pView->OpenNote(HeldNote("n", "<p>x</p>")));
    QString row;
    m_pEngine->m_selection.m_strType = QStringLiteral("Text");
    {
        CAnswer a([&](CTemplateDialog& d) {
            auto* list = d.Control<QListWidget>(CInsertDateTimeDlg::IDC_FORMATS);
            QVERIFY(list);
            list->setCurrentRow(23);  // "%H:%M:%S"
            row = list->currentItem()->text();
        });
        Run(cmd::kCmdInsertDateTime);
    }
    QCOMPARE(m_pEngine->m_putTexts.size(), 1);
    QCOMPARE(m_pEngine->m_putTexts[0].size(), 8);
    QCOMPARE(m_pEngine->m_putTexts[0].count(QLatin1Char(':')), 2);
    m_pEngine->m_selection.m_strType = QStringLiteral("Control");
    {
        CAnswer a(nullptr);
        Run(cmd::kCmdInsertDateTime);
    }
    QCOMPARE(m_pEngine->m_putTexts.size(), 1);
    QVERIFY(m_pEngine->m_execs.empty());
}

void NoteEditViewTest::blockFormats() {
    QStringList many;
    for (int i = 0; i < 40; ++i) many << QStringLiteral("Format %1").arg(i);
    m_pEngine->m_results[edit::kBlockFormats] = many;
    m_pEngine->m_results[edit::kBlockFormat] = QStringLiteral("Format 3");
    QVERIFY(m_pView->OpenNote(HeldNote("n", "<p>x</p>")));
    // The style popup: fetched once, 32 kept, 21 reachable by their ids.
    CCmdUI style(cmd::kCmdStylePopup);
    style.m_bReplaceable = true;
    m_pView->OnCmdMsg(cmd::kCmdStylePopup, &style);
    QCOMPARE(style.m_strPopupCaption, QStringLiteral("Style"));
    QVERIFY(style.m_bEnabled);
    QVERIFY(style.m_fnPopup);
    QMenu menu;
    style.m_fnPopup(&menu);
    QCOMPARE(m_pView->BlockFormats().size(), size_t(32));
    QCOMPARE(menu.actions().size(), 21);
    QCOMPARE(menu.actions()[20]->data().toUInt(), cmd::kCmdLastBlockFormat);
    QCOMPARE(menu.actions()[20]->text(), QStringLiteral("Format 20"));
    // The current one is radio-checked.
    for (unsigned id : {cmd::kCmdFirstBlockFormat + 3, cmd::kCmdFirstBlockFormat + 4}) {
        CCmdUI ui(id);
        m_pView->OnCmdMsg(id, &ui);
        QVERIFY(ui.m_bRadio);
        QCOMPARE(ui.m_nCheck, id == cmd::kCmdFirstBlockFormat + 3 ? 1 : 0);
    }
    Run(cmd::kCmdLastBlockFormat);
    QCOMPARE(m_pEngine->m_execs.back().m_nCmd, int(edit::kBlockFormat));
    QCOMPARE(m_pEngine->m_execs.back().m_arg.toString(), QStringLiteral("Format 20"));
    // A short list: a position past its end does nothing.
    MakeView();
    m_pEngine->m_results[edit::kBlockFormats] = QStringList{"Normal", "Heading 1"};
    QVERIFY(m_pView->OpenNote(HeldNote("m", "<p>x</p>")));
    Run(cmd::kCmdFirstBlockFormat + 2);
    QVERIFY(m_pEngine->m_execs.empty());
    Run(cmd::kCmdFirstBlockFormat + 1);
    QCOMPARE(m_pEngine->m_execs.back().m_arg.toString(), QStringLiteral("Heading 1"));
    // The bar's drop-down shows the same list with the current one checked,
    // and the choice comes back as the command.
    m_pEngine->m_results[edit::kBlockFormat] = QStringLiteral("Normal");
    QStringList shown;
    QString checked;
    auto old = CColorMenu::s_fnTrack;
    CColorMenu::s_fnTrack = [&](QMenu& m, const QPoint&) -> unsigned {
        for (QAction* a : m.actions()) {
            shown << a->text();
            if (a->isChecked()) checked = a->text();
        }
        return m.actions().last()->data().toUInt();
    };
    CCmdNotify n;
    n.m_nCode = CCmdNotify::kDropDown;
    m_pView->OnCmdMsg(cmd::kCmdBlockFormatButton, nullptr, &n);
    CColorMenu::s_fnTrack = old;
    QCOMPARE(shown, (QStringList{"Normal", "Heading 1"}));
    QCOMPARE(checked, QStringLiteral("Normal"));
    QCOMPARE(m_pEngine->m_execs.back().m_arg.toString(), QStringLiteral("Heading 1"));
    m_pEngine->m_status[edit::kBlockFormat] = edit::kSupported;
    QVERIFY(!Update(cmd::kCmdBlockFormatButton, CCmdUI::kindToolbar).m_bEnabled);
}

void NoteEditViewTest::foreColour() {
    QVERIFY(m_pView->OpenNote(HeldNote("n", "<p>x</p>")));
    // The automatic colour is the window-text colour, not black.
    QPalette palette = QApplication::palette();
    const QPalette saved = palette;
    palette.setColor(QPalette::WindowText, QColor(0x12, 0x34, 0x56));
    QApplication::setPalette(palette);
    Run(cmd::kCmdLastForeColor);
    QApplication::setPalette(saved);
    QCOMPARE(m_pEngine->m_execs.back().m_nCmd, int(edit::kForeColor));
    QCOMPARE(m_pEngine->m_execs.back().m_arg.toInt(), 0x563412);
    Run(cmd::kCmdFirstForeColor + 9);  // FF0000
    QCOMPARE(m_pEngine->m_execs.back().m_arg.toInt(), 0x0000FF);
    // The drop-down marks the colour of the text.
    m_pEngine->m_results[edit::kForeColor] = 0x800000;  // navy as 0x00BBGGRR
    unsigned checked = 0;
    QStringList captions;
    auto old = CColorMenu::s_fnTrack;
    CColorMenu::s_fnTrack = [&](QMenu& m, const QPoint&) -> unsigned {
        for (QAction* a : m.actions()) {
            if (a->isSeparator()) continue;
            captions << a->text();
            if (a->isChecked()) checked = a->data().toUInt();
        }
        return cmd::kCmdFirstForeColor + 2;
    };
    CCmdNotify n;
    n.m_nCode = CCmdNotify::kDropDown;
    m_pView->OnCmdMsg(cmd::kCmdForeColorButton, nullptr, &n);
    CColorMenu::s_fnTrack = old;
    QCOMPARE(checked, cmd::kCmdFirstForeColor + 4);
    QCOMPARE(captions.size(), 17);
    QCOMPARE(captions.first(), m_pEnv->m_lang.String(32888));
    QCOMPARE(captions.last(), m_pEnv->m_lang.String(32904));
    QCOMPARE(m_pEngine->m_execs.back().m_arg.toInt(), 0x008000);
    m_pEngine->m_status[edit::kForeColor] = edit::kSupported;
    QVERIFY(!Update(cmd::kCmdForeColorButton, CCmdUI::kindToolbar).m_bEnabled);
}

void NoteEditViewTest::pageBackground() {
    QVERIFY(m_pView->OpenNote(HeldNote("n", "<p>x</p>")));
    Run(cmd::kCmdFirstBackColor + 9);
    QCOMPARE(m_pEngine->m_backgrounds.last(), QStringLiteral("#FF0000"));
    QCOMPARE(CNoteEditView::BackgroundMenu().m_nSelectedID, cmd::kCmdFirstBackColor + 9);
    // The fifth swatch is a colour, not the dialog.
    Run(121);
    QCOMPARE(m_pEngine->m_backgrounds.last(), QStringLiteral("#000080"));
    QPalette palette = QApplication::palette();
    const QPalette saved = palette;
    palette.setColor(QPalette::WindowText, QColor(0xAB, 0xCD, 0xEF));
    QApplication::setPalette(palette);
    Run(cmd::kCmdLastBackColor);
    QApplication::setPalette(saved);
    QCOMPARE(m_pEngine->m_backgrounds.last(), QStringLiteral("#ABCDEF"));
    // The colour dialog: cancelled sets nothing.
    auto old = CNoteEditView::s_fnChooseColor;
    bool bAnswer = false;
    CNoteEditView::s_fnChooseColor = [&](QColor& c, QWidget*) {
        c = QColor(1, 2, 0xFE);
        return bAnswer;
    };
    Run(cmd::kCmdBackColorDialog);
    QCOMPARE(m_pEngine->m_backgrounds.size(), 3);
    bAnswer = true;
    Run(cmd::kCmdBackColorDialog);
    CNoteEditView::s_fnChooseColor = old;
    QCOMPARE(m_pEngine->m_backgrounds.last(), QStringLiteral("#0102FE"));
    // The "Color" popup stands in for its menu item, with the chosen one
    // marked.
    CCmdUI popup(cmd::kCmdBackColorPopup);
    popup.m_bReplaceable = true;
    m_pView->OnCmdMsg(cmd::kCmdBackColorPopup, &popup);
    QCOMPARE(popup.m_strPopupCaption, QStringLiteral("Color"));
    QVERIFY(popup.m_fnPopup);
    QMenu menu;
    popup.m_fnPopup(&menu);
    QList<unsigned> ids;
    for (QAction* a : menu.actions())
        if (!a->isSeparator()) ids << a->data().toUInt();
    QCOMPARE(ids.size(), 17);
    QCOMPARE(ids.first(), 117u);
    QCOMPARE(ids.last(), 133u);
    CCmdUI item(cmd::kCmdLastBackColor);
    m_pView->OnCmdMsg(cmd::kCmdLastBackColor, &item);
    QCOMPARE(item.m_nCheck, 1);
}

void NoteEditViewTest::fontBoxes() {
    QComboBox name, size;
    name.addItems({"Alpha", "DejaVu Sans", "dejavu sans"});
    for (int s : {8, 10, 12, 14, 18, 24, 36}) size.addItem(QString::number(s));
    m_pFrame->Actions().SetComboBox(cmd::kCmdFontName, &name);
    m_pFrame->Actions().SetComboBox(cmd::kCmdFontSize, &size);
    QVERIFY(m_pView->OpenNote(HeldNote("n", "<p>x</p>")));
    m_pEngine->m_results[edit::kFontName] = QStringLiteral("dejavu sans");
    m_pEngine->m_results[edit::kFontSize] = 4;
    m_pEngine->m_fnUpdateCommands();
    QCOMPARE(name.currentIndex(), 2);  // exactly, case and all
    QCOMPARE(size.currentIndex(), 3);
    QVERIFY(name.isEnabled() && size.isEnabled());
    // A mixed selection clears the boxes; a disabled command greys its box.
    m_pEngine->m_status[edit::kFontName] = edit::kSupported | edit::kEnabled | edit::kIndeterminate;
    m_pEngine->m_status[edit::kFontSize] = edit::kSupported;
    m_pEngine->m_fnUpdateCommands();
    QCOMPARE(name.currentIndex(), -1);
    QCOMPARE(size.currentIndex(), -1);
    QVERIFY(name.isEnabled());
    QVERIFY(!size.isEnabled());
    // Only the view with the keyboard moves the boxes.
    m_pEngine->m_status.erase(edit::kFontName);
    m_pFrame->SetActiveView(nullptr);
    m_pEngine->m_fnUpdateCommands();
    QCOMPARE(name.currentIndex(), -1);
    m_pFrame->SetActiveView(m_pView);
    // A choice in a box is sent to the engine.
    CCmdNotify n;
    n.m_nCode = CCmdNotify::kSelEndOk;
    n.m_strText = QStringLiteral("Alpha");
    n.m_nIndex = 0;
    QVERIFY(m_pView->OnCmdMsg(cmd::kCmdFontName, nullptr, &n));
    QCOMPARE(m_pEngine->m_execs.back().m_nCmd, int(edit::kFontName));
    QCOMPARE(m_pEngine->m_execs.back().m_arg.toString(), QStringLiteral("Alpha"));
    n.m_nIndex = 6;
    QVERIFY(m_pView->OnCmdMsg(cmd::kCmdFontSize, nullptr, &n));
    QCOMPARE(m_pEngine->m_execs.back().m_nCmd, int(edit::kFontSize));
    QCOMPARE(m_pEngine->m_execs.back().m_arg.toInt(), 7);
    // The boxes are the view's: the idle refresh leaves them alone.
    CCmdUI ui(cmd::kCmdFontName, CCmdUI::kindToolbar);
    QVERIFY(m_pView->OnCmdMsg(cmd::kCmdFontName, &ui));
}

void NoteEditViewTest::editorOptionsAndEngineEvents() {
    auto& o = AppOptions();
    const auto saved = o;
    o.m_bActivateDesignTimeControls = true;
    o.m_bActivateActiveXControls = false;
    o.m_bActivateApplets = true;
    o.m_bShowDetails = false;
    o.m_bShowBorders = true;
    m_pEngine->m_fnReady();
    o = saved;
    QCOMPARE(m_pEngine->m_execs.size(), size_t(5));
    const std::pair<int, bool> expected[] = {{25, true}, {23, false}, {24, true}, {56, false}, {55, true}};
    for (size_t i = 0; i < 5; ++i) {
        QCOMPARE(m_pEngine->m_execs[i].m_nCmd, expected[i].first);
        QCOMPARE(m_pEngine->m_execs[i].m_arg.toBool(), expected[i].second);
        QCOMPARE(m_pEngine->m_execs[i].m_nOpt, int(edit::kDontPromptUser));
    }
    m_pEngine->m_fnStatusText(QStringLiteral("http://example.org/"));
    QCOMPARE(m_pFrame->m_status, QStringList{"http://example.org/"});
    m_pEngine->m_fnMouseDown(QPoint(12, 34));
    QCOMPARE(m_pFrame->m_mouseDown, QPoint(12, 34));
    // Closing detaches the view from the engine.
    m_pView->CloseWindow();
    QVERIFY(m_pEngine->m_bClosed);
    QVERIFY(!m_pEngine->m_fnUpdateCommands);
}

void NoteEditViewTest::withoutAnEngineEverythingIsOff() {
    delete m_pView;
    CNoteEditView::s_fnMakeEngine = [](QWidget*) { return std::unique_ptr<IEditEngine>(); };
    m_pView = new CNoteEditView(*m_pFrame, *m_pDoc, m_pWindow.get());
    CNote* note = HeldNote("n", "<p>x</p>");
    m_pView->OpenNote(note);
    QVERIFY(!m_pView->IsEditable());
    QVERIFY(!Update(32821).m_bEnabled);
    QVERIFY(!Update(cmd::kCmdForeColorButton).m_bEnabled);
    Run(32821);
    m_pDoc->MarkModified(false);
    QVERIFY(m_pView->CommitNote());
    QVERIFY(!m_pDoc->IsModified());
}

CLIPVAULT_GUI_TEST_MAIN(NoteEditViewTest)
#include "NoteEditViewTest.moc"
