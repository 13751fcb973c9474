// What the views need of the command layer: single ids inside ranges,
// context menus with their own rules and target, the states an update
// handler can set, entries replaced at run time, drop-down buttons, the
// format bar's boxes, the active view, and failures inside update handlers.
#include "support/GuiTestSupport.h"

#include "capture/gui/NoteBrowserView.h"
#include "frame/ChildFrame.h"
#include "frame/MainFrame.h"
#include "frame/NoteCataView.h"
#include "document/ClipVaultDoc.h"
#include "document/RecordClipboard.h"
#include "document/Records.h"
#include "app/DocTemplate.h"
#include "platform/StringIds.h"
#include "platform/gui/CmdTarget.h"
#include "platform/gui/CommandActions.h"
#include "platform/CommandIds.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QJsonDocument>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QToolButton>
#include <QWidgetAction>
#include <QRegularExpression>
#include <QTest>
#include <QToolBar>
#include <stdexcept>

using namespace cmd;

namespace {

// A target whose message map the test writes.
class CMapProbe : public CCmdTarget {
public:
    using CCmdTarget::OnCommand;
    using CCmdTarget::OnCommandRange;
    using CCmdTarget::OnUpdate;
    using CCmdTarget::OnUpdateRange;
    using CCmdTarget::OnNotify;
    QStringList m_log;
};

// The entries of a menu by command id (private or shared, whichever the menu holds).
QAction* EntryOf(const QMenu* pMenu, unsigned nID) {
    for (QAction* a : pMenu->actions())
        if (!a->menu() && a->data().toUInt() == nID) return a;
    return nullptr;
}

QMenu* SubmenuTitled(const QMenu* pMenu, const QString& strTitle) {
    for (QAction* a : pMenu->actions())
        if (a->menu() && a->menu()->title() == strTitle) return a->menu();
    return nullptr;
}

QMenu* MenuBarPopup(CMainFrame* pFrame, const QString& strTitle) {
    for (QAction* a : pFrame->menuBar()->actions())
        if (a->menu() && a->menu()->title() == strTitle) return a->menu();
    return nullptr;
}

// Index of the popup of menu `nMenuID` that holds command `nID`.
int PopupHolding(const CLanguageModule& lang, unsigned nMenuID, unsigned nID) {
    const QJsonArray popups = lang.Menu(nMenuID);
    for (int i = 0; i < popups.size(); ++i)
        if (QJsonDocument(popups[i].toObject()).toJson().contains(QByteArray("\"id\": ") + QByteArray::number(nID)))
            return i;
    return -1;
}

void Open(QMenu* pMenu) {
    emit pMenu->aboutToShow();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// An update handler that fails while told to.
class CFailingProbe : public CCmdTarget {
public:
    CFailingProbe() {
        OnUpdateRange(40200, 40209, [this](CCmdUI* pUI) {
            if (m_bFail) throw std::runtime_error("state unknown");
            pUI->Enable(true);
        });
        OnCommandRange(40200, 40209, [](unsigned) {});
    }
    bool m_bFail = true;
};

}  // namespace

class CommandLayerTest : public QObject {
    Q_OBJECT
private slots:
    void singleIdsInsideRangesWin();
    void registeringTwiceIsRefused();
    void contextMenuFollowsItsOwnRulesWhileTheBarsRefresh();
    void contextMenuRunsOnItsTargetAlone();
    void updateHandlersSetRadioIndeterminateAndPopupEntries();
    void placeholdersBecomePopupsAndItems();
    void dropDownButtonsTellTheirHandlerWhereTheyAre();
    void fontBoxesBelongToTheViewThatHandlesThem();
    void activeViewFollowsTheFocus();
    void failingUpdateReportsOnceUntilItSucceeds();
    void toolbarImagesAreReadOnce();
};

void CommandLayerTest::singleIdsInsideRangesWin() {
    CMapProbe t;
    // The single id before its range, and after it: the order must not matter.
    constexpr unsigned kInner = 121;
    t.OnCommand(kInner, [&] { t.m_log << QStringLiteral("dialog"); });
    t.OnCommandRange(kCmdFirstBackColor, kCmdLastBackColor, [&](unsigned n) { t.m_log << QString::number(n); });
    t.OnCommandRange(kCmdFirstEditTable, kCmdLastEditTable, [&](unsigned n) { t.m_log << QString::number(n); });
    t.OnCommand(kCmdInsertDateTime, [&] { t.m_log << QStringLiteral("date"); });
    t.OnUpdateRange(kCmdFirstBackColor, kCmdLastBackColor, [](CCmdUI* p) { p->Enable(false); });
    t.OnUpdate(kInner, [](CCmdUI* p) { p->SetText(QStringLiteral("More")); });
    for (unsigned id : {117u, 120u, 121u, 122u, 133u, 32800u, 32867u, 32868u, 32869u, 32887u}) QVERIFY(t.OnCmdMsg(id, nullptr));
    QCOMPARE(t.m_log, (QStringList{"117", "120", "dialog", "122", "133", "32800", "32867", "date", "32869", "32887"}));
    QVERIFY(!t.OnCmdMsg(135, nullptr));
    QVERIFY(!t.OnCmdMsg(cmd::kCmdFirstForeColor, nullptr));
    // Updates likewise: the swatches around the dialog's id keep the range's rule.
    for (unsigned id : {120u, 122u}) {
        CCmdUI ui(id);
        QVERIFY(t.OnCmdMsg(id, &ui));
        QVERIFY(!ui.m_bEnabled);
    }
    CCmdUI more(kInner);
    QVERIFY(t.OnCmdMsg(kInner, &more));
    QVERIFY(more.m_bEnabled);
    QCOMPARE(more.m_strText, QStringLiteral("More"));
}

void CommandLayerTest::registeringTwiceIsRefused() {
    CMapProbe t;
    QVERIFY(t.OnCommand(kCmdBackColorDialog, [&] { t.m_log << QStringLiteral("first"); }));
    QVERIFY(t.OnCommandRange(kCmdFirstBackColor, kCmdLastBackColor, [&](unsigned) { t.m_log << QStringLiteral("range"); }));
    QVERIFY(t.OnUpdate(kCmdBackColorDialog, [](CCmdUI*) {}));
    const std::function<bool()> mistakes[] = {
        [&] { return t.OnCommand(kCmdBackColorDialog, [&] { t.m_log << QStringLiteral("second"); }); },
        [&] { return t.OnCommandRange(kCmdBackColorDialog, kCmdBackColorDialog, [](unsigned) {}); },
        [&] { return t.OnCommandRange(kCmdFirstBackColor, kCmdLastBackColor, [](unsigned) {}); },
        // Ranges that overlap without one holding the other leave no
        // narrowest entry for the ids they share.
        [&] { return t.OnCommandRange(130, 140, [](unsigned) {}); },
        [&] { return t.OnUpdate(kCmdBackColorDialog, [](CCmdUI*) {}); },
    };
    for (const auto& mistake : mistakes) {
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral("registered twice|overlaps")));
#ifdef NDEBUG
        QVERIFY(!mistake());
#else
        QVERIFY_THROWS_EXCEPTION(std::logic_error, mistake());
#endif
    }
    // What was there first stays in force.
    QVERIFY(t.OnCmdMsg(kCmdBackColorDialog, nullptr));
    QVERIFY(t.OnCmdMsg(135, nullptr) == false);
    QVERIFY(t.OnCmdMsg(125, nullptr));
    QCOMPARE(t.m_log, (QStringList{"first", "range"}));
    // Disjoint ranges and ranges inside ranges are no mistake.
    QVERIFY(t.OnCommandRange(200, 210, [](unsigned) {}));
    QVERIFY(t.OnCommandRange(118, 119, [](unsigned) {}));
}

void CommandLayerTest::contextMenuFollowsItsOwnRulesWhileTheBarsRefresh() {
    CGuiTestFixture fx;
    const QString path = fx.CopySample(QStringLiteral("Getting Started.vlt"));
    auto app = fx.MakeApp();
    QVERIFY(app->InitInstance({QStringLiteral("clipvault"), path}));
    CMainFrame* frame = app->MainFrame();
    CNoteCataView* tree = frame->ActiveChildFrame()->TreeView();
    QTreeWidgetItem* root = tree->topLevelItem(0);
    QTreeWidgetItem* note = nullptr;
    for (QTreeWidgetItemIterator it(tree); *it && !note; ++it)
        if (CNoteCataView::ImageOf(*it) >= CNoteCataView::kImageNote) note = *it;
    QVERIFY(root && note);
    tree->setCurrentItem(root);
    tree->scrollToItem(note);

    auto openOn = [&](QTreeWidgetItem* item) {
        const QPoint at = tree->visualItemRect(item).center();
        QContextMenuEvent e(QContextMenuEvent::Mouse, at, tree->viewport()->mapToGlobal(at));
        QApplication::sendEvent(tree->viewport(), &e);
        return qobject_cast<QMenu*>(QApplication::activePopupWidget());
    };
    auto enabled = [](QMenu* menu, unsigned nID) {
        QAction* a = EntryOf(menu, nID);
        return a && a->isEnabled();
    };
    // The context menu asks the tree about the item under the cursor,
    // which is not the selection; while the menu is about it, the tree's
    // commands act on it, so the bars say the same through their own
    // actions.
    QMenu* menu = openOn(note);
    QVERIFY(menu);
    QCOMPARE(tree->ContextItem(), note);
    for (int round = 0; round < 2; ++round) {
        frame->UpdateToolBars();
        QVERIFY(!frame->Actions().Action(kCmdNewCategory)->isEnabled());
        QVERIFY(frame->Actions().Action(kCmdDelete)->isEnabled());
        QVERIFY(EntryOf(menu, kCmdDelete) != frame->Actions().Action(kCmdDelete));
        QVERIFY(enabled(menu, kCmdDelete));
        QVERIFY(enabled(menu, kCmdViewNote));
        QVERIFY(enabled(menu, kCmdNewNote));
        QVERIFY(!enabled(menu, kCmdNewCategory));
        QVERIFY(!enabled(menu, kCmdPasteRecord));
        QVERIFY(!enabled(menu, kCmdHoldGroup));
    }
    menu->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    // On the notebook itself other entries, and the record clipboard counts.
    CNoteCata* cata = frame->ActiveChildFrame()->Document().m_rootCata.AddNewSubCata("Clipped");
    QVERIFY(cata);
    TheRecordClipboard().ClipCategory(cata, 0);
    menu = openOn(root);
    QVERIFY(menu);
    QVERIFY(enabled(menu, kCmdNewCategory));
    QVERIFY(enabled(menu, kCmdPasteRecord));
    QVERIFY(enabled(menu, kCmdSortByName));
    QVERIFY(!enabled(menu, kCmdDelete));
    QVERIFY(!enabled(menu, kCmdViewNote));
    frame->UpdateToolBars();
    QVERIFY(enabled(menu, kCmdNewCategory));
    QVERIFY(EntryOf(menu, kCmdNewCategory) != frame->Actions().Action(kCmdNewCategory));
    // A command from the menu ends the context item.
    EntryOf(menu, kCmdNewCategory)->trigger();
    QCOMPARE(tree->ContextItem(), static_cast<QTreeWidgetItem*>(nullptr));
    menu->close();
    TheRecordClipboard().ClearClip();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    // No item under the cursor and nothing selected: no menu.
    tree->setCurrentItem(nullptr);
    tree->clearSelection();
    const QPoint empty(2, tree->viewport()->height() - 2);
    QVERIFY(!tree->itemAt(empty));
    QContextMenuEvent none(QContextMenuEvent::Mouse, empty, tree->viewport()->mapToGlobal(empty));
    QApplication::sendEvent(tree->viewport(), &none);
    QCOMPARE(QApplication::activePopupWidget(), static_cast<QWidget*>(nullptr));
}

void CommandLayerTest::contextMenuRunsOnItsTargetAlone() {
    CGuiTestFixture fx;
    const QString path = fx.CopySample(QStringLiteral("Getting Started.vlt"));
    auto app = fx.MakeApp();
    QVERIFY(app->InitInstance({QStringLiteral("clipvault"), path}));
    CMainFrame* frame = app->MainFrame();
    QVERIFY(QTest::qWaitForWindowActive(frame));
    CChildFrame* child = frame->ActiveChildFrame();
    // The active view would take the command from the route; the menu's
    // own target must get it.
    CMapProbe active, target;
    for (CMapProbe* p : {&active, &target}) {
        p->OnCommand(kCmdNewNote, [p] { p->m_log << QStringLiteral("new note"); });
        p->OnUpdate(kCmdNewNote, [](CCmdUI* pUI) { pUI->Enable(true); });
    }
    target.OnUpdate(kCmdViewNote, [](CCmdUI* pUI) { pUI->Enable(false); });
    child->SetActiveView(&active);
    QWidget owner;
    QMenu* menu = frame->Actions().BuildContextMenu(kMenuContext, 1, target, &owner);
    QVERIFY(menu);
    Open(menu);
    QVERIFY(EntryOf(menu, kCmdNewNote)->isEnabled());
    QVERIFY(!EntryOf(menu, kCmdViewNote)->isEnabled());
    QVERIFY(!EntryOf(menu, kCmdRename)->isEnabled());  // the target has no handler
    EntryOf(menu, kCmdNewNote)->trigger();
    QCOMPARE(target.m_log, QStringList{QStringLiteral("new note")});
    QVERIFY(active.m_log.isEmpty());
    // The tray's menu belongs to the main frame: its route, its own actions.
    QMenu* tray = frame->Actions().BuildContextMenu(kMenuTray, 0, *frame, &owner);
    QVERIFY(tray);
    tray->setDefaultAction(tray->actions().value(0));
    Open(tray);
    // Laid out afresh, its first entry is still the default.
    QVERIFY(tray->defaultAction());
    QCOMPARE(tray->defaultAction()->data().toUInt(), kCmdShowWindow);
    QVERIFY(EntryOf(tray, kCmdShowWindow)->isEnabled());
    QVERIFY(EntryOf(tray, 57600)->isEnabled());
    QVERIFY(EntryOf(tray, 57600) != frame->Actions().Action(cmd::kCmdNew));
    QVERIFY(!EntryOf(tray, 57600)->icon().isNull());
    child->SetActiveView(child->TreeView());
}

void CommandLayerTest::updateHandlersSetRadioIndeterminateAndPopupEntries() {
    CGuiTestFixture fx;
    auto app = fx.MakeApp();
    app->m_fnStartDialog = [] {};
    QVERIFY(app->InitInstance({QStringLiteral("clipvault")}));
    unsigned nAlign = kCmdAlignLeft;
    bool bAlignable = false;
    QList<CCmdUI::Kind> kinds;
    CMapProbe editor;
    editor.OnUpdateRange(kCmdAlignCentre, kCmdAlignRight, [&](CCmdUI* pUI) {
        if (pUI->IsPopupEntry()) pUI->EnablePopup(bAlignable);
        else pUI->SetRadio(pUI->m_nID == nAlign);
    });
    // A rule for a popup's first command alone does not grey the popup.
    editor.OnUpdate(cmd::kCmdMakeAbsolute, [](CCmdUI* pUI) { pUI->Enable(false); });
    editor.OnUpdate(kCmdBold, [](CCmdUI* pUI) { pUI->SetCheck(2); });
    editor.OnUpdate(kCmdItalic, [&](CCmdUI* pUI) {
        kinds << pUI->m_kind;
        pUI->SetCheck(1);
    });
    editor.OnUpdate(kCmdUnderline, [](CCmdUI* pUI) { pUI->SetCheck(1); });
    CMapProbe other;
    other.OnCommand(kCmdUnderline, [] {});
    other.OnUpdate(kCmdBold, [](CCmdUI* pUI) { pUI->SetCheck(0); });
    CCmdTarget* route = &editor;
    QWidget owner;
    CCommandActions actions(&owner, app->Lang(), [&](unsigned nID, CCmdUI* pUI) { return route->OnCmdMsg(nID, pUI); });
    const int format = PopupHolding(app->Lang(), 234, kCmdStylePopup);
    QMenu* menu = actions.BuildPopup(234, format, &owner);
    QVERIFY(menu);
    Open(menu);
    // The Align popup's entry is greyed by its first command's handler.
    QMenu* align = SubmenuTitled(menu, QStringLiteral("&Align"));
    QVERIFY(align);
    QVERIFY(!align->menuAction()->isEnabled());
    QVERIFY(SubmenuTitled(menu, QStringLiteral("&Position"))->menuAction()->isEnabled());
    bAlignable = true;
    Open(menu);
    align = SubmenuTitled(menu, QStringLiteral("&Align"));
    QVERIFY(align->menuAction()->isEnabled());
    // Inside it, a radio mark on the current alignment.
    Open(align);
    QAction* left = actions.Action(kCmdAlignLeft);
    QAction* centre = actions.Action(kCmdAlignCentre);
    QVERIFY(left->isChecked() && !centre->isChecked());
    QVERIFY(left->actionGroup() && left->actionGroup()->isExclusive());
    QVERIFY(centre->actionGroup() && centre->actionGroup()->isExclusive());
    nAlign = kCmdAlignCentre;
    Open(align);
    QVERIFY(!left->isChecked() && centre->isChecked());
    // Indeterminate shows checked and says so.
    QAction* bold = actions.Action(kCmdBold);
    QVERIFY(bold->isChecked());
    QVERIFY(bold->property("indeterminate").toBool());
    // The same action in a menu and on a toolbar knows where it is asked.
    kinds.clear();
    actions.Update({actions.Action(kCmdItalic)}, CCmdUI::kindToolbar);
    QCOMPARE(kinds, QList<CCmdUI::Kind>{CCmdUI::kindToolbar});
    Open(menu);
    QCOMPARE(kinds.last(), CCmdUI::kindMenu);
    // Another target that says nothing about a mark: it goes.
    QAction* underline = actions.Action(kCmdUnderline);
    QVERIFY(underline->isChecked());
    route = &other;
    Open(menu);
    QVERIFY(!underline->isChecked());
    QVERIFY(underline->isEnabled());
    QVERIFY(!bold->isChecked());
    QVERIFY(!bold->property("indeterminate").toBool());
    // The menu's opening made its popups afresh.
    align = SubmenuTitled(menu, QStringLiteral("&Align"));
    QVERIFY(align);
    Open(align);
    QVERIFY(!centre->isChecked() && !centre->actionGroup());
}

void CommandLayerTest::placeholdersBecomePopupsAndItems() {
    CGuiTestFixture fx;
    const QString a = fx.CopySample(QStringLiteral("Getting Started.vlt"));
    const QString b = fx.CopySample(QStringLiteral("Recipes and Travel.vlt"));
    auto app = fx.MakeApp();
    QVERIFY(app->InitInstance({QStringLiteral("clipvault"), a}));
    CMainFrame* frame = app->MainFrame();
    QVERIFY(QTest::qWaitForWindowActive(frame));
    QVERIFY(app->OpenDocumentFile(b));
    CChildFrame* child = frame->ActiveChildFrame();
    // An editor's paragraph styles, built each time the Format menu opens.
    QStringList styles{QStringLiteral("Normal"), QStringLiteral("Heading 1")};
    int nCurrent = 1;
    bool bEditable = true;
    CMapProbe editor;
    editor.OnUpdate(kCmdStylePopup, [&](CCmdUI* pUI) {
        pUI->SetPopup(QStringLiteral("Style"), [&](QMenu* pMenu) {
            for (int i = 0; i < styles.size(); ++i) pMenu->addAction(styles[i])->setData(kCmdFirstBlockFormat + i);
        });
        pUI->Enable(bEditable);
    });
    editor.OnUpdateRange(kCmdFirstBlockFormat, kCmdLastBlockFormat,
                         [&](CCmdUI* pUI) { pUI->SetRadio(int(pUI->m_nID - kCmdFirstBlockFormat) == nCurrent); });
    editor.OnCommandRange(kCmdFirstBlockFormat, kCmdLastBlockFormat,
                          [&](unsigned nID) { editor.m_log << QString::number(nID - kCmdFirstBlockFormat); });
    child->SetActiveView(&editor);
    QMenu* format = MenuBarPopup(frame, QStringLiteral("F&ormat"));
    QVERIFY(format);
    Open(format);
    // The popup stands where the placeholder stood, right after "Font...".
    QMenu* style = SubmenuTitled(format, QStringLiteral("Style"));
    QVERIFY(style);
    QVERIFY(!EntryOf(format, kCmdStylePopup));
    QCOMPARE(format->actions().indexOf(style->menuAction()), format->actions().indexOf(frame->Actions().Action(cmd::kCmdFontDialog)) + 1);
    QVERIFY(style->menuAction()->isEnabled());
    Open(style);
    QCOMPARE(style->actions().size(), 2);
    QVERIFY(EntryOf(style, kCmdFirstBlockFormat + 1)->isChecked());
    QVERIFY(!EntryOf(style, kCmdFirstBlockFormat)->isChecked());
    EntryOf(style, kCmdFirstBlockFormat)->trigger();
    QCOMPARE(editor.m_log, QStringList{QStringLiteral("0")});
    // The next time it is built afresh.
    styles << QStringLiteral("Heading 2");
    bEditable = false;
    Open(format);
    style = SubmenuTitled(format, QStringLiteral("Style"));
    QCOMPARE(style->actions().size(), 3);
    QVERIFY(!style->menuAction()->isEnabled());
    // Without the editor the placeholder is a plain entry again, disabled.
    child->SetActiveView(child->TreeView());
    Open(format);
    QVERIFY(!SubmenuTitled(format, QStringLiteral("Style")));
    QVERIFY(EntryOf(format, kCmdStylePopup) && !EntryOf(format, kCmdStylePopup)->isEnabled());
    QVERIFY(EntryOf(format, kCmdBackColorPopup) && !EntryOf(format, kCmdBackColorPopup)->isEnabled());

    // The window list: commands of the main frame, one per notebook window.
    QMenu* window = MenuBarPopup(frame, QStringLiteral("&Window"));
    QVERIFY(window);
    Open(window);
    QAction* first = EntryOf(window, kCmdFirstWindow);
    QAction* second = EntryOf(window, kCmdFirstWindow + 1);
    QVERIFY(first && second);
    QVERIFY(!first->isChecked() && second->isChecked());
    first->trigger();
    QCOMPARE(&frame->ActiveChildFrame()->Document(), app->DocTemplate()->Documents().front().get());
    Open(window);
    QVERIFY(EntryOf(window, kCmdFirstWindow)->isChecked());
    // The recent notebooks: the application's, where the File menu's
    // placeholder stands.
    QMenu* file = frame->menuBar()->actions().first()->menu();
    Open(file);
    QAction* recent = EntryOf(file, kCmdRecentFile);
    QVERIFY(recent && recent->isEnabled());
    QVERIFY(recent != frame->Actions().Action(kCmdRecentFile));
    QVERIFY(recent->text().endsWith(b));
}

void CommandLayerTest::dropDownButtonsTellTheirHandlerWhereTheyAre() {
    CGuiTestFixture fx;
    const QString path = fx.CopySample(QStringLiteral("Getting Started.vlt"));
    auto app = fx.MakeApp();
    QVERIFY(app->InitInstance({QStringLiteral("clipvault"), path}));
    CMainFrame* frame = app->MainFrame();
    // The window's activation puts the keyboard into the tree, which then
    // becomes the active view; the editor comes after it.
    QVERIFY(QTest::qWaitForWindowActive(frame));
    CChildFrame* child = frame->ActiveChildFrame();
    QList<QRect> dropped;
    CMapProbe editor;
    for (unsigned id : {kCmdForeColorButton, kCmdBlockFormatButton}) {
        editor.OnCommand(id, [&editor, id] { editor.m_log << QString::number(id); });
        editor.OnNotify(id, CCmdNotify::kDropDown, [&editor, &dropped, id](const CCmdNotify& n) {
            editor.m_log << QStringLiteral("drop %1").arg(id);
            dropped << n.m_rcButton;
        });
    }
    child->SetActiveView(&editor);
    frame->UpdateToolBars();
    QToolBar* bar = frame->FormatToolBar();
    const QList<QAction*> items = bar->actions();
    for (int index : {3, 8}) {
        auto* w = qobject_cast<QWidgetAction*>(items.value(index));
        QVERIFY(w);
        auto* button = qobject_cast<QToolButton*>(bar->widgetForAction(w));
        QVERIFY(button);
        QCOMPARE(button->popupMode(), QToolButton::MenuButtonPopup);
        QVERIFY(!button->accessibleName().isEmpty());
        QVERIFY(button->isEnabled());
    }
    auto buttonOf = [&](unsigned id) {
        for (QAction* a : items)
            if (a->data().toUInt() == id) return qobject_cast<QToolButton*>(bar->widgetForAction(a));
        return static_cast<QToolButton*>(nullptr);
    };
    QToolButton* style = buttonOf(kCmdBlockFormatButton);
    QToolButton* colour = buttonOf(kCmdForeColorButton);
    QVERIFY(style && colour);
    QVERIFY(style->isVisible() && colour->isVisible());
    // The arrow at the right end, the button part at the left.
    const QPoint arrow(style->width() - 3, style->height() / 2);
    QTest::mouseClick(style, Qt::LeftButton, {}, arrow);
    QTest::mouseClick(style, Qt::LeftButton, {}, QPoint(3, style->height() / 2));
    QTest::mouseClick(colour, Qt::LeftButton, {}, QPoint(colour->width() - 3, colour->height() / 2));
    QCOMPARE(editor.m_log, (QStringList{QStringLiteral("drop 32946"), QStringLiteral("32946"), QStringLiteral("drop 32945")}));
    QCOMPARE(dropped.value(0), QRect(style->mapToGlobal(QPoint(0, 0)), style->size()));
    QCOMPARE(dropped.value(1), QRect(colour->mapToGlobal(QPoint(0, 0)), colour->size()));
    // Without a handler the button is disabled and its arrow does nothing.
    child->SetActiveView(child->TreeView());
    frame->UpdateToolBars();
    QVERIFY(!style->isEnabled());
    QTest::mouseClick(style, Qt::LeftButton, {}, arrow);
    QCOMPARE(editor.m_log.size(), 3);
}

void CommandLayerTest::fontBoxesBelongToTheViewThatHandlesThem() {
    CGuiTestFixture fx;
    const QString path = fx.CopySample(QStringLiteral("Getting Started.vlt"));
    auto app = fx.MakeApp();
    QVERIFY(app->InitInstance({QStringLiteral("clipvault"), path}));
    CMainFrame* frame = app->MainFrame();
    QVERIFY(QTest::qWaitForWindowActive(frame));
    CChildFrame* child = frame->ActiveChildFrame();
    QComboBox* name = frame->Actions().ComboBox(kCmdFontName);
    QComboBox* size = frame->Actions().ComboBox(kCmdFontSize);
    QVERIFY(name && size);
    QVERIFY(name->isEditable());
    QCOMPARE(name->accessibleName(), app->Lang().StringPart(kCmdFontName, 1));
    QCOMPARE(size->accessibleName(), app->Lang().StringPart(kCmdFontSize, 1));
    // Nobody formats text in the tree: empty and disabled.
    frame->UpdateToolBars();
    QVERIFY(!name->isEnabled() && !size->isEnabled());
    QCOMPARE(size->currentIndex(), -1);
    // An editor keeps the boxes in step with its text; the idle refresh
    // leaves them as it set them.
    QList<std::pair<QString, int>> chosen;
    CMapProbe editor;
    for (unsigned id : {kCmdFontName, kCmdFontSize})
        editor.OnNotify(id, CCmdNotify::kSelEndOk, [&chosen](const CCmdNotify& n) { chosen << std::make_pair(n.m_strText, n.m_nIndex); });
    child->SetActiveView(&editor);
    name->setEnabled(true);
    name->setCurrentIndex(name->count() - 1);
    size->setEnabled(false);  // the size cannot be told in this selection
    for (int i = 0; i < 2; ++i) frame->UpdateToolBars();
    QVERIFY(name->isEnabled());
    QCOMPARE(name->currentIndex(), name->count() - 1);
    QVERIFY(!size->isEnabled());
    // A choice goes to the active view with its text and index.
    size->setEnabled(true);
    size->setCurrentIndex(1);
    QTest::keyClick(size, Qt::Key_Down);
    QCOMPARE(chosen, (QList<std::pair<QString, int>>{{QStringLiteral("12"), 2}}));
    name->setCurrentIndex(0);
    QTest::keyClick(name, Qt::Key_Down);
    QCOMPARE(chosen.size(), 2);
    QCOMPARE(chosen[1], std::make_pair(name->itemText(1), 1));
    // A notebook window without an active view: cleared and disabled.
    child->SetActiveView(nullptr);
    frame->UpdateToolBars();
    QVERIFY(!name->isEnabled() && !size->isEnabled());
    QCOMPARE(name->currentIndex(), -1);
    QCOMPARE(size->currentIndex(), -1);
    child->SetActiveView(child->TreeView());
}

void CommandLayerTest::activeViewFollowsTheFocus() {
    CGuiTestFixture fx;
    const QString path = fx.CopySample(QStringLiteral("Getting Started.vlt"));
    auto app = fx.MakeApp();
    QVERIFY(app->InitInstance({QStringLiteral("clipvault"), path}));
    CMainFrame* frame = app->MainFrame();
    frame->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(frame));
    CChildFrame* child = frame->ActiveChildFrame();
    QVERIFY(child);
    CNoteCataView* tree = child->TreeView();
    // The notebook opens on its root's list; a note in the browser.
    CNoteCata* first = (*child->Document().m_rootCata.m_subCatas.begin()).second;
    QVERIFY(first && first->m_notes.GetCount() > 0);
    child->ShowNote((*first->m_notes.begin()).second, false, 0);
    CNoteBrowserView* browser = child->BrowserView();
    QVERIFY(browser);
    tree->setFocus();
    QTRY_COMPARE(child->ActiveView(), static_cast<CCmdTarget*>(tree));
    // A widget the browser makes after the window was built (as the web
    // engine does for each page it renders) takes the focus: the browser
    // is the active view.
    auto* inner = new QLineEdit(browser);
    inner->show();
    inner->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(inner));
    QCOMPARE(child->ActiveView(), static_cast<CCmdTarget*>(browser));
    // The focus leaving the notebook window keeps the view.
    auto* outside = new QLineEdit(frame->statusBar());
    outside->show();
    outside->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(outside));
    QCOMPARE(child->ActiveView(), static_cast<CCmdTarget*>(browser));
    tree->setFocus();
    QTRY_COMPARE(child->ActiveView(), static_cast<CCmdTarget*>(tree));
    delete inner;
    // A view that goes is no longer the active view.
    {
        CMapProbe gone;
        child->SetActiveView(&gone);
        QCOMPARE(child->ActiveView(), static_cast<CCmdTarget*>(&gone));
    }
    QCOMPARE(child->ActiveView(), static_cast<CCmdTarget*>(nullptr));
    frame->ExecuteCommand(cmd::kCmdSave);
}

void CommandLayerTest::failingUpdateReportsOnceUntilItSucceeds() {
    CGuiTestFixture fx;
    auto app = fx.MakeApp();
    app->m_fnStartDialog = [] {};
    QVERIFY(app->InitInstance({QStringLiteral("clipvault")}));
    CFailingProbe probe;
    QWidget owner;
    CCommandActions actions(&owner, app->Lang(), [&](unsigned nID, CCmdUI* pUI) { return probe.OnCmdMsg(nID, pUI); });
    QAction* a = actions.Action(40200);
    QAction* b = actions.Action(40201);
    // The idle refresh comes round again and again: one box.
    for (int i = 0; i < 3; ++i) actions.Update({a, b});
    QCOMPARE(fx.m_messages.size(), size_t(1));
    QCOMPARE(fx.m_messages[0].m_nID, ids::IDS_OPERATION_FAILED);
    QVERIFY(!a->isEnabled() && !b->isEnabled());
    // Once it works again, a new failure is a new report.
    probe.m_bFail = false;
    actions.Update({a, b});
    QVERIFY(a->isEnabled() && b->isEnabled());
    QCOMPARE(fx.m_messages.size(), size_t(1));
    probe.m_bFail = true;
    actions.Update({a, b});
    actions.Update({a, b});
    QCOMPARE(fx.m_messages.size(), size_t(2));
}

void CommandLayerTest::toolbarImagesAreReadOnce() {
    CGuiTestFixture fx;
    auto app = fx.MakeApp();
    app->m_fnStartDialog = [] {};
    QVERIFY(app->InitInstance({QStringLiteral("clipvault")}));
    const CLanguageModule& lang = app->Lang();
    QWidget owner;
    CMapProbe probe;
    CCommandActions actions(&owner, lang, [&](unsigned nID, CCmdUI* pUI) { return probe.OnCmdMsg(nID, pUI); });
    actions.SetImageToolbars({233, 232, 136, 144});
    std::vector<unsigned> ids;
    for (unsigned tb : {233u, 136u, 144u})
        for (unsigned id : lang.Toolbar(tb).m_items)
            if (id) ids.push_back(id);
    const int before = lang.ToolbarReads();
    QList<QAction*> made;
    for (unsigned id : ids) made << actions.Action(id);
    for (QAction* p : made) QVERIFY2(!p->icon().isNull(), qPrintable(p->text()));
    QVERIFY(actions.BuildToolBar(233, &owner));
    QVERIFY(actions.BuildToolBar(144, &owner));
    // Each of the four toolbars once, however many actions and bars.
    QVERIFY2(lang.ToolbarReads() - before <= 4, qPrintable(QString::number(lang.ToolbarReads() - before)));
    // The first toolbar that shows a command gives its picture.
    const CToolbarResource main = lang.Toolbar(233);
    QCOMPARE(actions.Action(cmd::kCmdOpen)->icon().pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32),
             main.Image(1).toImage().convertToFormat(QImage::Format_ARGB32));
}

CLIPVAULT_GUI_TEST_MAIN(CommandLayerTest)
#include "CommandLayerTest.moc"
