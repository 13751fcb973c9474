// The main frame's services: dropped files, full-screen reading, the
// window rectangle kept on close, the autosave timer, the tray icon's menu
// and the options sheet.
#include "support/GuiTestSupport.h"

#include "app/AppOptions.h"
#include "app/HelpWindow.h"
#include "app/DocTemplate.h"
#include "document/ClipVaultDoc.h"
#include "frame/ChildFrame.h"
#include "frame/DroppedFiles.h"
#include "frame/MainFrame.h"
#include "platform/CommandIds.h"
#include "platform/StringIds.h"
#include "platform/gui/AppGlobals.h"
#include "platform/gui/PropertySheet.h"
#include "platform/gui/QtText.h"

#include <QAction>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileInfo>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QUrl>

namespace {

QString WriteFile(const QString& strPath, const QByteArray& text) {
    QFile f(strPath);
    if (f.open(QIODevice::WriteOnly)) f.write(text);
    return strPath;
}

// Drops `paths` on the frame's centre as a file manager would.
void DropOn(QWidget* pTarget, const QStringList& paths) {
    QList<QUrl> urls;
    for (const QString& p : paths) urls << QUrl::fromLocalFile(p);
    QMimeData data;
    data.setUrls(urls);
    const QPoint at = pTarget->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(pTarget, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(pTarget, &drop);
    QVERIFY(drop.isAccepted());
}

struct CArrived {
    int m_nBatches = 0;
    std::vector<std::string> m_sources;
    std::vector<std::string> m_titles;
    bool m_bAllLocalAndStarted = true;
};

}  // namespace

class MainFrameTest : public QObject {
    Q_OBJECT
private slots:
    void droppedPathsBecomeItemsInOrder();
    void dropOnTheWindowOpensNotebooksAndPostsTheRest();
    void fullScreenNeedsANotebookAndPutsEverythingBack();
    void closingKeepsTheRectangleOnlyOfANormalWindow();
    void autosaveSavesOnlyModifiedNotebooks();
    void trayIconAndItsMenu();
    void optionsSheetShowsItsPagesModally();
    void importTargetSkipsAutomationNotebooks();
    void f1InAnOpenMenuOpensTheWindowsHelpPage();
    void closingAMaximizedNotebookLeavesTheOthersMaximized();
    void theStatusLineIsIdleAgainOnceAHintGoes();
};

void MainFrameTest::droppedPathsBecomeItemsInOrder() {
    QTemporaryDir dir;
    const QString page = WriteFile(dir.filePath("page.HTML"), "<html><head><title>A Page</title></head></html>");
    const QString untitled = WriteFile(dir.filePath("bare.htm"), "<html><body>no title</body></html>");
    const QString pdf = WriteFile(dir.filePath("paper.pdf"), "%PDF");
    QStringList opened;
    auto items = CollectDroppedFiles({pdf, dir.filePath("a.VLT"), page, dir.filePath("b.vlt"), untitled},
                                     [&](const QString& p) { opened << p; });
    // Notebooks open as they are met, in any case of the extension.
    QCOMPARE(opened, (QStringList{dir.filePath("a.VLT"), dir.filePath("b.vlt")}));
    QCOMPARE(items->size(), size_t(3));
    QCOMPARE(ToQ((*items)[0]->m_strSource), pdf);
    QCOMPARE(ToQ((*items)[1]->m_strSource), page);
    QCOMPARE(ToQ((*items)[2]->m_strSource), untitled);
    // Titles: the file's name, an HTML page's own title, or the name when it
    // has none.
    QCOMPARE((*items)[0]->m_strTitle, std::string("paper.pdf"));
    QCOMPARE((*items)[1]->m_strTitle, std::string("a page"));  // as the page scanner reads titles
    QCOMPARE((*items)[2]->m_strTitle, std::string("bare.htm"));
    for (const auto& item : *items) {
        QCOMPARE(item->m_nImportKind, 2);
        QCOMPARE(item->m_nContentMode, 2);
        QCOMPARE(item->m_bStartNow, 1);
        QVERIFY(!item->m_pTargetDoc);
    }
    // Only notebooks: an empty array, not none.
    auto none = CollectDroppedFiles({dir.filePath("x.vlt")}, nullptr);
    QVERIFY(none && none->empty());
    // A path longer than the old 260-character limit stays whole.
    const QString deep = QStringLiteral("/tmp/") + QString(300, QLatin1Char('d')) + QStringLiteral("/f.txt");
    auto longItems = CollectDroppedFiles({deep}, nullptr);
    QCOMPARE(ToQ((*longItems)[0]->m_strSource), deep);
    // Only local files come from a URL list.
    QCOMPARE(DroppedPaths({QUrl(QStringLiteral("https://example.org/x")), QUrl::fromLocalFile(pdf)}), QStringList{pdf});
}

void MainFrameTest::dropOnTheWindowOpensNotebooksAndPostsTheRest() {
    CGuiTestFixture fx;
    auto app = fx.StartApp();
    QVERIFY(app);
    CMainFrame* frame = app->MainFrame();
    CArrived got;
    frame->m_fnImportItems = [&](CImportItemArray& items) {
        ++got.m_nBatches;
        for (const auto& item : items) {
            got.m_sources.push_back(item->m_strSource);
            got.m_titles.push_back(item->m_strTitle);
            got.m_bAllLocalAndStarted = got.m_bAllLocalAndStarted && item->m_nImportKind == 2 && item->m_bStartNow == 1;
        }
    };
    const QString a = WriteFile(fx.WorkFolder() + "/one.txt", "1");
    const QString b = WriteFile(fx.WorkFolder() + "/two.html", "<title>Two</title>");
    const QString nb = fx.CopySample(QStringLiteral("Getting Started.vlt"));

    // Only a notebook: it opens, and the import flow still hears of the drop.
    DropOn(frame, {nb});
    QCOMPARE(frame->ChildFrames().size(), 1);
    QTRY_COMPARE(got.m_nBatches, 1);
    QVERIFY(got.m_sources.empty());
    // A mixture: the files in drop order, in one batch, after the event loop
    // has run (the items are posted, not handed over in the drop).
    DropOn(frame, {b, nb, a});
    QCOMPARE(got.m_nBatches, 1);
    QTRY_COMPARE(got.m_nBatches, 2);
    QCOMPARE(got.m_sources, (std::vector<std::string>{FromQ(b), FromQ(a)}));
    QCOMPARE(got.m_titles, (std::vector<std::string>{"two", "one.txt"}));
    QVERIFY(got.m_bAllLocalAndStarted);
    // The notebook already open is not opened twice.
    QCOMPARE(frame->ChildFrames().size(), 1);
    QCOMPARE(frame->m_nImportBatches, 2u);
}

void MainFrameTest::fullScreenNeedsANotebookAndPutsEverythingBack() {
    CGuiTestFixture fx;
    auto app = fx.StartApp();
    QVERIFY(app);
    CMainFrame* frame = app->MainFrame();
    // No notebook: nothing to read on the whole screen.
    CCmdUI none(cmd::kCmdFullScreen);
    QVERIFY(frame->OnCmdMsg(cmd::kCmdFullScreen, &none));
    QVERIFY(!none.m_bEnabled);
    frame->ExecuteCommand(cmd::kCmdFullScreen);
    QVERIFY(!frame->IsFullScreen());

    QVERIFY(app->OpenDocumentFile(fx.CopySample(QStringLiteral("Getting Started.vlt"))));
    CChildFrame* child = frame->ActiveChildFrame();
    QVERIFY(child);
    child->showNormal();
    frame->SecondToolBar()->hide();
    const QRect before = frame->geometry();
    CCmdUI on(cmd::kCmdFullScreen);
    QVERIFY(frame->OnCmdMsg(cmd::kCmdFullScreen, &on));
    QVERIFY(on.m_bEnabled);
    QCOMPARE(on.m_nCheck, 0);

    frame->ExecuteCommand(cmd::kCmdFullScreen);
    QVERIFY(frame->IsFullScreen());
    QTRY_COMPARE(frame->geometry(), frame->screen()->geometry());
    QVERIFY(frame->MainToolBar()->isHidden());
    QVERIFY(frame->FormatToolBar()->isHidden());
    QVERIFY(frame->statusBar()->isHidden());
    QVERIFY(child->isMaximized());
    QToolBar* bar = frame->FullScreenToolBar();
    QVERIFY(bar);
    QVERIFY(bar->isWindow());
    QVERIFY(bar->isVisible());
    QCOMPARE(bar->pos(), QPoint(300, 200));
    // Its first button leaves the mode again, and says so.
    QVERIFY(!bar->actions().isEmpty());
    QAction* leave = bar->actions().first();
    QCOMPARE(leave->data().toUInt(), cmd::kCmdFullScreen);
    QVERIFY(leave->isChecked());

    leave->trigger();
    QVERIFY(!frame->IsFullScreen());
    QVERIFY(!frame->FullScreenToolBar());
    QTRY_COMPARE(frame->geometry(), before);
    QVERIFY(frame->MainToolBar()->isVisible());
    QVERIFY(frame->FormatToolBar()->isVisible());
    QVERIFY(frame->statusBar()->isVisible());
    // What was hidden before stays hidden.
    QVERIFY(frame->SecondToolBar()->isHidden());
    QVERIFY(!child->isMaximized());

    // Closing in full screen leaves it first and keeps the normal rectangle.
    frame->ExecuteCommand(cmd::kCmdFullScreen);
    QVERIFY(frame->IsFullScreen());
    for (CChildFrame* c : frame->ChildFrames()) c->Document().SetModifiedFlag(false);
    QVERIFY(frame->close());
    const CWindowRect& rc = AppOptions().m_rcMainWindow;
    QCOMPARE(QRect(rc.m_nLeft, rc.m_nTop, rc.m_nRight - rc.m_nLeft, rc.m_nBottom - rc.m_nTop), before);
}

void MainFrameTest::closingKeepsTheRectangleOnlyOfANormalWindow() {
    CGuiTestFixture fx;
    {
        auto app = fx.StartApp();
        QVERIFY(app);
        CMainFrame* frame = app->MainFrame();
        frame->setGeometry(40, 50, 700, 500);
        QTRY_COMPARE(frame->geometry(), QRect(40, 50, 700, 500));
        QVERIFY(frame->close());
        const CWindowRect& rc = AppOptions().m_rcMainWindow;
        QCOMPARE(QRect(rc.m_nLeft, rc.m_nTop, rc.m_nRight - rc.m_nLeft, rc.m_nBottom - rc.m_nTop), QRect(40, 50, 700, 500));
        app->ExitInstance();
    }
    {
        // Maximized: the rectangle it would come back to stays as stored.
        auto app = fx.StartApp();
        QVERIFY(app);
        CMainFrame* frame = app->MainFrame();
        QCOMPARE(frame->geometry(), QRect(40, 50, 700, 500));
        frame->showMaximized();
        QTRY_VERIFY(frame->isMaximized());
        QVERIFY(frame->close());
        const CWindowRect& rc = AppOptions().m_rcMainWindow;
        QCOMPARE(QRect(rc.m_nLeft, rc.m_nTop, rc.m_nRight - rc.m_nLeft, rc.m_nBottom - rc.m_nTop), QRect(40, 50, 700, 500));
    }
}

void MainFrameTest::autosaveSavesOnlyModifiedNotebooks() {
    CGuiTestFixture fx;
    auto app = fx.StartApp();
    QVERIFY(app);
    CMainFrame* frame = app->MainFrame();
    // The default: on, every half hour.
    QVERIFY(frame->AutosaveTimer().isActive());
    QCOMPARE(frame->AutosaveTimer().interval(), 1800000);

    const QString changed = fx.CopySample(QStringLiteral("Getting Started.vlt"));
    const QString kept = fx.CopySample(QStringLiteral("Recipes and Travel.vlt"));
    CClipVaultDoc* docChanged = app->OpenDocumentFile(changed);
    CClipVaultDoc* docKept = app->OpenDocumentFile(kept);
    QVERIFY(docChanged && docKept);
    QVERIFY(docChanged->m_rootCata.AddNewSubCata("Saved by the timer"));
    docChanged->SetModifiedFlag(true);
    const QByteArray keptBytes = [&] {
        QFile f(kept);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    const QDateTime keptTime = QFileInfo(kept).lastModified();
    const qint64 changedSize = QFileInfo(changed).size();

    AppOptions().m_nAutoSavePeriod = 150;
    frame->RestartAutosaveTimer();
    QCOMPARE(frame->AutosaveTimer().interval(), 150);
    QTRY_VERIFY_WITH_TIMEOUT(!docChanged->IsModified(), 10000);
    QVERIFY(QFileInfo(changed).size() != changedSize);
    QTest::qWait(400);
    QCOMPARE(QFileInfo(kept).lastModified(), keptTime);
    {
        QFile f(kept);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), keptBytes);
    }

    // Turned off: the timer stops; a period of nothing is not a busy loop.
    AppOptions().m_bAutoSaveEnabled = false;
    frame->RestartAutosaveTimer();
    QVERIFY(!frame->AutosaveTimer().isActive());
    AppOptions().m_bAutoSaveEnabled = true;
    AppOptions().m_nAutoSavePeriod = 0;
    frame->RestartAutosaveTimer();
    QVERIFY(frame->AutosaveTimer().isActive());
    QVERIFY(frame->AutosaveTimer().interval() >= 60000);
    for (CChildFrame* c : frame->ChildFrames()) c->Document().SetModifiedFlag(false);
}

void MainFrameTest::trayIconAndItsMenu() {
    CGuiTestFixture fx;
    auto app = fx.StartApp();
    QVERIFY(app);
    CMainFrame* frame = app->MainFrame();
    QSystemTrayIcon* tray = frame->TrayIcon();
    QVERIFY(tray);
    QCOMPARE(tray->toolTip(), app->Lang().String(233));
    QVERIFY(!tray->icon().isNull());
    QMenu* menu = frame->TrayMenu();
    QVERIFY(menu);
    QCOMPARE(tray->contextMenu(), menu);
    // Laid out as it opens: the first entry (show the window) is the default.
    emit menu->aboutToShow();
    QVERIFY(menu->defaultAction());
    QCOMPARE(menu->defaultAction()->data().toUInt(), cmd::kCmdShowWindow);
    QVERIFY(menu->defaultAction()->isEnabled());
    QList<unsigned> ids;
    for (QAction* a : menu->actions())
        if (!a->isSeparator()) ids << a->data().toUInt();
    QCOMPARE(ids, (QList<unsigned>{cmd::kCmdShowWindow, cmd::kCmdNew, cmd::kCmdOpen, cmd::kCmdOptions, cmd::kCmdAbout,
                                   cmd::kCmdExit}));
    // A click on the icon brings a minimized window back.
    frame->showMinimized();
    QTRY_VERIFY(frame->isMinimized());
    emit tray->activated(QSystemTrayIcon::Trigger);
    QTRY_VERIFY(!frame->isMinimized());
    QVERIFY(frame->isVisible());
    // The icon goes with the window.
    QVERIFY(frame->close());
    QVERIFY(!frame->TrayIcon());
}

namespace {
class CProbePage : public CPropertyPage {
public:
    CProbePage(const QString& strTitle, QStringList& log) : CPropertyPage(strTitle), m_log(log) {}
    void OnSetActive() override { m_log << Title() + ":active"; }
    void OnOK() override { m_log << Title() + ":ok"; }
    QStringList& m_log;
};
}  // namespace

void MainFrameTest::optionsSheetShowsItsPagesModally() {
    CGuiTestFixture fx;
    auto app = fx.StartApp();
    QVERIFY(app);
    CMainFrame* frame = app->MainFrame();
    QStringList log;
    frame->m_optionPages = {[&] { return new CProbePage(QStringLiteral("General"), log); },
                            [&] { return new CProbePage(QStringLiteral("Editing"), log); }};
    bool bChecked = false;
    QTimer::singleShot(0, [&] {
        auto* sheet = qobject_cast<CPropertySheet*>(QApplication::activeModalWidget());
        QVERIFY(sheet);
        bChecked = true;
        QCOMPARE(sheet->windowTitle(), app->Lang().String(ids::IDS_OPTIONS_CAPTION));
        QCOMPARE(sheet->PageCount(), 2);
        QCOMPARE(sheet->Page(0)->Title(), QStringLiteral("General"));
        // A modal sheet keeps the docked window where it is.
        QVERIFY(!g_bAutoHideAllowed);
        sheet->SetActivePage(1);
        sheet->Buttons()->button(QDialogButtonBox::Ok)->click();
    });
    g_bAutoHideAllowed = true;
    frame->ExecuteCommand(cmd::kCmdOptions);
    QVERIFY(bChecked);
    QVERIFY(g_bAutoHideAllowed);
    // Each page filled itself when it was shown and was confirmed once.
    QCOMPARE(log, (QStringList{"General:active", "Editing:active", "General:ok", "Editing:ok"}));
}

void MainFrameTest::importTargetSkipsAutomationNotebooks() {
    CGuiTestFixture fx;
    auto app = fx.StartApp();
    QVERIFY(app);
    CMainFrame* frame = app->MainFrame();
    QVERIFY(!frame->HasUserNotebook());
    QVERIFY(!frame->GetImportTargetDocument());
    CClipVaultDoc* mine = app->OpenDocumentFile(fx.CopySample(QStringLiteral("Getting Started.vlt")));
    CClipVaultDoc* served = app->OpenDocumentFile(fx.CopySample(QStringLiteral("Recipes and Travel.vlt")));
    QVERIFY(mine && served);
    served->m_bAutomationInstance = 1;
    QCOMPARE(frame->ActiveChildFrame()->Document().GetTitle(), served->GetTitle());
    QVERIFY(frame->HasUserNotebook());
    // The active notebook serves automation: the window below it.
    QCOMPARE(frame->GetImportTargetDocument(), mine);
    frame->ActivateDocumentFrame(mine);
    QCOMPARE(frame->GetImportTargetDocument(), mine);
    mine->m_bAutomationInstance = 1;
    QVERIFY(!frame->HasUserNotebook());
    for (CChildFrame* c : frame->ChildFrames()) c->Document().SetModifiedFlag(false);
}

void MainFrameTest::f1InAnOpenMenuOpensTheWindowsHelpPage() {
    CGuiTestFixture fx;
    auto app = fx.StartApp();
    QVERIFY(app);
    CMainFrame* frame = app->MainFrame();
    auto helpWindow = [] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* help = qobject_cast<CHelpWindow*>(w); help && help->isVisible()) return help;
        return static_cast<CHelpWindow*>(nullptr);
    };
    QVERIFY(!helpWindow());
    QMenu* file = frame->menuBar()->actions().first()->menu();
    QVERIFY(file);
    file->popup(frame->mapToGlobal(QPoint(10, 10)));
    QTRY_VERIFY(file->isVisible());
    QTest::keyClick(file, Qt::Key_F1);
    QTRY_VERIFY(helpWindow());
    QVERIFY(helpWindow()->CurrentPage().endsWith(QStringLiteral("4001.htm")));
    QVERIFY(!file->isVisible());
    helpWindow()->close();
}

void MainFrameTest::closingAMaximizedNotebookLeavesTheOthersMaximized() {
    CGuiTestFixture fx;
    auto app = fx.StartApp();
    QVERIFY(app);
    CMainFrame* frame = app->MainFrame();
    for (int i = 0; i < 3; ++i) QVERIFY(app->NewDocument());
    frame->ExecuteCommand(cmd::kCmdClose);
    QTRY_COMPARE(frame->ChildFrames().size(), 2);
    for (CChildFrame* c : frame->ChildFrames()) {
        frame->MdiArea()->setActiveSubWindow(c);
        QVERIFY(c->isMaximized());
    }
    // One the user restored leaves the next one as it is.
    frame->ActiveChildFrame()->showNormal();
    QVERIFY(frame->ActiveChildFrame()->close());
    QTRY_COMPARE(frame->ChildFrames().size(), 1);
    QVERIFY(!frame->ActiveChildFrame()->isMaximized());
}

void MainFrameTest::theStatusLineIsIdleAgainOnceAHintGoes() {
    CGuiTestFixture fx;
    auto app = fx.StartApp();
    QVERIFY(app);
    CMainFrame* frame = app->MainFrame();
    QStatusTipEvent hint(QStringLiteral("Create a new notebook"));
    QApplication::sendEvent(frame, &hint);
    QCOMPARE(frame->statusBar()->currentMessage(), QStringLiteral("Create a new notebook"));
    // What a menu or button sends as the pointer leaves it.
    QStatusTipEvent gone{QString()};
    QApplication::sendEvent(frame, &gone);
    QCOMPARE(frame->statusBar()->currentMessage(), CurrentLanguage().String(ids::IDS_IDLE_MESSAGE));
}

CLIPVAULT_GUI_TEST_MAIN(MainFrameTest)
#include "MainFrameTest.moc"
