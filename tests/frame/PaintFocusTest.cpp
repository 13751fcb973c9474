// Where the keys go and what the screen shows once something over the main
// window goes away, on a real display with a window manager.
#include "support/GuiTestSupport.h"

#include "app/StartDlg.h"
#include "frame/ChildFrame.h"
#include "frame/MainFrame.h"
#include "frame/NoteCataView.h"

#include <QApplication>
#include <QDialog>
#include <QImage>
#include <QScreen>
#include <QSplitterHandle>
#include <QTest>
#include <QTimer>

class PaintFocusTest : public QObject {
    Q_OBJECT
private slots:
    void keysAndPaintAfterDialogsAndPopups();
};

void PaintFocusTest::keysAndPaintAfterDialogsAndPopups() {
    CGuiTestFixture fx;
    fx.m_bTipOfTheDay = true;
    auto app = fx.MakeApp();
    CClipVaultApp* pApp = app.get();
    // The first start's dialog opens the first sample; the tip is sent away.
    app->m_fnStartDialog = [pApp] {
        CStartDlg dlg(*pApp, pApp->MainFrame());
        QTimer::singleShot(200, &dlg, [&dlg] { QTest::keyClick(&dlg, Qt::Key_Return); });
        dlg.exec();
    };
    QTimer closeTip;
    connect(&closeTip, &QTimer::timeout, [] {
        QWidget* tip = QApplication::activeModalWidget();
        if (tip && tip->objectName() == QLatin1String("105") && tip->isActiveWindow()) QTest::keyClick(tip, Qt::Key_Escape);
    });
    closeTip.start(100);
    QVERIFY(app->InitInstance({QStringLiteral("clipvault")}));
    closeTip.stop();
    CMainFrame* frame = app->MainFrame();
    CChildFrame* child = frame->ActiveChildFrame();
    QVERIFY(child);
    QTRY_VERIFY(frame->isActiveWindow());
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(child->TreeView()));

    // The bar between the panes, which nothing else paints again, under a
    // dialog and then under a popup as a menu is. (Docking off: a docked
    // window slides away when the dialog takes the keys.)
    frame->SetAutoHideDocking(false);
    auto coverLeft = [](const QRect& rc) {
        const QImage shot = QGuiApplication::primaryScreen()->grabWindow(0, rc.x(), rc.y(), rc.width(), rc.height()).toImage();
        int n = 0;
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x) n += shot.pixelColor(x, y) == QColor(Qt::magenta);
        return n;
    };
    QWidget* bar = child->findChild<QSplitterHandle*>();
    QVERIFY(bar);
    QDialog dlg(frame, Qt::Dialog | Qt::FramelessWindowHint);
    QWidget popup(frame, Qt::Popup);
    for (QWidget* cover : {static_cast<QWidget*>(&dlg), &popup}) {
        QTRY_VERIFY(frame->isActiveWindow());
        cover->setPalette(QPalette(Qt::magenta));
        cover->setAutoFillBackground(true);
        cover->setGeometry(QRect(bar->mapToGlobal(QPoint(-40, 100)), QSize(80 + bar->width(), 200)));
        cover->show();
        QTRY_VERIFY(coverLeft(cover->geometry()) > 0);
        cover->hide();
        QTRY_COMPARE(coverLeft(cover->geometry()), 0);
    }
}

CLIPVAULT_GUI_TEST_MAIN(PaintFocusTest)
#include "PaintFocusTest.moc"
