// The notebook window: which view the right pane holds and when, the
// current note and its history, the commands it routes and its own ones.
#include "support/GuiTestSupport.h"

#include "app/AppOptions.h"
#include "app/DocTemplate.h"
#include "capture/gui/NoteBrowserView.h"
#include "document/ClipVaultDoc.h"
#include "document/Records.h"
#include "frame/ChildFrame.h"
#include "frame/MainFrame.h"
#include "frame/NoteCataView.h"
#include "platform/CommandIds.h"
#include "platform/MessageHost.h"
#include "platform/StringIds.h"
#include "platform/gui/AppGlobals.h"
#include "platform/gui/MessageBox.h"
#include "platform/gui/PropertySheet.h"
#include "platform/gui/TemplateDialog.h"
#include "views/NotePropertiesDlg.h"
#include "views/PasswordDlgs.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QContextMenuEvent>
#include <QDir>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <atomic>
#include <thread>
#include <QPushButton>
#include <QSplitter>
#include <QDialogButtonBox>
#include <QApplication>
#include <QTest>
#include <QTimer>

namespace {

// What the stand-in panes saw; they are deleted by the frame, so their log
// outlives them.
struct CPaneLog {
    QStringList m_events;
    bool m_bLoadSucceeds = true;
    bool m_bSaveSucceeds = true;
    void Clear() { m_events.clear(); }
};
CPaneLog g_log;

QString NameOf(const CNote* pNote) { return pNote ? QString::fromStdString(pNote->m_strName) : QStringLiteral("-"); }

class CFakeEditor : public QWidget, public CCmdTarget, public INoteEditorPane {
public:
    explicit CFakeEditor(QWidget* pParent) : QWidget(pParent) { g_log.m_events << QStringLiteral("editor made"); }
    ~CFakeEditor() override { g_log.m_events << QStringLiteral("editor gone"); }
    QWidget* Widget() override { return this; }
    CCmdTarget* Target() override { return this; }
    bool LoadNote(CNote* pNote, bool bNew, int nMode) override {
        m_pNote = pNote;
        g_log.m_events << QStringLiteral("edit %1%2 %3").arg(NameOf(pNote), bNew ? QStringLiteral(" new") : QString()).arg(nMode);
        return g_log.m_bLoadSucceeds;
    }
    bool SaveNote() override {
        g_log.m_events << QStringLiteral("save %1").arg(NameOf(m_pNote));
        return g_log.m_bSaveSucceeds;
    }
    CNote* EditedNote() const override { return m_pNote; }
    void CloseWindow() override { g_log.m_events << QStringLiteral("editor closed"); }
    void ApplyEditorOptions() override { g_log.m_events << QStringLiteral("options %1").arg(NameOf(m_pNote)); }
    CNote* m_pNote = nullptr;
};

class CFakeList : public QWidget, public CCmdTarget, public INoteListPane {
public:
    explicit CFakeList(QWidget* pParent) : QWidget(pParent) {
        g_log.m_events << QStringLiteral("list made");
        OnCommand(cmd::kCmdDelete, [] { g_log.m_events << QStringLiteral("list delete"); });
        OnUpdate(cmd::kCmdDelete, [](CCmdUI* pUI) { pUI->Enable(true); });
    }
    ~CFakeList() override { g_log.m_events << QStringLiteral("list gone"); }
    QWidget* Widget() override { return this; }
    CCmdTarget* Target() override { return this; }
    void SetTreeView(CNoteCataView* pTree) override { m_pTree = pTree; }
    void ListCategory(CNoteCata* pCata) override {
        g_log.m_events << QStringLiteral("list %1").arg(QString::fromStdString(pCata ? pCata->m_strName : "?"));
    }
    void ListGroup(int nGroup) override { g_log.m_events << QStringLiteral("group %1").arg(nGroup); }
    void RemoveRecord(CNoteBase*) override { g_log.m_events << QStringLiteral("list removes"); }
    void NoteStatusChanged(CNote* pNote) override { g_log.m_events << QStringLiteral("status %1").arg(NameOf(pNote)); }
    CNoteCataView* m_pTree = nullptr;
};

bool Enabled(CMainFrame* frame, unsigned nID, int* pCheck = nullptr) {
    CCmdUI ui(nID);
    const bool handled = frame->OnCmdMsg(nID, &ui);
    if (pCheck) *pCheck = ui.m_nCheck;
    return handled && ui.m_bEnabled;
}

// The right pane's view, whatever it is.
QWidget* RightPane(CChildFrame* child) {
    auto* splitter = qobject_cast<QSplitter*>(child->widget());
    return splitter && splitter->count() > 1 ? splitter->widget(1) : nullptr;
}

}  // namespace

class ChildFrameTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void layoutIsTreeOnTheLeftBrowserOnTheRight();
    void thePaneFollowsTheNoteAndTheDefaultView();
    void leavingAnEditedNoteSavesItFirst();
    void historyGoesBackAndForward();
    void aLinkToThePreviousNoteIsANewVisit();
    void ctrlWClosesTheMaximizedNotebook();
    void aDeletedNoteLeavesTheHistory();
    void commandsGoToTheTreeOrTheList();
    void aLockedNotebookIsReadOnlyHere();
    void settingAPasswordReachesTheFile();
    void mailAndSaveAsNeedANote();
    void picturesOfTheNotebookWindow();
    void theOptionsSheetReachesEveryEditorEvenWhenCancelled();
    void saveAsMarkdownWritesTheSelectionIntoANewFolder();

private:
    struct CNotebook {
        std::unique_ptr<CGuiTestFixture> fx;
        std::unique_ptr<CClipVaultApp> app;
        CMainFrame* frame = nullptr;
        CChildFrame* child = nullptr;
        CClipVaultDoc* doc = nullptr;
        CNote* Add(const std::string& name, const std::string& ext = "htm") {
            CNote* p = doc->m_rootCata.AddNewNote(name);
            p->m_strExt = ext;
            p->m_nContentType = kContentHeld;
            return p;
        }
    };
    // A program with one new notebook open.
    bool Open(CNotebook& nb);
};

void ChildFrameTest::init() {
    g_log = CPaneLog();
    CChildFrame::s_fnMakeEditor = [](INoteFrame&, CClipVaultDoc&, QWidget* pParent) { return new CFakeEditor(pParent); };
    CChildFrame::s_fnMakeList = [](INoteFrame&, CClipVaultDoc&, QWidget* pParent) { return new CFakeList(pParent); };
}

void ChildFrameTest::cleanup() {
    CChildFrame::s_fnMakeEditor = nullptr;
    CChildFrame::s_fnMakeList = nullptr;
    CChildFrame::s_fnMailAvailable = [] { return false; };
    CChildFrame::s_fnMailNote = nullptr;
    g_bDirectImport = false;
}

void ChildFrameTest::theOptionsSheetReachesEveryEditorEvenWhenCancelled() {
    CNotebook nb;
    QVERIFY(Open(nb));
    AppOptions().m_nDefaultView = 0;
    nb.child->ShowNote(nb.Add("First"));
    // A second notebook editing a note, and a third showing its list.
    nb.frame->ExecuteCommand(cmd::kCmdNew);
    CChildFrame* second = nb.frame->ActiveChildFrame();
    QVERIFY(second && second != nb.child);
    CNote* other = second->Document().m_rootCata.AddNewNote("Second");
    other->m_strExt = "htm";
    other->m_nContentType = kContentHeld;
    second->ShowNote(other);
    nb.frame->ExecuteCommand(cmd::kCmdNew);
    QVERIFY(!nb.frame->ActiveChildFrame()->EditorView());
    g_log.m_events.clear();
    bool bSeen = false;
    QTimer::singleShot(0, [&] {
        auto* sheet = qobject_cast<CPropertySheet*>(QApplication::activeModalWidget());
        QVERIFY(sheet);
        QCOMPARE(sheet->PageCount(), 3);
        bSeen = true;
        sheet->Buttons()->button(QDialogButtonBox::Cancel)->click();
    });
    nb.frame->ExecuteCommand(cmd::kCmdOptions);
    QVERIFY(bSeen);
    QCOMPARE(g_log.m_events, (QStringList{QStringLiteral("options First"), QStringLiteral("options Second")}));
}

// The tree's selected category goes out as Markdown, through the folder
// chooser, the worker and the closing message; a second export gets a folder
// of its own, and a missing converter is said, not passed over.
void ChildFrameTest::saveAsMarkdownWritesTheSelectionIntoANewFolder() {
    CNotebook nb;
    QVERIFY(Open(nb));
    QVERIFY(Enabled(nb.frame, cmd::kCmdSaveAsMarkdown));
    CNoteCata* docs = nb.doc->m_rootCata.AddNewSubCata("Docs");
    CNoteCata* sub = docs->AddNewSubCata("Sub");
    CNoteAttatch* pic = nb.doc->MakeAttachment("vltpic.gif", "http://127.0.0.1:9/pic.gif", {'G', 'I', 'F'});
    CNote* page = docs->AddNewNote("Guide");
    page->m_strExt = "htm";
    page->m_nContentType = kContentHeld;
    const std::string html = "<h1>Guide</h1><p><img src=\"" + pic->m_strName + "\" alt=pic></p>";
    page->SetContent(std::vector<uint8_t>(html.begin(), html.end()));
    CNote* text = sub->AddNewNote("Plain");
    text->m_strExt = "txt";
    text->m_nContentType = kContentHeld;
    text->SetContent({'h', 'i', '\n'});
    nb.child->TreeView()->Populate();
    QVERIFY(nb.child->TreeView()->SelectRecord(docs));

    const QString parent = nb.fx->WorkFolder() + QStringLiteral("/md");
    QVERIFY(QDir().mkpath(parent));
    auto chooseParent = [&] {
        QTimer::singleShot(0, [&] {
            QFileDialog* d = nullptr;
            if (!QTest::qWaitFor([&] { return (d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())); },
                                 10000))
                return;
            QVERIFY(!d->accessibleName().isEmpty());
            d->setDirectory(parent);
            d->selectFile(parent);
            QMetaObject::invokeMethod(d, "accept");
        });
    };
    std::vector<std::pair<unsigned, QString>> said;
    const MessageBoxHook hook = SetMessageBoxHook([&](unsigned nID, unsigned, const QString& strText) {
        said.emplace_back(nID, strText);
        return int(host::IDOK);
    });
    chooseParent();
    nb.frame->ExecuteCommand(cmd::kCmdSaveAsMarkdown);
    chooseParent();
    const bool bSecond = nb.child->SaveAsMarkdown(docs);
    qputenv("CLIPVAULT_JS_DIR", QFile::encodeName(nb.fx->WorkFolder() + QStringLiteral("/no-scripts")));
    chooseParent();
    const bool bThird = nb.child->SaveAsMarkdown(docs);
    qunsetenv("CLIPVAULT_JS_DIR");
    SetMessageBoxHook(hook);

    QVERIFY(bSecond);
    QVERIFY(!bThird);
    QCOMPARE(said.size(), size_t(3));
    QCOMPARE(said[0].first, ids::IDS_MARKDOWN_DONE);
    QVERIFY2(said[0].second.contains(QStringLiteral("2")) && said[0].second.contains(parent + QStringLiteral("/Docs")),
             qPrintable(said[0].second));
    QVERIFY2(said[1].second.contains(parent + QStringLiteral("/Docs (2)")), qPrintable(said[1].second));
    QCOMPARE(said[2].first, ids::IDS_MARKDOWN_FAILED);
    QVERIFY2(said[2].second.contains(QStringLiteral("scripts are missing")), qPrintable(said[2].second));
    QFile md(parent + QStringLiteral("/Docs/Guide.md"));
    QVERIFY(md.open(QIODevice::ReadOnly));
    const QByteArray guide = md.readAll();
    QVERIFY2(guide.contains("# Guide") && guide.contains("](assets/" + QByteArray::fromStdString(pic->m_strName) + ")") &&
                 guide.contains("category: \"Docs\""),
             guide.constData());
    QVERIFY(QFileInfo::exists(parent + QStringLiteral("/Docs/assets/") + QString::fromStdString(pic->m_strName)));
    QFile plain(parent + QStringLiteral("/Docs/Sub/Plain.md"));
    QVERIFY(plain.open(QIODevice::ReadOnly));
    QVERIFY2(plain.readAll().endsWith("\nhi\n"), "the text note");
    // The failed export left no folder that looks like a finished one.
    QVERIFY(!QFileInfo::exists(parent + QStringLiteral("/Docs (3)/Guide.md")));
}

bool ChildFrameTest::Open(CNotebook& nb) {
    nb.fx = std::make_unique<CGuiTestFixture>();
    nb.app = nb.fx->StartApp();
    if (!nb.app) return false;
    nb.frame = nb.app->MainFrame();
    nb.frame->ExecuteCommand(cmd::kCmdNew);
    nb.child = nb.frame->ActiveChildFrame();
    if (!nb.child) return false;
    nb.doc = &nb.child->Document();
    return true;
}

void ChildFrameTest::layoutIsTreeOnTheLeftBrowserOnTheRight() {
    CNotebook nb;
    QVERIFY(Open(nb));
    auto* splitter = qobject_cast<QSplitter*>(nb.child->widget());
    QVERIFY(splitter);
    QCOMPARE(splitter->count(), 2);
    // The tree starts on the notebook's root, which the list then shows.
    QVERIFY(nb.child->ListView());
    QCOMPARE(RightPane(nb.child), nb.child->ListView()->Widget());
    QVERIFY(g_log.m_events.contains(QStringLiteral("list ")));
    QVERIFY(nb.child->TreeView());
    QCOMPARE(nb.child->ActiveView(), static_cast<CCmdTarget*>(nb.child->TreeView()));
    // One third for the tree.
    const QList<int> sizes = splitter->sizes();
    QVERIFY2(qAbs(sizes[0] * 2 - sizes[1]) <= 4 + sizes[1] / 10, qPrintable(QStringLiteral("%1 %2").arg(sizes[0]).arg(sizes[1])));
    QVERIFY(!nb.child->CurrentNote());
    // A program without a list shows the browser there instead.
    CChildFrame::s_fnMakeList = nullptr;
    nb.frame->ExecuteCommand(cmd::kCmdNew);
    CChildFrame* second = nb.frame->ActiveChildFrame();
    QVERIFY(second && second != nb.child);
    QCOMPARE(RightPane(second), static_cast<QWidget*>(second->BrowserView()));
    QVERIFY(!second->ListView());
}

void ChildFrameTest::thePaneFollowsTheNoteAndTheDefaultView() {
    CNotebook nb;
    QVERIFY(Open(nb));
    CNote* page = nb.Add("Page");
    CNote* text = nb.Add("Text", "TXT");
    CNote* pdf = nb.Add("Manual", "pdf");
    CNote* failed = nb.Add("Broken");
    failed->m_nStatus = kStatusFailed;

    AppOptions().m_nDefaultView = 0;
    nb.child->ShowNote(page);
    QVERIFY(nb.child->EditorView());
    QCOMPARE(RightPane(nb.child), nb.child->EditorView()->Widget());
    QVERIFY(!nb.child->BrowserView());
    QCOMPARE(nb.child->ActiveView(), nb.child->EditorView()->Target());
    // The editable types, in any letter case.
    nb.child->ShowNote(text);
    QCOMPARE(g_log.m_events.last(), QStringLiteral("edit Text -1"));
    // Any other type, and a download that failed, in the browser.
    for (CNote* p : {pdf, failed}) {
        nb.child->ShowNote(p);
        QVERIFY(nb.child->BrowserView());
        QVERIFY(!nb.child->EditorView());
        QCOMPARE(nb.child->BrowserView()->ShownNote(), p);
    }
    // Browser by default; a note just made still opens in the editor, and
    // the editor on request.
    AppOptions().m_nDefaultView = 1;
    nb.child->ShowNote(page);
    QVERIFY(nb.child->BrowserView());
    nb.child->ShowNote(text, true);
    QCOMPARE(g_log.m_events.last(), QStringLiteral("edit Text new -1"));
    nb.child->ShowNote(page, false, 1);
    QCOMPARE(g_log.m_events.last(), QStringLiteral("edit Page 1"));
    // Exactly one view on the right, always.
    QCOMPARE(qobject_cast<QSplitter*>(nb.child->widget())->count(), 2);
    // Mode 0 is the browser even for a page; the source when asked.
    page->m_strSource = "http://127.0.0.1:9/page.htm";
    nb.child->ShowNote(page, false, 0, true);
    QVERIFY(nb.child->ShowingSource());
    QVERIFY(nb.child->BrowserView());
    QCOMPARE(nb.child->BrowserView()->ShownUrl(), QUrl(QStringLiteral("http://127.0.0.1:9/page.htm")));
    // While the source shows, the editor is not offered.
    QVERIFY(!Enabled(nb.frame, cmd::kCmdEditNote));
    int check = -1;
    QVERIFY(Enabled(nb.frame, cmd::kCmdViewNote, &check));
    QCOMPARE(check, 1);
    // Without an editor in the program, the browser stands in.
    CChildFrame::s_fnMakeEditor = nullptr;
    AppOptions().m_nDefaultView = 0;
    nb.child->ShowNote(text);
    QVERIFY(nb.child->BrowserView());
    QCOMPARE(nb.child->CurrentNote(), text);
    AppOptions().m_nDefaultView = 0;
}

void ChildFrameTest::leavingAnEditedNoteSavesItFirst() {
    CNotebook nb;
    QVERIFY(Open(nb));
    CNote* a = nb.Add("A");
    CNote* b = nb.Add("B");
    CNoteCata* cata = nb.doc->m_rootCata.AddNewSubCata("Topics");
    nb.child->ShowNote(a);
    g_log.Clear();
    // A category chosen while a note is edited: the note is saved, then
    // the list takes the editor's place.
    nb.child->ListCategory(cata);
    QCOMPARE(g_log.m_events, (QStringList{QStringLiteral("save A"), QStringLiteral("editor closed"),
                                          QStringLiteral("list made"), QStringLiteral("editor gone"),
                                          QStringLiteral("list Topics")}));
    QVERIFY(nb.child->ListView());
    QVERIFY(!nb.child->EditorView() && !nb.child->BrowserView());
    QVERIFY(!nb.child->CurrentNote());
    nb.child->ListGroup(3);
    QCOMPARE(g_log.m_events.last(), QStringLiteral("group 3"));
    QVERIFY(!g_log.m_events.contains(QStringLiteral("list made")) || g_log.m_events.count(QStringLiteral("list made")) == 1);

    // A save that fails says so, and the next note is shown nevertheless.
    nb.child->ShowNote(a);
    g_log.m_bSaveSucceeds = false;
    nb.fx->Clear();
    nb.child->ShowNote(b);
    QVERIFY(nb.fx->Shown(ids::IDS_EDITOR_SAVE_FAILED));
    QCOMPARE(nb.child->CurrentNote(), b);
    // 33120 puts the edited note back first, then shows it in the browser.
    g_log.m_bSaveSucceeds = true;
    g_log.Clear();
    nb.frame->ExecuteCommand(cmd::kCmdViewNote);
    QCOMPARE(g_log.m_events.first(), QStringLiteral("save B"));
    QVERIFY(nb.child->BrowserView());
    QCOMPARE(nb.child->BrowserView()->ShownNote(), b);
    // A note being deleted is not saved on the way out.
    nb.child->ShowNote(a, false, 1);
    a->m_nStatus = kStatusDeleting;
    g_log.Clear();
    nb.child->ListCategory(cata);
    QVERIFY(!g_log.m_events.contains(QStringLiteral("save A")));
    a->m_nStatus = kStatusDone;
}

void ChildFrameTest::historyGoesBackAndForward() {
    CNotebook nb;
    QVERIFY(Open(nb));
    CChildFrame::s_fnMakeEditor = nullptr;
    CNote* a = nb.Add("A");
    CNote* b = nb.Add("B");
    CNote* c = nb.Add("C");
    CNote* d = nb.Add("D");
    nb.child->TreeView()->Populate();
    QVERIFY(!Enabled(nb.frame, cmd::kCmdBack));
    for (CNote* p : {a, b, c}) nb.child->ShowNote(p);
    QCOMPARE(nb.child->BackList(), (std::vector<CNote*>{a, b}));
    QVERIFY(Enabled(nb.frame, cmd::kCmdBack));
    QVERIFY(!Enabled(nb.frame, cmd::kCmdForward));
    nb.frame->ExecuteCommand(cmd::kCmdBack);
    QCOMPARE(nb.child->CurrentNote(), b);
    QCOMPARE(nb.child->BackList(), std::vector<CNote*>{a});
    QCOMPARE(nb.child->ForwardList(), std::vector<CNote*>{c});
    // The tree follows, without showing the note a second time.
    QCOMPARE(nb.child->TreeView()->RecordOf(nb.child->TreeView()->currentItem()), static_cast<CNoteBase*>(b));
    nb.frame->ExecuteCommand(cmd::kCmdForward);
    QCOMPARE(nb.child->CurrentNote(), c);
    QCOMPARE(nb.child->BackList(), (std::vector<CNote*>{a, b}));
    QVERIFY(nb.child->ForwardList().empty());
    // Visiting D from B drops what lay ahead.
    nb.frame->ExecuteCommand(cmd::kCmdBack);
    QCOMPARE(nb.child->ForwardList(), std::vector<CNote*>{c});
    nb.child->ShowNote(d);
    QVERIFY(nb.child->ForwardList().empty());
    QCOMPARE(nb.child->BackList(), (std::vector<CNote*>{a, b}));
    // Showing the same note again changes nothing.
    nb.child->ShowNote(d);
    QCOMPARE(nb.child->BackList(), (std::vector<CNote*>{a, b}));
}

void ChildFrameTest::aLinkToThePreviousNoteIsANewVisit() {
    CNotebook nb;
    QVERIFY(Open(nb));
    CChildFrame::s_fnMakeEditor = nullptr;
    CNote* a = nb.Add("A");
    CNote* b = nb.Add("B");
    nb.child->TreeView()->Populate();
    nb.child->ShowNote(a);
    nb.child->ShowNote(b);
    // B's page links to A: the tree selects A as for a click.
    nb.child->GoToNoteNumber(a->m_nID);
    QCOMPARE(nb.child->CurrentNote(), a);
    QCOMPARE(nb.child->BackList(), (std::vector<CNote*>{a, b}));
    // Back goes to B, the page the link was on, and then to A.
    nb.frame->ExecuteCommand(cmd::kCmdBack);
    QCOMPARE(nb.child->CurrentNote(), b);
    QCOMPARE(nb.child->BackList(), std::vector<CNote*>{a});
    QCOMPARE(nb.child->ForwardList(), std::vector<CNote*>{a});
    nb.frame->ExecuteCommand(cmd::kCmdBack);
    QCOMPARE(nb.child->CurrentNote(), a);
    QVERIFY(nb.child->BackList().empty());
    nb.frame->ExecuteCommand(cmd::kCmdForward);
    QCOMPARE(nb.child->CurrentNote(), b);
}

void ChildFrameTest::ctrlWClosesTheMaximizedNotebook() {
    CNotebook nb;
    QVERIFY(Open(nb));
    QVERIFY(nb.child->isMaximized());
    QApplication::setActiveWindow(nb.frame);
    QVERIFY(QTest::qWaitForWindowActive(nb.frame));
    // The window's own menu must not claim the key as well: Qt would run
    // neither.
    QTest::keyClick(nb.frame, Qt::Key_W, Qt::ControlModifier);
    QTRY_VERIFY_WITH_TIMEOUT(nb.frame->ChildFrames().isEmpty(), 5000);
}

void ChildFrameTest::aDeletedNoteLeavesTheHistory() {
    CNotebook nb;
    QVERIFY(Open(nb));
    CChildFrame::s_fnMakeEditor = nullptr;
    CNote* a = nb.Add("A");
    CNote* b = nb.Add("B");
    CNoteCata* cata = nb.doc->m_rootCata.AddNewSubCata("Box");
    CNote* inBox = cata->AddNewNote("In box");
    inBox->m_strExt = "htm";
    CNote* c = nb.Add("C");
    for (CNote* p : {a, b, inBox, a, c}) nb.child->ShowNote(p);
    nb.frame->ExecuteCommand(cmd::kCmdBack);
    QCOMPARE(nb.child->ForwardList(), std::vector<CNote*>{c});
    // A note deleted: out of both lists, wherever it stood.
    nb.doc->DeleteItem(a);
    QCOMPARE(nb.child->BackList(), (std::vector<CNote*>{b, inBox}));
    QVERIFY(!nb.child->CurrentNote());
    nb.doc->DeleteItem(c);
    QVERIFY(nb.child->ForwardList().empty());
    // A category deleted takes its notes out of the history too.
    nb.doc->DeleteItem(cata);
    QCOMPARE(nb.child->BackList(), std::vector<CNote*>{b});
    nb.frame->ExecuteCommand(cmd::kCmdBack);
    QCOMPARE(nb.child->CurrentNote(), b);
    QVERIFY(nb.child->BackList().empty());
    QVERIFY(!Enabled(nb.frame, cmd::kCmdBack));
}

void ChildFrameTest::commandsGoToTheTreeOrTheList() {
    CNotebook nb;
    QVERIFY(Open(nb));
    CNoteCata* cata = nb.doc->m_rootCata.AddNewSubCata("Topics");
    CNote* a = nb.Add("A");
    nb.child->ListCategory(cata);
    QVERIFY(nb.child->ListView());
    // The tree is still the active view: the shared commands go there.
    g_log.Clear();
    nb.child->SetActiveView(nb.child->TreeView());
    nb.frame->ExecuteCommand(cmd::kCmdDelete);
    QVERIFY(!g_log.m_events.contains(QStringLiteral("list delete")));
    // Once the list was used, they go to the list, whatever has the focus.
    nb.child->SetActiveView(nb.child->ListView()->Target());
    nb.frame->ExecuteCommand(cmd::kCmdDelete);
    QCOMPARE(g_log.m_events.last(), QStringLiteral("list delete"));
    // Emptying and sorting stay with the tree.
    nb.fx->m_nAnswer = host::IDNO;
    CCmdUI sort(cmd::kCmdSortByName);
    QVERIFY(nb.frame->OnCmdMsg(cmd::kCmdSortByName, &sort));
    // The browser's commands need a browser.
    QVERIFY(!nb.child->BrowserView());
    QVERIFY(!Enabled(nb.frame, cmd::kCmdBrowserRefresh));
    QVERIFY(!Enabled(nb.frame, cmd::kCmdPrint));
    // With the list shown, show and edit are the list's.
    nb.child->ShowNote(a);
    QVERIFY(!nb.child->ListView());
    // A download's status change reaches the list when one is shown.
    nb.child->ListGroup(6);
    g_log.Clear();
    nb.child->RefreshNote(a);
    QVERIFY(g_log.m_events.contains(QStringLiteral("status A")));
    // 33140: on through dialog 189's OK only, off at once.
    QVERIFY(!g_bDirectImport);
    OnNextDialog([](CTemplateDialog* d) {
        d->Control<QPushButton>(host::IDCANCEL)->click();
    });
    nb.frame->ExecuteCommand(cmd::kCmdDirectImport);
    QVERIFY(!g_bDirectImport);
    OnNextDialog([](CTemplateDialog* d) {
        d->Control<QPushButton>(host::IDOK)->click();
    });
    nb.frame->ExecuteCommand(cmd::kCmdDirectImport);
    QVERIFY(g_bDirectImport);
    int check = 0;
    QVERIFY(Enabled(nb.frame, cmd::kCmdDirectImport, &check));
    QCOMPARE(check, 1);
    nb.frame->ExecuteCommand(cmd::kCmdDirectImport);
    QVERIFY(!g_bDirectImport);
}

void ChildFrameTest::aLockedNotebookIsReadOnlyHere() {
    CNotebook nb;
    QVERIFY(Open(nb));
    CNote* a = nb.Add("A");
    int imports = 0;
    nb.frame->m_fnImportItems = [&](CImportItemArray&) { ++imports; };
    nb.frame->ExecuteCommand(cmd::kCmdImport);
    QCOMPARE(imports, 1);
    nb.doc->SetPassword("secret");
    QVERIFY(nb.doc->IsLocked());
    // On, so that trying it says the notebook is locked.
    QVERIFY(Enabled(nb.frame, cmd::kCmdImport));
    nb.fx->Clear();
    nb.frame->ExecuteCommand(cmd::kCmdImport);
    QVERIFY(nb.fx->Shown(ids::IDS_NOTEBOOK_LOCKED));
    QCOMPARE(imports, 1);
    // Nothing opens in the editor, not even on request.
    nb.child->ShowNote(a, false, 1);
    QVERIFY(nb.child->BrowserView());
    nb.fx->Clear();
    QVERIFY(Enabled(nb.frame, cmd::kCmdEditNote));
    nb.frame->ExecuteCommand(cmd::kCmdEditNote);
    QVERIFY(nb.fx->Shown(ids::IDS_NOTEBOOK_LOCKED));
    QVERIFY(nb.child->BrowserView());
    QVERIFY(Enabled(nb.frame, cmd::kCmdUnlockNotebook));
    // Unlocking through dialog 142: the right password.
    OnNextDialog([](CTemplateDialog* d) {
        d->Control<QLineEdit>(CUnlockDlg::IDC_PASSWORD)->setText(QStringLiteral("secret"));
        d->Control<QPushButton>(host::IDOK)->click();
    });
    nb.frame->ExecuteCommand(cmd::kCmdUnlockNotebook);
    QVERIFY(!nb.doc->IsLocked());
    QVERIFY(!Enabled(nb.frame, cmd::kCmdUnlockNotebook));
    // The note is shown again, and may now be edited.
    QCOMPARE(nb.child->CurrentNote(), a);
    QVERIFY(Enabled(nb.frame, cmd::kCmdEditNote));
}

void ChildFrameTest::settingAPasswordReachesTheFile() {
    CNotebook nb;
    QVERIFY(Open(nb));
    const QString path = nb.fx->WorkFolder() + QStringLiteral("/locked.vlt");
    QVERIFY(nb.doc->OnSaveDocument(path.toStdString()));
    nb.doc->SetPathName(path.toStdString());
    QVERIFY(!nb.doc->IsModified());
    CNote* a = nb.Add("A");
    nb.child->ShowNote(a);
    QVERIFY(nb.child->EditorView());
    // Yes to "save the changes?".
    nb.fx->m_nAnswer = host::IDYES;
    OnNextDialog([](CTemplateDialog* d) {
        d->Control<QLineEdit>(CChangePasswordDlg::IDC_NEW)->setText(QStringLiteral("pw"));
        d->Control<QLineEdit>(CChangePasswordDlg::IDC_CONFIRM)->setText(QStringLiteral("pw"));
        d->Control<QPushButton>(host::IDOK)->click();
    });
    g_log.Clear();
    nb.frame->ExecuteCommand(cmd::kCmdChangePassword);
    // The edits went back first; the notebook is now locked, the note shown
    // read-only, and the password is in the file.
    QCOMPARE(g_log.m_events.first(), QStringLiteral("save A"));
    QVERIFY(nb.doc->IsLocked());
    QVERIFY(nb.child->BrowserView());
    QCOMPARE(nb.child->CurrentNote(), a);
    CClipVaultDoc reread;
    QVERIFY(reread.OnOpenDocument(path.toStdString()));
    QVERIFY(reread.IsLocked());
    QVERIFY(reread.CheckPassword("pw"));
}

void ChildFrameTest::mailAndSaveAsNeedANote() {
    CNotebook nb;
    QVERIFY(Open(nb));
    CChildFrame::s_fnMakeEditor = nullptr;
    CNote* a = nb.Add("What: now? <a|b> \"q\" a/b\\c*");
    a->SetContent({'h', 'i'});
    int probes = 0;
    bool bThere = false;
    CChildFrame::s_fnMailAvailable = [&] {
        ++probes;
        return bThere;
    };
    QVERIFY(!Enabled(nb.frame, cmd::kCmdMailNote));
    QVERIFY(!Enabled(nb.frame, cmd::kCmdSaveNoteAs));
    nb.child->ShowNote(a);
    // No mail program: disabled, and asked again next time.
    QVERIFY(!Enabled(nb.frame, cmd::kCmdMailNote));
    QVERIFY(!Enabled(nb.frame, cmd::kCmdMailNote));
    QCOMPARE(probes, 2);
    bThere = true;
    QVERIFY(Enabled(nb.frame, cmd::kCmdMailNote));
    // Once found it is remembered.
    QVERIFY(Enabled(nb.frame, cmd::kCmdMailNote));
    QCOMPARE(probes, 3);
    CNote* mailed = nullptr;
    CChildFrame::s_fnMailNote = [&](CNote& note, QWidget*) { mailed = &note; };
    nb.frame->ExecuteCommand(cmd::kCmdMailNote);
    QCOMPARE(mailed, a);

    QCOMPARE(CChildFrame::ProposedFileName(a->m_strName), std::string("What  now   a b   q  a b c*"));
    QVERIFY(Enabled(nb.frame, cmd::kCmdSaveNoteAs));

    // Save as offers the cleaned name with the note's type, and writes the
    // note's bytes where the user said.
    CNote* text = nb.Add("Notes: today?", "txt");
    text->SetContent({'o', 'k', '\n'});
    nb.child->ShowNote(text);
    const QString target = nb.fx->WorkFolder() + QStringLiteral("/out.txt");
    QString offered;
    QTimer::singleShot(0, [&] {
        QFileDialog* d = nullptr;
        if (!QTest::qWaitFor([&] { return (d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())); },
                             10000))
            return;
        offered = d->selectedFiles().value(0);
        d->selectFile(target);
        QMetaObject::invokeMethod(d, "accept");
    });
    nb.frame->ExecuteCommand(cmd::kCmdSaveNoteAs);
    QCOMPARE(QFileInfo(offered).fileName(), QStringLiteral("Notes  today .txt"));
    QFile out(target);
    QVERIFY(out.open(QIODevice::ReadOnly));
    QCOMPARE(out.readAll(), QByteArray("ok\n"));

    // A page goes with its pictures in a folder named after the file.
    CNote* page = nb.Add("Trip");
    CNoteAttatch* att = nb.doc->MakeAttachment("vlta.png", "http://127.0.0.1:9/a.png", {1, 2, 3});
    QVERIFY(att);
    const std::string html = "<p>x</p><img src=\"" + att->m_strName + "\">";
    page->SetContent(std::vector<uint8_t>(html.begin(), html.end()));
    page->m_attachNames = {att->m_strName};
    const QString pageTarget = nb.fx->WorkFolder() + QStringLiteral("/trip.htm");
    QTimer::singleShot(0, [&] {
        QFileDialog* d = nullptr;
        if (!QTest::qWaitFor([&] { return (d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())); },
                             10000))
            return;
        d->selectFile(pageTarget);
        QMetaObject::invokeMethod(d, "accept");
    });
    QVERIFY(nb.child->ExportNote(page));
    QFile exported(pageTarget);
    QVERIFY(exported.open(QIODevice::ReadOnly));
    const QByteArray exportedPage = exported.readAll();
    QVERIFY2(exportedPage.contains("./trip.files/" + QByteArray::fromStdString(att->m_strName)), exportedPage.constData());
    QFile picture(nb.fx->WorkFolder() + QStringLiteral("/trip.files/") + QString::fromStdString(att->m_strName));
    QVERIFY(picture.open(QIODevice::ReadOnly));
    QCOMPARE(picture.readAll(), QByteArray("\x01\x02\x03"));
}

// For looking at the window as a user would: CLIPVAULT_PICTURES=<folder>,
// run under scripts/with_wm.sh, leaves there, for English and Chinese, the
// notebook with its recent and download groups, the tree's context menu on
// a note, a drag over a category, a locked notebook's context menu, and
// dialogs 141 and 171.
void ChildFrameTest::picturesOfTheNotebookWindow() {
    const QString folder = qEnvironmentVariable("CLIPVAULT_PICTURES");
    if (folder.isEmpty()) QSKIP("no picture folder asked for");
    cleanup();
    CChildFrame::s_fnMakeList = nullptr;
    CChildFrame::s_fnMakeEditor = nullptr;
    auto snap = [&](const QString& name) {
        QTest::qWait(700);
        QProcess::execute(QStringLiteral("import"), {QStringLiteral("-window"), QStringLiteral("root"),
                                                     QDir(folder).filePath(name + QStringLiteral(".png"))});
    };
    std::atomic<bool> release{false};
    const auto oldBody = CClipVaultDoc::GetDownloadBody();
    CClipVaultDoc::SetDownloadBody([&](CNote&, const CDownloadSettings&) {
        while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return false;
    });
    const std::pair<QLocale, QString> langs[] = {{QLocale(QLocale::English, QLocale::UnitedStates), "Eng"},
                                                 {QLocale(QLocale::Chinese, QLocale::China), "Chn"}};
    for (const auto& [locale, lang] : langs) {
        release = false;
        CGuiTestFixture fx;
        const QString path = fx.CopySample(QStringLiteral("Getting Started.vlt"));
        auto app = fx.MakeApp(locale);
        app->m_fnStartDialog = [] {};
        QVERIFY(app->InitInstance({QStringLiteral("clipvault"), path}));
        CMainFrame* frame = app->MainFrame();
        frame->showMaximized();
        QVERIFY(QTest::qWaitForWindowExposed(frame));
        CChildFrame* child = frame->ActiveChildFrame();
        QVERIFY(child);
        CClipVaultDoc& doc = child->Document();
        CNoteCataView* tree = child->TreeView();
        // Something from today and yesterday, and downloads in three states.
        CNoteCata* reading = doc.m_rootCata.AddNewSubCata("Reading list");
        const int64_t today = TodayMidnight();
        const char* names[] = {"Trip planning", "Recipes for the week", "Release notes 2.1"};
        for (int i = 0; i < 3; ++i) {
            CNote* p = reading->AddNewNote(names[i]);
            p->m_strExt = "htm";
            p->m_nContentType = kContentHeld;
            p->m_tmDate = today - (i == 2 ? 86400 : 0);
            const std::string page = "<html><body><h1>" + std::string(names[i]) +
                                     "</h1><p>Kept in the notebook, readable without a network.</p></body></html>";
            p->SetContent(std::vector<uint8_t>(page.begin(), page.end()));
            p->m_strSource = "http://127.0.0.1:9/" + std::to_string(i) + ".htm";
        }
        const char* pending[] = {"Conference programme", "Weather station data", "Broken link"};
        CNote* pendingNotes[3];
        for (int i = 0; i < 3; ++i) {
            CNote* p = reading->AddNewNote(pending[i]);
            p->m_strExt = "htm";
            p->m_nContentType = kContentHeld;
            p->m_strSource = "http://127.0.0.1:9/page" + std::to_string(i) + ".htm";
            p->m_tmDate = today;
            pendingNotes[i] = p;
        }
        tree->Populate();
        doc.ListForDownload(pendingNotes[0], true);
        doc.ListForDownload(pendingNotes[1], false);
        doc.ListForDownload(pendingNotes[2], false);
        doc.FailNote(pendingNotes[2]);
        tree->expandAll();
        // Only the new category open, so that the groups show below it.
        for (int i = 0; i < tree->RootItem()->childCount(); ++i) {
            QTreeWidgetItem* c = tree->RootItem()->child(i);
            if (c->text(0) != QStringLiteral("Reading list")) c->setExpanded(false);
        }
        for (int g : {CNoteCataView::kGroupToday, CNoteCataView::kGroupThisWeek})
            if (QTreeWidgetItem* group = tree->GroupItem(g)) group->setExpanded(false);
        tree->SelectRecord(reading->GetNote("Trip planning"), false);
        QTest::qWait(1500);
        snap(QStringLiteral("notebook-") + lang);

        // The context menu on a note.
        QTreeWidgetItem* item = tree->ItemOf(reading->GetNote("Recipes for the week"));
        QVERIFY(item);
        const QPoint at = tree->visualItemRect(item).center();
        QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, at, tree->viewport()->mapToGlobal(at));
        QApplication::sendEvent(tree->viewport(), &menuEvent);
        snap(QStringLiteral("context-menu-") + lang);
        if (QWidget* popup = QApplication::activePopupWidget()) popup->close();

        // A note dragged over a category.
        QTreeWidgetItem* target = tree->ItemOf((*doc.m_rootCata.m_subCatas.begin()).second);
        QVERIFY(target);
        // On the labels: the rest of a row does not start a drag.
        const QPoint from(tree->visualItemRect(item).left() + 30, tree->visualItemRect(item).center().y());
        const QPoint to(tree->visualItemRect(target).left() + 30, tree->visualItemRect(target).center().y());
        QTest::mousePress(tree->viewport(), Qt::LeftButton, {}, from);
        for (int i = 1; i <= 10; ++i) QTest::mouseMove(tree->viewport(), from + (to - from) * i / 10);
        snap(QStringLiteral("drag-") + lang);
        // Let go outside any category: nothing moves.
        QTest::mouseMove(tree->viewport(), QPoint(2, tree->viewport()->height() - 2));
        QTest::mouseRelease(tree->viewport(), Qt::LeftButton, {}, QPoint(2, tree->viewport()->height() - 2));

        // Dialogs 171 and 141.
        OnNextDialog([&](CTemplateDialog* d) {
            QTest::qWaitForWindowExposed(d);
            snap(QStringLiteral("171-") + lang);
            d->done(QDialog::Rejected);
        });
        ShowNoteProperties(reading->GetNote("Trip planning"), frame);
        OnNextDialog([&](CTemplateDialog* d) {
            QTest::qWaitForWindowExposed(d);
            QTest::keyClicks(d->Item(CChangePasswordDlg::IDC_NEW), QStringLiteral("secret"));
            QTest::keyClicks(d->Item(CChangePasswordDlg::IDC_CONFIRM), QStringLiteral("secret"));
            snap(QStringLiteral("141-") + lang);
            d->done(QDialog::Rejected);
        });
        ChangeNotebookPassword(doc, frame);

        // Locked: the padlock on the root, "(locked)" in the title.
        doc.SetPassword("secret");
        QVERIFY(doc.IsLocked());
        QApplication::sendEvent(tree->viewport(), &menuEvent);
        snap(QStringLiteral("locked-") + lang);
        if (QWidget* popup = QApplication::activePopupWidget()) popup->close();

        release = true;
        doc.Unlock("secret");
        doc.StopAllDownloads();
        doc.SetModifiedFlag(false);
        for (CChildFrame* c : frame->ChildFrames()) c->Document().MarkModified(false);
    }
    CClipVaultDoc::SetDownloadBody(oldBody);
}

CLIPVAULT_GUI_TEST_MAIN(ChildFrameTest)
#include "ChildFrameTest.moc"
