// What the window looks like and where the keys go once something over the
// main window goes away, on a real display with a window manager: the
// start dialog, the tip, a dialog, a menu.
#include "support/GuiTestSupport.h"

#include "app/StartDlg.h"
#include "frame/ChildFrame.h"
#include "frame/MainFrame.h"
#include "frame/NoteCataView.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDialog>
#include <QGuiApplication>
#include <QImage>
#include <QSplitterHandle>
#include <QPixmap>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <algorithm>

namespace {

const QColor kCover(255, 0, 255);

// How many pixels of the screen within `rc` still show the cover's colour.
int CoverPixelsLeft(const QRect& rc) {
    const QImage shot = QGuiApplication::primaryScreen()->grabWindow(0, rc.x(), rc.y(), rc.width(), rc.height()).toImage();
    int n = 0;
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x)
            if (shot.pixelColor(x, y) == kCover) ++n;
    return n;
}

// Shows `pCover`, in the cover's colour, over the middle of `pUnder`, and
// hides it again once the window system has put it up.
void ShowAndHideOver(QWidget* pCover, QWidget* pUnder) {
    QPalette pal = pCover->palette();
    pal.setColor(QPalette::Window, kCover);
    pal.setColor(QPalette::Base, kCover);
    pCover->setPalette(pal);
    pCover->setAutoFillBackground(true);
    const QRect under(pUnder->mapToGlobal(QPoint(0, 0)), pUnder->size());
    const QSize size(std::max(under.width() / 2, 40), under.height() / 2);
    pCover->setGeometry(QRect(under.center() - QPoint(size.width() / 2, size.height() / 2), size));
    pCover->show();
    QVERIFY(QTest::qWaitForWindowExposed(pCover));
    QTRY_VERIFY(CoverPixelsLeft(pCover->geometry()) > 0);
    pCover->hide();
}

}  // namespace

class PaintFocusTest : public QObject {
    Q_OBJECT
private slots:
    void startDialogAndTipLeaveTheKeysInTheTree();
    void whatADialogOrMenuCoveredIsPaintedAgain();
};

void PaintFocusTest::startDialogAndTipLeaveTheKeysInTheTree() {
    CGuiTestFixture fx;
    fx.m_bTipOfTheDay = true;
    auto app = fx.MakeApp();
    CClipVaultApp* pApp = app.get();
    app->m_fnStartDialog = [pApp] {
        CStartDlg dlg(*pApp, pApp->MainFrame());
        QTimer::singleShot(200, &dlg, [&dlg] {
            dlg.SetMode(CStartDlg::kModeSample);
            dlg.SelectRow(0);
            QTest::keyClick(&dlg, Qt::Key_Return);
        });
        dlg.exec();
    };
    // The tip goes as the user sends it away, once it is up.
    QTimer closeTip;
    connect(&closeTip, &QTimer::timeout, this, [] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal && modal->objectName() == QLatin1String("105") && modal->isActiveWindow())
            QTest::keyClick(modal, Qt::Key_Escape);
    });
    closeTip.start(100);
    QVERIFY(app->InitInstance({QStringLiteral("clipvault")}));
    closeTip.stop();
    CMainFrame* frame = app->MainFrame();
    CChildFrame* child = frame->ActiveChildFrame();
    QVERIFY(child);
    QTRY_VERIFY(frame->isActiveWindow());
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(child->TreeView()));

    // A dialog the user opened from the list gives them back there.
    QWidget* had = nullptr;
    for (QAbstractItemView* v : child->findChildren<QAbstractItemView*>())
        if (v != child->TreeView() && v->isVisible() && v->focusPolicy() != Qt::NoFocus) had = v;
    QVERIFY(had);
    had->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), had);
    QDialog dlg(frame);
    QTimer::singleShot(300, &dlg, &QDialog::accept);
    dlg.exec();
    QTRY_VERIFY(frame->isActiveWindow());
    QCOMPARE(QApplication::focusWidget(), had);
}

void PaintFocusTest::whatADialogOrMenuCoveredIsPaintedAgain() {
    CGuiTestFixture fx;
    auto app = fx.StartApp();
    QVERIFY(app);
    CMainFrame* frame = app->MainFrame();
    // Kept in place: a docked window slides away when the cover takes the keys.
    frame->SetAutoHideDocking(false);
    QVERIFY(app->OpenDocumentFile(fx.CopySample(QStringLiteral("Getting Started.vlt"))));
    CChildFrame* child = frame->ActiveChildFrame();
    QVERIFY(child);
    QVERIFY(QTest::qWaitForWindowExposed(frame));
    // The window has held a web view (the notebook window's first right
    // pane), which changes how Qt shows it. Covered: the bar between the
    // panes, which nothing else paints again; by a dialog, then by a popup
    // as a menu is.
    QWidget* bar = child->findChild<QSplitterHandle*>();
    QVERIFY(bar);
    QDialog dlg(frame, Qt::Dialog | Qt::FramelessWindowHint);
    ShowAndHideOver(&dlg, bar);
    QTRY_COMPARE(CoverPixelsLeft(dlg.geometry()), 0);
    // Once the window has the keys back, which would close the popup.
    QTRY_VERIFY(frame->isActiveWindow());
    QWidget popup(frame, Qt::Popup);
    ShowAndHideOver(&popup, bar);
    QTRY_COMPARE(CoverPixelsLeft(popup.geometry()), 0);
}

CLIPVAULT_GUI_TEST_MAIN(PaintFocusTest)
#include "PaintFocusTest.moc"
