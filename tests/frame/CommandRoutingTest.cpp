// The command layer: handlers by id and by range, the update rules, the
// route from the active view to the application, failures inside handlers,
// and the actions the menus and toolbars are made of.
#include "support/GuiTestSupport.h"

#include "platform/gui/AppGlobals.h"
#include "app/DocTemplate.h"
#include "document/ClipVaultDoc.h"
#include "frame/ChildFrame.h"
#include "frame/MainFrame.h"
#include "platform/MessageHost.h"
#include "platform/StringIds.h"
#include "platform/gui/CommandActions.h"
#include "platform/CommandIds.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QToolBar>
#include <stdexcept>

namespace {

// A view that answers a few commands itself.
class CProbeView : public CCmdTarget {
public:
    CProbeView() {
        OnCommand(cmd::kCmdSave, [this] { m_log << 57603; });
        OnCommandRange(40000, 40009, [this](unsigned nID) { m_log << static_cast<int>(nID); });
        OnUpdate(40005, [](CCmdUI* pUI) {
            pUI->Enable(false);
            pUI->SetCheck(1);
        });
        OnUpdate(40006, [](CCmdUI* pUI) { pUI->SetText(QStringLiteral("Renamed")); });
        OnCommand(40100, [] { throw std::runtime_error("disk on fire"); });
    }
    QList<int> m_log;
};

}  // namespace

class CommandRoutingTest : public QObject {
    Q_OBJECT
private slots:
    void updateRulesOfOneTarget();
    void routeGoesViewChildFrameMainFrameApplication();
    void failingHandlerReports33049AndTheProgramGoesOn();
    void actionsFollowTheirUpdateHandlers();
    void menusAndToolbarsComeFromTheLanguageModule();
};

void CommandRoutingTest::updateRulesOfOneTarget() {
    CProbeView view;
    // A command handler alone: enabled, check state untouched.
    CCmdUI a(57603);
    a.m_bEnabled = false;
    QVERIFY(view.OnCmdMsg(cmd::kCmdSave, &a));
    QVERIFY(a.m_bEnabled);
    QCOMPARE(a.m_nCheck, -1);
    // An update handler decides, even against a command handler.
    CCmdUI b(40005);
    QVERIFY(view.OnCmdMsg(40005, &b));
    QVERIFY(!b.m_bEnabled);
    QCOMPARE(b.m_nCheck, 1);
    // Ranges include both ends and nothing beyond them.
    QVERIFY(view.OnCmdMsg(40000, nullptr));
    QVERIFY(view.OnCmdMsg(40009, nullptr));
    QVERIFY(!view.OnCmdMsg(40010, nullptr));
    QVERIFY(!view.OnCmdMsg(39999, nullptr));
    QCOMPARE(view.m_log, (QList<int>{40000, 40009}));
    // Nobody handles it: the caller disables it.
    CCmdUI c(41000);
    QVERIFY(!view.OnCmdMsg(41000, &c));
}

void CommandRoutingTest::routeGoesViewChildFrameMainFrameApplication() {
    CGuiTestFixture fx;
    const QString path = fx.CopySample(QStringLiteral("Getting Started.vlt"));
    auto app = fx.MakeApp();
    QVERIFY(app->InitInstance({QStringLiteral("clipvault"), path}));
    CMainFrame* frame = app->MainFrame();
    CChildFrame* child = frame->ActiveChildFrame();
    QVERIFY(child);
    CClipVaultDoc& doc = child->Document();
    QVERIFY(doc.m_rootCata.AddNewSubCata("Routed"));
    doc.SetModifiedFlag(true);

    // The active view comes first: its save handler wins over the child
    // frame's, so the notebook stays unsaved.
    CProbeView probe;
    CCmdTarget* saved = child->ActiveView();
    child->SetActiveView(&probe);
    frame->ExecuteCommand(cmd::kCmdSave);
    QCOMPARE(probe.m_log, QList<int>{57603});
    QVERIFY(doc.IsModified());
    // Without it the child frame saves the notebook.
    child->SetActiveView(saved);
    frame->ExecuteCommand(cmd::kCmdSave);
    QVERIFY(!doc.IsModified());
    // The main frame's own commands and then the application's.
    CCmdUI bar(32954);
    QVERIFY(frame->OnCmdMsg(cmd::kCmdToggleSecondToolbar, &bar));
    QCOMPARE(bar.m_nCheck, frame->SecondToolBar()->isVisible() ? 1 : 0);
    frame->ExecuteCommand(cmd::kCmdNew);
    QCOMPARE(app->DocTemplate()->Documents().size(), size_t(2));

    // With no notebook open the child frame's commands have nobody to run
    // them: disabled.
    for (CChildFrame* c : frame->ChildFrames()) {
        c->Document().SetModifiedFlag(false);
        QVERIFY(c->close());
    }
    QTRY_VERIFY(frame->ChildFrames().isEmpty());
    CCmdUI save(57603);
    save.m_bEnabled = false;
    QVERIFY(!frame->OnCmdMsg(cmd::kCmdSave, &save));
    CCmdUI open(57601);
    QVERIFY(frame->OnCmdMsg(cmd::kCmdOpen, &open));
    QVERIFY(open.m_bEnabled);
}

void CommandRoutingTest::failingHandlerReports33049AndTheProgramGoesOn() {
    CGuiTestFixture fx;
    CProbeView view;
    g_bAutoHideAllowed = true;
    QVERIFY(view.OnCmdMsg(40100, nullptr));
    QCOMPARE(fx.m_messages.size(), size_t(1));
    QCOMPARE(fx.m_messages[0].m_nID, ids::IDS_OPERATION_FAILED);
    QCOMPARE(fx.m_messages[0].m_nType & host::MB_ICONMASK, unsigned(host::MB_ICONEXCLAMATION));
    // The box's flag is put back afterwards.
    QVERIFY(g_bAutoHideAllowed);
    QVERIFY(view.OnCmdMsg(40001, nullptr));
    QCOMPARE(view.m_log, QList<int>{40001});
}

void CommandRoutingTest::actionsFollowTheirUpdateHandlers() {
    CGuiTestFixture fx;
    auto app = fx.MakeApp();
    app->m_fnStartDialog = [] {};
    QVERIFY(app->InitInstance({QStringLiteral("clipvault")}));
    CProbeView view;
    QWidget owner;
    CCommandActions actions(&owner, app->Lang(), [&](unsigned nID, CCmdUI* pUI) { return view.OnCmdMsg(nID, pUI); });
    QAction* disabled = actions.Action(40005);
    QAction* renamed = actions.Action(40006);
    QAction* orphan = actions.Action(41000);
    QAction* plain = actions.Action(40001);
    actions.Update({disabled, renamed, orphan, plain});
    QVERIFY(!disabled->isEnabled());
    QVERIFY(disabled->isCheckable() && disabled->isChecked());
    QCOMPARE(renamed->text(), QStringLiteral("Renamed"));
    QVERIFY(!orphan->isEnabled());
    QVERIFY(plain->isEnabled());
    // A command that is disabled does not run, even when its key fires
    // before the next update.
    disabled->setEnabled(true);
    disabled->trigger();
    plain->trigger();
    QCOMPARE(view.m_log, QList<int>{40001});
    // One action per id.
    QCOMPARE(actions.Action(40001), plain);
}

void CommandRoutingTest::menusAndToolbarsComeFromTheLanguageModule() {
    CGuiTestFixture fx;
    const QString path = fx.CopySample(QStringLiteral("Getting Started.vlt"));
    auto app = fx.MakeApp();
    QVERIFY(app->InitInstance({QStringLiteral("clipvault"), path}));
    CMainFrame* frame = app->MainFrame();
    // Keys from the accelerator table reach the actions.
    QAction* open = frame->Actions().Action(cmd::kCmdOpen);
    QCOMPARE(open->shortcut(), QKeySequence(QStringLiteral("Ctrl+O")));
    QVERIFY(!open->icon().isNull());
    // The main toolbar holds the module's commands in order.
    const CToolbarResource tb = app->Lang().Toolbar(233);
    QList<unsigned> ids;
    for (QAction* a : frame->MainToolBar()->actions())
        if (!a->isSeparator()) ids << frame->Actions().IdOf(a);
    QList<unsigned> want;
    for (unsigned id : tb.m_items)
        if (id) want << id;
    QCOMPARE(ids, want);
    // With a notebook open the menu bar is the notebook menu; a menu about
    // to open asks its update handlers.
    QVERIFY(frame->menuBar()->actions().size() >= 6);
    QMenu* fileMenu = frame->menuBar()->actions().first()->menu();
    QVERIFY(fileMenu);
    QAction* save = frame->Actions().Action(cmd::kCmdSave);
    QVERIFY(fileMenu->actions().contains(save));
    for (CChildFrame* c : frame->ChildFrames()) QVERIFY(c->close());
    QTRY_VERIFY(frame->ChildFrames().isEmpty());
    QVERIFY(frame->menuBar()->actions().size() < 8);
    frame->Actions().Update({save});
    QVERIFY(!save->isEnabled());
}

CLIPVAULT_GUI_TEST_MAIN(CommandRoutingTest)
#include "CommandRoutingTest.moc"
