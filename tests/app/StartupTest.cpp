// Start-up of the desktop program: the command line, the start dialog and
// its first-run switch, the stored window rectangle, the document template
// and the application's own commands.
#include "support/GuiTestSupport.h"

#include "platform/CommandIds.h"
#include "platform/gui/AppGlobals.h"
#include "app/AppOptions.h"
#include "app/DocTemplate.h"
#include "app/HelpWindow.h"
#include "app/StartDlg.h"
#include "app/UiStrings.h"
#include "document/ClipVaultDoc.h"
#include "frame/ChildFrame.h"
#include "frame/MainFrame.h"
#include "frame/NoteCataView.h"
#include "platform/MessageHost.h"
#include "platform/StringIds.h"
#include "platform/gui/QtText.h"
#include "platform/CommandIds.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QDir>
#include <QMdiArea>
#include <QProcess>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>

#include <sys/stat.h>

class StartupTest : public QObject {
    Q_OBJECT
private slots:
    void fileOnCommandLineOpensWithoutStartDialogOrTip();
    void plainStartShowsStartDialogAndTip();
    void automationStartShowsNoStartDialog();
    void launcherActionsTakeThePlaceOfTheStartDialog();
    void firstRunOffersSamplesThenRecentThenNew();
    void startDialogControlsFollowTheMode();
    void storedRectangleAppliedOnlyWithASize();
    void openingAnotherExtensionShows33085();
    void recentFileListKeepsSixNewestFirst();
    void recentFilesFillTheFileMenu();
    void openingAnOpenNotebookActivatesItsWindow();
    void closeAsksToSaveAModifiedNotebook();
    void printSwitchIsRefusedWithAMessage();
    void shortcutsAreDesktopEntries();
    void helpShowsTheContentsPage();
    void commandLineForms();
    void unknownCodePageEndsStartUp();
    void eachInstanceHasItsOwnTemporaryRoot();
    void noPrivateTemporaryRootEndsStartUp();
    void exitSavesTheOptionsIntoAFolderItMakes();
    void aNotebookWindowThatFailsTakesOnlyItsOwnNotebook();
};

namespace {

QStringList Args(const QStringList& rest) { return QStringList{QStringLiteral("clipvault")} + rest; }

}  // namespace

void StartupTest::fileOnCommandLineOpensWithoutStartDialogOrTip() {
    CGuiTestFixture fx;
    const QString path = fx.CopySample(QStringLiteral("Getting Started.vlt"));
    auto app = fx.MakeApp();
    int dialogs = 0, tips = 0;
    app->m_fnStartDialog = [&] { ++dialogs; };
    app->m_fnShowTip = [&](bool) { ++tips; };
    QVERIFY(app->InitInstance(Args({path})));
    QCOMPARE(dialogs, 0);
    QCOMPARE(tips, 0);
    QVERIFY(app->m_bStartupDone);
    QCOMPARE(app->DocTemplate()->Documents().size(), size_t(1));
    CChildFrame* child = app->MainFrame()->ActiveChildFrame();
    QVERIFY(child);
    // The tree shows the notebook with its categories.
    QTreeWidgetItem* root = child->TreeView()->topLevelItem(0);
    QVERIFY(root);
    QCOMPARE(root->text(0), QStringLiteral("Notebook"));  // string 33052
    QVERIFY(root->childCount() >= 3);
    QCOMPARE(app->MainFrame()->windowTitle(), QStringLiteral("Clipvault - [Getting Started]"));
    QVERIFY(g_bAutoHideAllowed);
    QVERIFY(fx.m_messages.empty());
}

void StartupTest::plainStartShowsStartDialogAndTip() {
    CGuiTestFixture fx;
    auto app = fx.MakeApp();
    int dialogs = 0, tips = 0;
    bool autoHideDuringDialog = true;
    app->m_fnStartDialog = [&] {
        ++dialogs;
        autoHideDuringDialog = g_bAutoHideAllowed;
    };
    app->m_fnShowTip = [&](bool bAtStartup) {
        QVERIFY(bAtStartup);
        ++tips;
    };
    QVERIFY(app->InitInstance(Args({})));
    QCOMPARE(dialogs, 1);
    QCOMPARE(tips, 1);
    QVERIFY(!autoHideDuringDialog);
    // A plain start makes no empty notebook of its own.
    QVERIFY(app->DocTemplate()->Documents().empty());
}

void StartupTest::launcherActionsTakeThePlaceOfTheStartDialog() {
    // "New notebook" from the launcher is the start dialog's own first
    // choice: an untitled notebook, and the tip as after the dialog.
    {
        CGuiTestFixture fx;
        auto app = fx.MakeApp();
        int dialogs = 0, tips = 0;
        app->m_fnStartDialog = [&] { ++dialogs; };
        app->m_fnShowTip = [&](bool) { ++tips; };
        QVERIFY(app->InitInstance(Args({QStringLiteral("--new-notebook")})));
        QCOMPARE(dialogs, 0);
        QCOMPARE(tips, 1);
        QCOMPARE(app->DocTemplate()->Documents().size(), size_t(1));
    }
    // A notebook named beside an action is what the user opened.
    {
        CGuiTestFixture fx;
        auto app = fx.MakeApp();
        const QString notebook = fx.CopySample(QStringLiteral("Getting Started.vlt"));
        QVERIFY(app->InitInstance(Args({QStringLiteral("--new-notebook"), notebook})));
        QCOMPARE(app->DocTemplate()->Documents().size(), size_t(1));
        QVERIFY(!app->m_bStartDialogShown);
    }
    QCOMPARE(CClipVaultApp::DesktopActionCommand(QStringLiteral("new-notebook")), cmd::kCmdNew);
    QCOMPARE(CClipVaultApp::DesktopActionCommand(QStringLiteral("open-notebook")), cmd::kCmdOpen);
    QCOMPARE(CClipVaultApp::DesktopActionCommand(QStringLiteral("quit")), 0u);
}

void StartupTest::automationStartShowsNoStartDialog() {
    for (const QString& flag : {QStringLiteral("--automation"), QStringLiteral("-Embedding"), QStringLiteral("/Automation")}) {
        CGuiTestFixture fx;
        auto app = fx.MakeApp();
        int dialogs = 0, tips = 0;
        app->m_fnStartDialog = [&] { ++dialogs; };
        app->m_fnShowTip = [&](bool) { ++tips; };
        QVERIFY(app->InitInstance(Args({flag})));
        QCOMPARE(dialogs, 0);
        QCOMPARE(tips, 0);
        QVERIFY(app->m_bStartupDone);
    }
}

void StartupTest::firstRunOffersSamplesThenRecentThenNew() {
    CGuiTestFixture fx;
    {
        auto app = fx.MakeApp();
        app->m_fnStartDialog = [] {};
        QVERIFY(app->InitInstance(Args({})));
        CStartDlg dlg(*app, app->MainFrame());
        QCOMPARE(dlg.CurrentMode(), int(CStartDlg::kModeSample));
        const QStringList samples = dlg.Entries();
        QCOMPARE(samples.size(), 2);
        for (const QString& s : samples) QVERIFY(s.endsWith(QStringLiteral(".vlt")));
        QCOMPARE(dlg.SelectedRow(), 0);
        dlg.accept();
        QCOMPARE(app->DocTemplate()->Documents().size(), size_t(1));
        QCOMPARE(app->Profile().value(QStringLiteral("AppData/FirstRun")).toInt(), 0);
    }
    {
        // Later starts list the notebooks opened before.
        auto app = fx.MakeApp();
        app->m_fnStartDialog = [] {};
        QVERIFY(app->InitInstance(Args({})));
        CStartDlg dlg(*app, app->MainFrame());
        QCOMPARE(dlg.CurrentMode(), int(CStartDlg::kModeRecent));
        QCOMPARE(dlg.Entries().size(), 1);
        QVERIFY(dlg.Entries().first().endsWith(QStringLiteral(".vlt")));
    }
    {
        auto app = fx.MakeApp();
        app->m_fnStartDialog = [] {};
        QVERIFY(app->InitInstance(Args({})));
        app->Profile().remove(QStringLiteral("Recent File List"));
        CStartDlg dlg(*app, app->MainFrame());
        QCOMPARE(dlg.CurrentMode(), int(CStartDlg::kModeNew));
        QVERIFY(dlg.Entries().isEmpty());
        dlg.accept();
        QCOMPARE(app->DocTemplate()->Documents().size(), size_t(1));
        QVERIFY(app->DocTemplate()->Documents().front()->GetPathName().empty());
    }
}

void StartupTest::startDialogControlsFollowTheMode() {
    CGuiTestFixture fx(QStringList{QStringLiteral("Eng")}, /*bSamples=*/false);
    auto app = fx.MakeApp();
    app->m_fnStartDialog = [] {};
    QVERIFY(app->InitInstance(Args({})));
    CStartDlg dlg(*app, app->MainFrame());
    // First run without samples: the sample list is empty, so OK waits.
    QCOMPARE(dlg.CurrentMode(), int(CStartDlg::kModeSample));
    QVERIFY(dlg.IsListEnabled());
    QVERIFY(!dlg.IsOkEnabled());
    dlg.SetMode(CStartDlg::kModeNew);
    QVERIFY(!dlg.IsListEnabled());
    QVERIFY(dlg.IsOkEnabled());
    dlg.SetMode(CStartDlg::kModeOther);
    QVERIFY(!dlg.IsListEnabled());
    QVERIFY(dlg.IsOkEnabled());
    // Another file: the chosen notebook opens, a cancelled choice opens none.
    const QString path = fx.CopySample(QStringLiteral("Recipes and Travel.vlt"));
    dlg.m_fnChooseFile = [] { return QString(); };
    dlg.accept();
    QVERIFY(app->DocTemplate()->Documents().empty());
    QCOMPARE(app->Profile().value(QStringLiteral("AppData/FirstRun")).toInt(), 0);
    CStartDlg dlg2(*app, app->MainFrame());
    dlg2.SetMode(CStartDlg::kModeOther);
    dlg2.m_fnChooseFile = [&] { return path; };
    dlg2.accept();
    QCOMPARE(app->DocTemplate()->Documents().size(), size_t(1));
    // Recent mode, nothing selected: OK is disabled.
    CStartDlg dlg3(*app, app->MainFrame());
    dlg3.SetMode(CStartDlg::kModeRecent);
    QCOMPARE(dlg3.Entries().size(), 1);
    dlg3.SelectRow(-1);
    QVERIFY(!dlg3.IsOkEnabled());
}

void StartupTest::storedRectangleAppliedOnlyWithASize() {
    CGuiTestFixture fx;
    {
        // Zero width: not applied, whatever the other sides say.
        AppOptions().m_rcMainWindow = CWindowRect{200, 150, 200, 650};
        QVERIFY(AppOptions().SaveOptions(FromQ(fx.OptionsPath())));
        AppOptions() = CAppOptions();
        auto app = fx.MakeApp();
        app->m_fnStartDialog = [] {};
        QVERIFY(app->InitInstance(Args({})));
        QVERIFY(app->MainFrame()->geometry() != QRect(200, 150, 0, 500));
        QVERIFY(app->MainFrame()->width() > 100);
    }
    {
        AppOptions().m_rcMainWindow = CWindowRect{40, 30, 840, 630};
        QVERIFY(AppOptions().SaveOptions(FromQ(fx.OptionsPath())));
        AppOptions() = CAppOptions();
        auto app = fx.MakeApp();
        app->m_fnStartDialog = [] {};
        QVERIFY(app->InitInstance(Args({})));
        QCOMPARE(app->MainFrame()->geometry(), QRect(40, 30, 800, 600));
        // Closing stores where the window is; exit writes it.
        app->MainFrame()->setGeometry(60, 50, 700, 500);
        QVERIFY(app->MainFrame()->close());
        app->ExitInstance();
        AppOptions() = CAppOptions();
        QVERIFY(AppOptions().LoadOptions(FromQ(fx.OptionsPath())));
        QCOMPARE(AppOptions().m_rcMainWindow.m_nLeft, 60);
        QCOMPARE(AppOptions().m_rcMainWindow.m_nRight, 760);
    }
}

void StartupTest::openingAnotherExtensionShows33085() {
    CGuiTestFixture fx;
    const QString other = fx.WorkFolder() + QStringLiteral("/notes.txt");
    QFile f(other);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("not a notebook");
    f.close();
    auto app = fx.MakeApp();
    app->m_fnStartDialog = [] {};
    QVERIFY(app->InitInstance(Args({})));
    QVERIFY(!app->OpenDocumentFile(other));
    QVERIFY(fx.Shown(ids::IDS_NOT_A_NOTEBOOK));
    QVERIFY(fx.m_messages.back().m_strText.contains(other));
    QVERIFY(app->DocTemplate()->Documents().empty());
    QVERIFY(app->RecentFiles().isEmpty());
    // What the Open and Save As dialogs offer names the notebook type once.
    QCOMPARE(app->FileDialogFilter(), QStringLiteral("Clipvault file(*.vlt)"));
    // Named on the command line, the failure ends start-up.
    fx.Clear();
    auto app2 = fx.MakeApp();
    QVERIFY(!app2->InitInstance(Args({other})));
    QVERIFY(fx.Shown(ids::IDS_NOT_A_NOTEBOOK));
}

void StartupTest::recentFileListKeepsSixNewestFirst() {
    CGuiTestFixture fx;
    auto app = fx.MakeApp();
    app->m_fnStartDialog = [] {};
    QVERIFY(app->InitInstance(Args({})));
    QStringList made;
    for (int i = 0; i < 8; ++i) made << fx.WorkFolder() + QStringLiteral("/n%1.vlt").arg(i);
    for (const QString& p : made) app->AddToRecentFileList(p);
    app->AddToRecentFileList(made[3]);
    const QStringList list = app->RecentFiles();
    QCOMPARE(list.size(), CClipVaultApp::kRecentFileCount);
    QCOMPARE(list[0], made[3]);
    QCOMPARE(list[1], made[7]);
    QVERIFY(!list.contains(made[0]));
    QSettings ini(fx.ConfigFolder() + QStringLiteral("/Clipvault/Clipvault.ini"), QSettings::IniFormat);
    QCOMPARE(ini.value(QStringLiteral("Recent File List/File1")).toString(), made[3]);
    // A recent notebook that is gone leaves the list when picked.
    app->MainFrame()->ExecuteCommand(cmd::kCmdRecentFile);
    QVERIFY(!app->RecentFiles().contains(made[3]));
}

void StartupTest::recentFilesFillTheFileMenu() {
    CGuiTestFixture fx;
    auto app = fx.MakeApp();
    app->m_fnStartDialog = [] {};
    QVERIFY(app->InitInstance(Args({})));
    QMenu* file = app->MainFrame()->menuBar()->actions().first()->menu();
    QVERIFY(file);
    auto recentEntries = [&] {
        QStringList out;
        for (QAction* a : file->actions())
            if (a->property("recentFile").toBool()) out << (a->isEnabled() ? QString() : QStringLiteral("(off) ")) + a->text();
        return out;
    };
    emit file->aboutToShow();
    QStringList entries = recentEntries();
    QCOMPARE(entries.size(), 1);
    QVERIFY(entries[0].startsWith(QStringLiteral("(off) ")));
    const QString a = fx.CopySample(QStringLiteral("Getting Started.vlt"));
    const QString b = fx.CopySample(QStringLiteral("Recipes and Travel.vlt"));
    app->AddToRecentFileList(a);
    app->AddToRecentFileList(b);
    emit file->aboutToShow();
    QTest::qWait(0);
    entries = recentEntries();
    QCOMPARE(entries, (QStringList{QStringLiteral("&1 ") + b, QStringLiteral("&2 ") + a}));
    // Picking the second entry opens that notebook.
    for (QAction* act : file->actions())
        if (act->text() == QStringLiteral("&2 ") + a) act->trigger();
    QCOMPARE(app->DocTemplate()->Documents().size(), size_t(1));
    QCOMPARE(app->DocTemplate()->Documents().front()->GetPathName(), FromQ(a));
}

void StartupTest::openingAnOpenNotebookActivatesItsWindow() {
    CGuiTestFixture fx;
    const QString a = fx.CopySample(QStringLiteral("Getting Started.vlt"));
    const QString b = fx.CopySample(QStringLiteral("Recipes and Travel.vlt"));
    auto app = fx.MakeApp();
    QVERIFY(app->InitInstance(Args({a})));
    CClipVaultDoc* docA = app->DocTemplate()->Documents().front().get();
    QVERIFY(app->OpenDocumentFile(b));
    QCOMPARE(app->MainFrame()->ChildFrames().size(), 2);
    QCOMPARE(app->OpenDocumentFile(a), docA);
    QCOMPARE(app->MainFrame()->ChildFrames().size(), 2);
    QCOMPARE(&app->MainFrame()->ActiveChildFrame()->Document(), docA);
    // The Window menu lists both notebooks once, however often it opens,
    // and checks the active one.
    QMenu* windowMenu = nullptr;
    for (QAction* top : app->MainFrame()->menuBar()->actions())
        if (top->menu() && top->menu()->actions().size() && top->menu()->title().contains(QStringLiteral("Window")))
            windowMenu = top->menu();
    QVERIFY(windowMenu);
    for (int round = 0; round < 2; ++round) {
        emit windowMenu->aboutToShow();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QStringList listed, checked;
        for (QAction* act : windowMenu->actions()) {
            if (act->text().startsWith(QStringLiteral("&1 ")) || act->text().startsWith(QStringLiteral("&2 "))) {
                listed << act->text();
                if (act->isChecked()) checked << act->text();
            }
        }
        QCOMPARE(listed.size(), 2);
        QCOMPARE(checked, QStringList{QStringLiteral("&1 Getting Started")});
    }
}

void StartupTest::closeAsksToSaveAModifiedNotebook() {
    CGuiTestFixture fx;
    const QString a = fx.CopySample(QStringLiteral("Getting Started.vlt"));
    auto app = fx.MakeApp();
    QVERIFY(app->InitInstance(Args({a})));
    CChildFrame* child = app->MainFrame()->ActiveChildFrame();
    CClipVaultDoc& doc = child->Document();
    QVERIFY(doc.m_rootCata.AddNewSubCata("Added here"));
    doc.SetModifiedFlag(true);
    QCOMPARE(app->MainFrame()->windowTitle(), QStringLiteral("Clipvault - [Getting Started *]"));
    // Cancel keeps the window and the change.
    fx.m_nAnswer = host::IDCANCEL;
    app->MainFrame()->ExecuteCommand(cmd::kCmdClose);
    QVERIFY(fx.Shown(ids::IDS_ASK_TO_SAVE));
    QCOMPARE(app->MainFrame()->ChildFrames().size(), 1);
    // Yes saves through the document, then the window goes.
    fx.m_nAnswer = host::IDYES;
    app->MainFrame()->ExecuteCommand(cmd::kCmdClose);
    QTRY_COMPARE(app->MainFrame()->ChildFrames().size(), 0);
    QTRY_VERIFY(app->DocTemplate()->Documents().empty());
    CClipVaultDoc reread;
    QVERIFY(reread.OnOpenDocument(FromQ(a)));
    QVERIFY(reread.m_rootCata.FindSubCata("Added here"));
    QCOMPARE(app->MainFrame()->windowTitle(), QStringLiteral("Clipvault"));
}

void StartupTest::printSwitchIsRefusedWithAMessage() {
    CGuiTestFixture fx;
    const QString a = fx.CopySample(QStringLiteral("Getting Started.vlt"));
    auto app = fx.MakeApp();
    QVERIFY(!app->InitInstance(Args({QStringLiteral("/p"), a})));
    QCOMPARE(fx.m_messages.size(), size_t(1));
    QVERIFY(fx.m_messages[0].m_strText.contains(QStringLiteral("print")));
    QVERIFY(app->DocTemplate()->Documents().empty());
}

void StartupTest::shortcutsAreDesktopEntries() {
    CGuiTestFixture fx;
    auto app = fx.MakeApp();
    app->m_fnStartDialog = [] {};
    QVERIFY(app->InitInstance(Args({})));
    app->MainFrame()->ExecuteCommand(cmd::kCmdStartupShortcut);
    const QString autostart = fx.ConfigFolder() + QStringLiteral("/autostart/Clipvault.desktop");
    QVERIFY(QFileInfo(autostart).isFile());
    QVERIFY(fx.Shown(ids::IDS_STARTUP_LINK_MADE));
    QFile f(autostart);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(f.readAll());
    QVERIFY(text.startsWith(QStringLiteral("[Desktop Entry]\n")));
    QVERIFY(text.contains(QStringLiteral("Exec=\"") + QCoreApplication::applicationFilePath() + QLatin1Char('"')));
    QVERIFY(text.contains(QStringLiteral("Path=") + fx.ProgramFolder()));
    QVERIFY(QFileInfo(autostart).isExecutable());
    // An entry already there counts as made and is left alone.
    fx.Clear();
    QVERIFY(f.remove());
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("[Desktop Entry]\nName=mine\n");
    f.close();
    app->MainFrame()->ExecuteCommand(cmd::kCmdStartupShortcut);
    QVERIFY(fx.Shown(ids::IDS_STARTUP_LINK_MADE));
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("[Desktop Entry]\nName=mine\n"));
    f.close();
    // A folder that cannot be made is a failure, reported as one.
    fx.Clear();
    QFile blocker(fx.ConfigFolder() + QStringLiteral("/desk"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QFile dirs(fx.ConfigFolder() + QStringLiteral("/user-dirs.dirs"));
    QVERIFY(dirs.open(QIODevice::WriteOnly));
    dirs.write(("XDG_DESKTOP_DIR=\"" + fx.ConfigFolder() + "/desk/sub\"\n").toUtf8());
    dirs.close();
    app->MainFrame()->ExecuteCommand(cmd::kCmdDesktopShortcut);
    QVERIFY(fx.Shown(ids::IDS_DESKTOP_LINK_FAILED));
}

void StartupTest::helpShowsTheContentsPage() {
    CGuiTestFixture fx;
    auto app = fx.MakeApp();
    app->m_fnStartDialog = [] {};
    QVERIFY(app->InitInstance(Args({})));
    app->MainFrame()->ExecuteCommand(cmd::kCmdHelp);
    auto* help = app->MainFrame()->findChild<CHelpWindow*>();
    if (!help)
        for (QWidget* w : QApplication::topLevelWidgets())
            if ((help = qobject_cast<CHelpWindow*>(w))) break;
    QVERIFY(help);
    QVERIFY(help->isVisible());
    QVERIFY(help->CurrentPage().endsWith(QStringLiteral("/help/index.htm")));
    QVERIFY(!help->toPlainText().isEmpty());
    for (int context = 4001; context <= 4011; ++context) {
        QVERIFY(help->ShowTopic(context));
        QVERIFY(!help->toPlainText().isEmpty());
    }
    QVERIFY(!help->ShowTopic(4999));
}

void StartupTest::commandLineForms() {
    CCommandLineInfo a = CCommandLineInfo::Parse(Args({}));
    QCOMPARE(a.m_nShellCommand, CCommandLineInfo::FileNew);
    QVERIFY(a.m_bShowSplash);
    CCommandLineInfo b = CCommandLineInfo::Parse(Args({QStringLiteral("/tmp/x.vlt")}));
    QCOMPARE(b.m_nShellCommand, CCommandLineInfo::FileOpen);
    QCOMPARE(b.m_strFileName, QStringLiteral("/tmp/x.vlt"));
    CCommandLineInfo c = CCommandLineInfo::Parse(Args({QStringLiteral("-Embedding")}));
    QVERIFY(c.m_bRunEmbedded);
    QVERIFY(!c.m_bShowSplash);
    CCommandLineInfo d = CCommandLineInfo::Parse(Args({QStringLiteral("/pt"), QStringLiteral("a.vlt"), QStringLiteral("printer"),
                                                       QStringLiteral("driver"), QStringLiteral("port")}));
    QCOMPARE(d.m_nShellCommand, CCommandLineInfo::FilePrintTo);
    CCommandLineInfo f = CCommandLineInfo::Parse(Args({QStringLiteral("--codepage"), QStringLiteral("GBK"), QStringLiteral("b.vlt")}));
    QCOMPARE(f.m_strCodePage, QStringLiteral("GBK"));
    QCOMPARE(f.m_strFileName, QStringLiteral("b.vlt"));
    QCOMPARE(CCommandLineInfo::Parse(Args({QStringLiteral("--codepage=CP1252")})).m_strCodePage, QStringLiteral("CP1252"));
    // A notebook in a folder named like a switch is still a file.
    CCommandLineInfo e = CCommandLineInfo::Parse(Args({QStringLiteral("/p/notes.vlt")}));
    QCOMPARE(e.m_nShellCommand, CCommandLineInfo::FileOpen);
    CCommandLineInfo g = CCommandLineInfo::Parse(Args({QStringLiteral("--Open-Notebook")}));
    QCOMPARE(g.m_strDesktopAction, QStringLiteral("open-notebook"));
    QCOMPARE(g.m_nShellCommand, CCommandLineInfo::FileNew);
    QVERIFY(g.m_strUnknown.isEmpty());
}

void StartupTest::unknownCodePageEndsStartUp() {
    CGuiTestFixture fx;
    auto app = fx.MakeApp();
    QVERIFY(!app->InitInstance(Args({QStringLiteral("--codepage"), QStringLiteral("NO-SUCH-CODEPAGE-9")})));
    QCOMPARE(fx.m_messages.size(), size_t(1));
    QVERIFY(fx.m_messages[0].m_strText.contains(QStringLiteral("NO-SUCH-CODEPAGE-9")));
    QVERIFY(!app->MainFrame());
}

void StartupTest::eachInstanceHasItsOwnTemporaryRoot() {
    CGuiTestFixture fx;
    const QByteArray savedTmp = qgetenv("TMPDIR");
    qputenv("TMPDIR", fx.WorkFolder().toLocal8Bit());
    auto makeRoot = [&](const QString& name, const QByteArray& owner) {
        QDir(fx.WorkFolder()).mkpath(name);
        const QString root = fx.WorkFolder() + QLatin1Char('/') + name;
        QFile page(root + QStringLiteral("/vlt1234.htm"));
        page.open(QIODevice::WriteOnly);
        page.write("<p>left behind</p>");
        if (!owner.isNull()) {
            QFile f(root + QStringLiteral("/.owner"));
            f.open(QIODevice::WriteOnly);
            f.write(owner);
        }
        return root;
    };
    QProcess gone;
    gone.start(QStringLiteral("true"), QStringList());
    QVERIFY(gone.waitForStarted());
    const qint64 deadPid = gone.processId();
    QVERIFY(gone.waitForFinished());
    const QString crashed = makeRoot(QStringLiteral("clipvault-crashed"), QByteArray::number(deadPid));
    const QString running = makeRoot(QStringLiteral("clipvault-running"), QByteArray::number(QCoreApplication::applicationPid()));
    const QString unknown = makeRoot(QStringLiteral("clipvault-unknown"), QByteArray());
    QFile shared(fx.WorkFolder() + QStringLiteral("/vlt999.htm"));
    QVERIFY(shared.open(QIODevice::WriteOnly));
    shared.close();
    QString mine;
    {
        auto app = fx.MakeApp();
        mine = app->TempRoot();
        QVERIFY(mine.startsWith(fx.WorkFolder() + QStringLiteral("/clipvault-")));
        QVERIFY(mine.endsWith(QLatin1Char('/')));
        auto other = fx.MakeApp();
        QVERIFY(other->TempRoot() != mine);
        QVERIFY(QFileInfo(mine).isDir());
        // The other instance ending takes only its own root with it.
        other.reset();
        QVERIFY(QFileInfo(mine).isDir());
    }
    QVERIFY(!QFileInfo::exists(mine));
    // An ended instance's root goes; a running one's, and one of unknown
    // origin, stay; files in the shared folder are not this program's.
    QVERIFY(!QFileInfo::exists(crashed));
    QVERIFY(QFileInfo::exists(running + QStringLiteral("/vlt1234.htm")));
    QVERIFY(QFileInfo::exists(unknown + QStringLiteral("/vlt1234.htm")));
    QVERIFY(shared.exists());
    if (savedTmp.isNull()) qunsetenv("TMPDIR");
    else qputenv("TMPDIR", savedTmp);
}

void StartupTest::noPrivateTemporaryRootEndsStartUp() {
    CGuiTestFixture fx;
    // A temporary folder whose path leaves no room for a folder of the
    // program's own below it, while its own entries can still be reached.
    QString shared = fx.WorkFolder();
    while (shared.size() < 4080) shared += QLatin1Char('/') + QString(std::min<int>(200, 4080 - int(shared.size())), QLatin1Char('d'));
    QVERIFY(QDir().mkpath(shared));
    QFile other(shared + QStringLiteral("/vlt999.htm"));
    QVERIFY(other.open(QIODevice::WriteOnly));
    other.close();
    const QByteArray savedTmp = qgetenv("TMPDIR");
    qputenv("TMPDIR", shared.toLocal8Bit());
    {
        auto app = fx.MakeApp();
        QVERIFY(!app->InitInstance(Args({})));
        QVERIFY(fx.Shown(uistr::kNoTempRoot));
        QVERIFY(fx.m_messages.back().m_strText.contains(QStringLiteral("TMPDIR")));
        QVERIFY(!app->MainFrame());
        QCOMPARE(app->m_nExitCode, 1);
        QVERIFY(app->TempRoot().isEmpty());
    }
    // Another program's file in the shared folder is not this one's to remove.
    QVERIFY(other.exists());
    if (savedTmp.isNull()) qunsetenv("TMPDIR");
    else qputenv("TMPDIR", savedTmp);
}

void StartupTest::exitSavesTheOptionsIntoAFolderItMakes() {
    CGuiTestFixture fx;
    // A fresh account: the configuration folder has no "Clipvault" yet.
    const QString folder = fx.ConfigFolder() + QStringLiteral("/Clipvault");
    CAppEnvironment env = fx.Environment();
    env.m_strOptionsPath = folder + QStringLiteral("/AppOption.data");
    {
        CClipVaultApp app(env);
        app.m_fnStartDialog = [] {};
        app.m_fnShowTip = nullptr;
        QVERIFY(app.InitInstance(Args({})));
        AppOptions().m_download.m_strProxyUser = "saved";
        QCOMPARE(app.ExitInstance(), 0);
    }
    QVERIFY(!fx.Shown(ids::IDS_FILE_NOT_WRITABLE));
    QVERIFY(fx.m_messages.empty());
    QVERIFY(QFileInfo::exists(env.m_strOptionsPath));
    struct stat st;
    QCOMPARE(::stat(QFile::encodeName(folder).constData(), &st), 0);
    QCOMPARE(st.st_mode & 0777, mode_t(0700));
    CAppOptions back;
    QVERIFY(back.LoadOptions(FromQ(env.m_strOptionsPath)));
    QCOMPARE(back.m_download.m_strProxyUser, std::string("saved"));
}

void StartupTest::aNotebookWindowThatFailsTakesOnlyItsOwnNotebook() {
    CGuiTestFixture fx;
    const QString a = fx.CopySample(QStringLiteral("Getting Started.vlt"));
    const QString b = fx.CopySample(QStringLiteral("Recipes and Travel.vlt"));
    auto app = fx.MakeApp();
    QVERIFY(app->InitInstance(Args({a})));
    CClipVaultDoc* docA = app->DocTemplate()->Documents().front().get();
    CMainFrame* frame = app->MainFrame();
    int refused = 0;
    frame->m_fnAcceptChildFrame = [&](CChildFrame&) {
        ++refused;
        return false;
    };
    QCOMPARE(app->OpenDocumentFile(b), nullptr);
    QCOMPARE(app->NewDocument(), nullptr);
    QCOMPARE(refused, 2);
    // The notebook that was open stays open, in its window.
    QCOMPARE(app->DocTemplate()->Documents().size(), size_t(1));
    QCOMPARE(app->DocTemplate()->Documents().front().get(), docA);
    QCOMPARE(frame->ChildFrames().size(), 1);
    QCOMPARE(&frame->ChildFrames().front()->Document(), docA);
    QCOMPARE(docA->GetTitle(), std::string("Getting Started"));
    // With no notebook open, a failed window leaves the list empty.
    frame->m_fnAcceptChildFrame = nullptr;
    fx.m_nAnswer = host::IDNO;
    frame->ExecuteCommand(cmd::kCmdClose);
    QTRY_VERIFY(app->DocTemplate()->Documents().empty());
    frame->m_fnAcceptChildFrame = [](CChildFrame&) { return false; };
    QCOMPARE(app->OpenDocumentFile(b), nullptr);
    QVERIFY(app->DocTemplate()->Documents().empty());
    // And once windows can be built again, notebooks open as before.
    frame->m_fnAcceptChildFrame = nullptr;
    QVERIFY(app->OpenDocumentFile(b));
    QCOMPARE(app->DocTemplate()->Documents().size(), size_t(1));
}

CLIPVAULT_GUI_TEST_MAIN(StartupTest)
#include "StartupTest.moc"
