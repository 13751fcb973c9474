// The pane of tabs whose pages are views: which page is shown, enabled and
// focused as tabs are chosen, labels cut by bytes without splitting a
// character, where the pages go for each side of the strip, the frame's
// active view let go when the pane hides, and the notebook window's left
// pane built on it.
#include "support/GuiTestSupport.h"

#include "frame/ChildFrame.h"
#include "frame/MainFrame.h"
#include "frame/NoteCataView.h"
#include "platform/StringIds.h"
#include "platform/gui/CmdTarget.h"
#include "platform/gui/NoteFrame.h"
#include "platform/gui/QtText.h"
#include "views/QueryForm.h"
#include "views/TabView.h"

#include <QLineEdit>
#include <QTabBar>
#include <QTest>
#include <QVBoxLayout>

namespace {

class CPageEdit : public QLineEdit, public CCmdTarget {
public:
    explicit CPageEdit(QWidget* pParent) : QLineEdit(pParent) {}
};

// A frame as the views see it, holding a tab view.
class CFakeFrame : public QWidget, public INoteFrame {
public:
    CFakeFrame() {
        auto* layout = new QVBoxLayout(this);
        m_pTabs = new CTabView(this);
        layout->addWidget(m_pTabs);
    }
    void ShowNote(CNote*, bool, int, bool) override {}
    void ListCategory(CNoteCata*) override {}
    void ListGroup(int) override {}
    CNote* CurrentNote() const override { return nullptr; }
    void ClearCurrentNote() override {}
    void ForgetNote(CNote*) override {}
    void RemoveFromList(CNoteBase*) override {}
    void OpenImport() override {}
    void ImportNotes(const std::vector<CNote*>&) override {}
    void GoToNoteNumber(uint32_t) override {}
    CCommandActions& Actions() const override { std::abort(); }
    CCmdTarget* ActiveView() const override { return m_pActive; }
    void SetActiveView(CCmdTarget* pView) override { m_pActive = pView; }

    CTabView* m_pTabs;
    CCmdTarget* m_pActive = nullptr;
};

CPageEdit* AddEdit(CTabView& tabs, const std::string& label) {
    CPageEdit* made = nullptr;
    const bool ok = tabs.AddView(label, [&](QWidget* pParent) { return made = new CPageEdit(pParent); });
    return ok ? made : nullptr;
}

void ClickTab(CTabView& tabs, int nIndex) {
    QTest::mouseClick(tabs.TabBar(), Qt::LeftButton, {}, tabs.TabBar()->tabRect(nIndex).center());
}

}  // namespace

class TabViewTest : public QObject {
    Q_OBJECT
private slots:
    void laterPagesWaitHiddenAndDisabledUntilTheirTabIsChosen();
    void labelsAreCutByBytesAtCharacterBoundaries();
    void pagesFillTheAreaBesideTheStrip();
    void hidingThePaneLetsGoOfTheFramesActiveView();
    void notebookWindowsLeftPaneHoldsTheTreeWithTabsBelow();
};

void TabViewTest::laterPagesWaitHiddenAndDisabledUntilTheirTabIsChosen() {
    CFakeFrame frame;
    CTabView& tabs = *frame.m_pTabs;
    CPageEdit* a = AddEdit(tabs, "First");
    CPageEdit* b = AddEdit(tabs, "Second");
    CPageEdit* c = AddEdit(tabs, "Third");
    QVERIFY(a && b && c);
    QVERIFY(!tabs.AddView("Nothing", [](QWidget*) { return static_cast<QWidget*>(nullptr); }));
    QCOMPARE(tabs.GetPageCount(), 3);
    QCOMPARE(tabs.TabBar()->count(), 3);
    QCOMPARE(tabs.TabBar()->tabToolTip(2), QStringLiteral("Third"));
    QCOMPARE(tabs.ActivePage(), -1);
    QVERIFY(!tabs.GetPage(-1));
    QVERIFY(!tabs.GetPage(3));
    QCOMPARE(tabs.GetPage(2), c);

    frame.resize(400, 300);
    frame.show();
    frame.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&frame));
    tabs.SetActivePage(0);
    QTRY_VERIFY(a->hasFocus());
    QVERIFY(a->isVisible() && a->isEnabled());
    QVERIFY(!c->isVisible() && !c->isEnabled());
    QVERIFY(!b->isVisible() && !b->isEnabled());

    ClickTab(tabs, 2);
    QCOMPARE(tabs.ActivePage(), 2);
    QCOMPARE(tabs.ActiveView(), c);
    QCOMPARE(tabs.TabBar()->currentIndex(), 2);
    QVERIFY(c->isVisible() && c->isEnabled());
    QTRY_VERIFY(c->hasFocus());
    QVERIFY(!a->isVisible() && !a->isEnabled());

    // Chosen in code, the tab follows.
    tabs.SetActivePage(1);
    QCOMPARE(tabs.TabBar()->currentIndex(), 1);
    QVERIFY(b->isVisible() && !c->isVisible() && !c->isEnabled());
    // An index without a page changes nothing.
    tabs.SetActivePage(7);
    QCOMPARE(tabs.ActivePage(), 1);
    QVERIFY(b->isVisible());
}

void TabViewTest::labelsAreCutByBytesAtCharacterBoundaries() {
    QCOMPARE(CutToBytes("Categories", 9), std::string("Categorie"));
    QCOMPARE(CutToBytes("Contents", 9), std::string("Contents"));
    // Three-byte characters: nine bytes hold three of them exactly; a cut
    // that would split one leaves it out.
    const std::string three = "目录目录";
    QCOMPARE(CutToBytes(three, 9), std::string("目录目"));
    QCOMPARE(CutToBytes("ab目录目", 9), std::string("ab目录"));
    QCOMPARE(CutToBytes("ab目录目", 9).size(), size_t(8));
    QCOMPARE(CutToBytes("é", 1), std::string());

    CTabView tabs;
    const std::string longLabel(40, 'x');
    QVERIFY(AddEdit(tabs, longLabel));
    QCOMPARE(tabs.PageLabel(0), std::string(CTabView::kMaxLabel, 'x'));
    QVERIFY(AddEdit(tabs, std::string(30, 'y') + "目"));
    QCOMPARE(tabs.PageLabel(1), std::string(30, 'y'));
    QCOMPARE(tabs.TabBar()->tabText(1), QString(30, QLatin1Char('y')));
}

void TabViewTest::pagesFillTheAreaBesideTheStrip() {
    CTabView tabs;
    CPageEdit* a = AddEdit(tabs, "One");
    tabs.resize(300, 200);
    // The strip's side: left, top, right, bottom.
    const std::pair<CTabView::TabSide, int> cases[] = {
        {CTabView::kTop, 1}, {CTabView::kLeft, 0}, {CTabView::kBottom, 3}, {CTabView::kRight, 2}};
    for (const auto& [side, nStrip] : cases) {
        tabs.SetTabSide(side);
        const QRect rc = tabs.rect();
        const QRect area = a->geometry();
        QCOMPARE(area, tabs.DisplayRect());
        const int gaps[] = {area.left() - rc.left(), area.top() - rc.top(), rc.right() - area.right(),
                            rc.bottom() - area.bottom()};
        for (int i = 0; i < 4; ++i) {
            if (i == nStrip) QVERIFY2(gaps[i] >= CTabView::kStripSize, qPrintable(QString::number(gaps[i])));
            else QCOMPARE(gaps[i], CTabView::kBorder);
        }
        // The strip and the page do not overlap.
        QVERIFY(!tabs.TabBar()->geometry().intersects(area));
    }
    // Too small for any page: an empty area, not a negative one.
    tabs.resize(10, 10);
    QVERIFY(tabs.DisplayRect().isEmpty());
    QVERIFY(a->geometry().width() >= 0 && a->geometry().height() >= 0);
}

void TabViewTest::hidingThePaneLetsGoOfTheFramesActiveView() {
    CFakeFrame frame;
    CTabView& tabs = *frame.m_pTabs;
    CPageEdit* a = AddEdit(tabs, "First");
    CPageEdit* b = AddEdit(tabs, "Second");
    frame.show();
    tabs.SetActivePage(0);

    // The frame hiding (or minimised) is not the pane hiding.
    frame.SetActiveView(a);
    frame.hide();
    QCOMPARE(frame.ActiveView(), static_cast<CCmdTarget*>(a));
    frame.show();

    // A view elsewhere stays active.
    CCmdTarget other;
    frame.SetActiveView(&other);
    tabs.hide();
    QCOMPARE(frame.ActiveView(), &other);
    tabs.show();

    // Any page counts, shown or not.
    frame.SetActiveView(b);
    tabs.hide();
    QCOMPARE(frame.ActiveView(), static_cast<CCmdTarget*>(nullptr));
}

void TabViewTest::notebookWindowsLeftPaneHoldsTheTreeWithTabsBelow() {
    for (const QLocale& locale : {QLocale(QLocale::English, QLocale::UnitedStates), QLocale(QLocale::Chinese, QLocale::China)}) {
        CGuiTestFixture fx;
        const QString path = fx.CopySample(QStringLiteral("Getting Started.vlt"));
        auto app = fx.MakeApp(locale);
        QVERIFY(app->InitInstance({QStringLiteral("clipvault"), path}));
        QTRY_COMPARE(int(app->MainFrame()->ChildFrames().size()), 1);
        CChildFrame* child = app->MainFrame()->ChildFrames().front();
        CTabView* tabs = child->TabView();
        QVERIFY(tabs);
        QCOMPARE(tabs->Side(), CTabView::kBottom);
        // Contents, Search, and the notebook's highlights.
        QCOMPARE(tabs->GetPageCount(), 3);
        QCOMPARE(tabs->GetPage(0), static_cast<QWidget*>(child->TreeView()));
        // The search form waits on the second page, hidden and disabled.
        auto* form = qobject_cast<CQueryForm*>(tabs->GetPage(1));
        QVERIFY(form);
        QVERIFY(!form->isVisible());
        QVERIFY(!form->isEnabled());
        const std::string searchLabel = CutToBytes(FromQ(app->LoadString(33016)), CChildFrame::kTabLabelBytes);
        QVERIFY(!searchLabel.empty());
        QCOMPARE(tabs->PageLabel(1), searchLabel);
        QCOMPARE(tabs->TabBar()->tabText(1), ToQ(searchLabel));
        // The newer tab is named in full: its name is longer than the
        // two older tabs' byte limit.
        QCOMPARE(tabs->PageLabel(2), FromQ(app->LoadString(ids::IDS_TAB_HIGHLIGHTS)));
        QCOMPARE(tabs->ActivePage(), 0);
        const std::string label = CutToBytes(FromQ(app->LoadString(33015)), CChildFrame::kTabLabelBytes);
        QVERIFY(!label.empty());
        QCOMPARE(tabs->PageLabel(0), label);
        QCOMPARE(tabs->TabBar()->tabText(0), ToQ(label));
        QCOMPARE(child->ActiveView(), static_cast<CCmdTarget*>(child->TreeView()));
        QVERIFY(child->TreeView()->isEnabled());
        child->Document().SetModifiedFlag(false);
        app->ExitInstance();
    }
}

CLIPVAULT_GUI_TEST_MAIN(TabViewTest)
#include "TabViewTest.moc"
