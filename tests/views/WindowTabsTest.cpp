// The tabs under the notebook windows in the real main frame: one tab per
// shown window with its title and picture, following the windows as they
// change, come and go; clicks, double-clicks and drags on a tab; the pane
// that holds the MDI area and the tabs.
#include "support/GuiTestSupport.h"

#include "document/ClipVaultDoc.h"
#include "frame/ChildFrame.h"
#include "frame/MainFrame.h"
#include "views/WindowTabs.h"

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMimeData>
#include <QTest>

class WindowTabsTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void oneTabPerNotebookWithItsTitleAndPicture();
    void tabsFollowTitlesHidingAndClosing();
    void clickAndDragOverActivateTheTabsWindow();
    void doubleClickMaximizesOrRestores();
    void paneKeepsTheMarginAndHidesTheTabsOnRequest();

private:
    CChildFrame* Frame(const QString& strTitle) const;
    QPoint TabCentre(int nIndex) const { return m_pTabs->tabRect(nIndex).center(); }
    // As the window system delivers it: press, release, press, release.
    void DoubleClickTab(int nIndex) const {
        QWidget* top = m_pTabs->window();
        QTest::mouseDClick(top->windowHandle(), Qt::LeftButton, {}, m_pTabs->mapTo(top, TabCentre(nIndex)));
    }

    std::unique_ptr<CGuiTestFixture> m_pFx;
    std::unique_ptr<CClipVaultApp> m_pApp;
    CMainFrame* m_pFrame = nullptr;
    CWindowTabs* m_pTabs = nullptr;
};

void WindowTabsTest::init() {
    m_pFx = std::make_unique<CGuiTestFixture>();
    const QString a = m_pFx->CopySample(QStringLiteral("Getting Started.vlt"));
    const QString b = m_pFx->CopySample(QStringLiteral("Recipes and Travel.vlt"));
    m_pApp = m_pFx->MakeApp();
    QVERIFY(m_pApp->InitInstance({QStringLiteral("clipvault"), a}));
    m_pFrame = m_pApp->MainFrame();
    m_pTabs = m_pFrame->WindowTabs();
    QVERIFY(m_pTabs);
    QTRY_COMPARE(m_pTabs->count(), 1);
    QVERIFY(m_pApp->OpenDocumentFile(b));
    QTRY_COMPARE(m_pTabs->count(), 2);
}

void WindowTabsTest::cleanup() {
    if (m_pFrame)
        for (CChildFrame* c : m_pFrame->ChildFrames()) c->Document().SetModifiedFlag(false);
    m_pTabs = nullptr;
    m_pFrame = nullptr;
    m_pApp.reset();
    m_pFx.reset();
}

CChildFrame* WindowTabsTest::Frame(const QString& strTitle) const {
    for (CChildFrame* c : m_pFrame->ChildFrames())
        if (c->windowTitle() == strTitle) return c;
    return nullptr;
}

void WindowTabsTest::oneTabPerNotebookWithItsTitleAndPicture() {
    CChildFrame* a = Frame(QStringLiteral("Getting Started"));
    CChildFrame* b = Frame(QStringLiteral("Recipes and Travel"));
    QVERIFY(a && b);
    QCOMPARE(m_pTabs->tabText(m_pTabs->FindTab(a)), QStringLiteral("Getting Started"));
    QCOMPARE(m_pTabs->tabText(m_pTabs->FindTab(b)), QStringLiteral("Recipes and Travel"));
    QCOMPARE(m_pTabs->TabWindow(m_pTabs->FindTab(a)), a);
    // Both windows show the program's picture: it is in the list once.
    QCOMPARE(m_pTabs->IconCount(), 1);
    QCOMPARE(m_pTabs->TabImage(0), 0);
    QCOMPARE(m_pTabs->TabImage(1), 0);
    QVERIFY(!m_pTabs->tabIcon(0).isNull());
    // The window opened last is the active one, and its tab is selected.
    QCOMPARE(m_pFrame->MdiArea()->currentSubWindow(), b);
    QCOMPARE(m_pTabs->currentIndex(), m_pTabs->FindTab(b));
    QCOMPARE(m_pTabs->shape(), QTabBar::RoundedSouth);
    QVERIFY(!m_pTabs->accessibleName().isEmpty());
    // Activating a window from elsewhere (the Window menu) selects its tab.
    m_pFrame->MdiArea()->setActiveSubWindow(a);
    QTRY_COMPARE(m_pTabs->currentIndex(), m_pTabs->FindTab(a));
}

void WindowTabsTest::tabsFollowTitlesHidingAndClosing() {
    CChildFrame* a = Frame(QStringLiteral("Getting Started"));
    QVERIFY(a);
    const int n = m_pTabs->FindTab(a);
    // The notebook's title changes; the timer brings it to the tab.
    a->Document().SetModifiedFlag(true);
    QTRY_COMPARE(m_pTabs->tabText(n), QStringLiteral("Getting Started *"));

    // A window that is not a notebook's shows its own title, ampersands and
    // all, and gets a picture of its own in the list.
    auto* plain = new QMdiSubWindow;
    plain->setWidget(new QWidget);
    plain->setWindowTitle(QStringLiteral("Notes & Clips"));
    QPixmap red(16, 16);
    red.fill(Qt::red);
    plain->setWindowIcon(QIcon(red));
    m_pFrame->MdiArea()->addSubWindow(plain);
    plain->show();
    QTRY_COMPARE(m_pTabs->count(), 3);
    const int p = m_pTabs->FindTab(plain);
    QCOMPARE(p, 2);
    QCOMPARE(m_pTabs->tabText(p), QStringLiteral("Notes && Clips"));
    QCOMPARE(m_pTabs->IconCount(), 2);
    QCOMPARE(m_pTabs->TabImage(p), 1);
    plain->setWindowTitle(QStringLiteral("Renamed"));
    QTRY_COMPARE(m_pTabs->tabText(p), QStringLiteral("Renamed"));
    // Hidden, it loses its tab; shown again, it gets one at the end.
    plain->hide();
    QTRY_COMPARE(m_pTabs->count(), 2);
    QCOMPARE(m_pTabs->FindTab(plain), -1);
    plain->show();
    QTRY_COMPARE(m_pTabs->FindTab(plain), 2);
    // Gone for good: the tab goes with it, at once.
    delete plain;
    QCOMPARE(m_pTabs->count(), 2);

    // A notebook window that closes takes its tab along; the other stays.
    a->Document().SetModifiedFlag(false);
    QVERIFY(a->close());
    QTRY_COMPARE(m_pTabs->count(), 1);
    QCOMPARE(m_pTabs->tabText(0), QStringLiteral("Recipes and Travel"));
    QCOMPARE(m_pTabs->currentIndex(), 0);
    QVERIFY(m_pFx->m_messages.empty());
}

void WindowTabsTest::clickAndDragOverActivateTheTabsWindow() {
    CChildFrame* a = Frame(QStringLiteral("Getting Started"));
    CChildFrame* b = Frame(QStringLiteral("Recipes and Travel"));
    QMdiArea* mdi = m_pFrame->MdiArea();
    QCOMPARE(mdi->currentSubWindow(), b);
    QTest::mouseClick(m_pTabs, Qt::LeftButton, {}, TabCentre(m_pTabs->FindTab(a)));
    QCOMPARE(mdi->currentSubWindow(), a);
    QCOMPARE(m_pTabs->currentIndex(), m_pTabs->FindTab(a));

    // Anything dragged over a tab brings that window forward; nothing is
    // dropped on the tabs themselves.
    QMimeData mime;
    mime.setText(QStringLiteral("dragged"));
    const QPoint pos = TabCentre(m_pTabs->FindTab(b));
    QDragEnterEvent enter(pos, Qt::CopyAction | Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(m_pTabs, &enter);
    QCOMPARE(mdi->currentSubWindow(), b);
    QDragMoveEvent move(TabCentre(m_pTabs->FindTab(a)), Qt::CopyAction | Qt::MoveAction, &mime, Qt::LeftButton,
                        Qt::NoModifier);
    QApplication::sendEvent(m_pTabs, &move);
    QCOMPARE(mdi->currentSubWindow(), a);
    QVERIFY(!move.isAccepted());
    QCOMPARE(m_pTabs->currentIndex(), m_pTabs->FindTab(a));
}

void WindowTabsTest::doubleClickMaximizesOrRestores() {
    CChildFrame* a = Frame(QStringLiteral("Getting Started"));
    CChildFrame* b = Frame(QStringLiteral("Recipes and Travel"));
    QMdiArea* mdi = m_pFrame->MdiArea();
    // Notebook windows open maximized: the active one's tab restores it.
    QCOMPARE(mdi->currentSubWindow(), b);
    QVERIFY(b->isMaximized());
    DoubleClickTab(m_pTabs->FindTab(b));
    QVERIFY(!b->isMaximized());
    QCOMPARE(mdi->currentSubWindow(), b);
    // Another window's tab: that window comes forward maximized.
    a->showNormal();
    QVERIFY(!a->isMaximized());
    DoubleClickTab(m_pTabs->FindTab(a));
    QCOMPARE(mdi->currentSubWindow(), a);
    QVERIFY(a->isMaximized());
    // And again: restored.
    DoubleClickTab(m_pTabs->FindTab(a));
    QVERIFY(!a->isMaximized());
    // The active window, not maximized: its tab maximizes it.
    DoubleClickTab(m_pTabs->FindTab(a));
    QVERIFY(a->isMaximized());
}

void WindowTabsTest::paneKeepsTheMarginAndHidesTheTabsOnRequest() {
    QWidget* pane = m_pTabs->Pane();
    QMdiArea* mdi = m_pFrame->MdiArea();
    QCOMPARE(m_pFrame->centralWidget(), pane);
    QCOMPARE(mdi->parentWidget(), pane);
    const int m = CWindowTabs::kMargin;
    QTRY_VERIFY(m_pTabs->isVisible());
    // The windows above, the tabs below, both inside the margin.
    QCOMPARE(mdi->geometry().topLeft(), QPoint(m, m));
    QCOMPARE(mdi->geometry().width(), pane->width() - 2 * m);
    QCOMPARE(m_pTabs->geometry().top(), mdi->geometry().bottom() + 1);
    QCOMPARE(m_pTabs->geometry().bottom(), pane->height() - m - 1);

    // Full-screen mode hides the tabs: the area takes the whole pane.
    m_pTabs->Hide();
    QTRY_COMPARE(mdi->geometry(), pane->rect());
    QVERIFY(!m_pTabs->isVisible());
    // While hidden the tabs still follow the windows.
    CChildFrame* a = Frame(QStringLiteral("Getting Started"));
    a->Document().SetModifiedFlag(true);
    QTRY_COMPARE(m_pTabs->tabText(m_pTabs->FindTab(a)), QStringLiteral("Getting Started *"));
    m_pTabs->Show();
    QTRY_VERIFY(m_pTabs->isVisible());
    QTRY_COMPARE(mdi->geometry().topLeft(), QPoint(m, m));

    // The tabs hide and show with the area itself.
    mdi->hide();
    QVERIFY(!m_pTabs->isVisible());
    mdi->show();
    QVERIFY(m_pTabs->isVisible());
}

CLIPVAULT_GUI_TEST_MAIN(WindowTabsTest)
#include "WindowTabsTest.moc"
