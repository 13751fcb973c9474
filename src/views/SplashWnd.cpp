#include "views/SplashWnd.h"

#include "platform/gui/LanguageModule.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QThread>
#include <QWindow>

QPointer<CSplashWnd> CSplashWnd::s_pSplash;

CSplashWnd* CSplashWnd::ShowSplashScreen(QWidget* pMainWnd) {
    if (s_pSplash) return s_pSplash;
    const QPixmap bitmap = CurrentLanguage().Bitmap(kBitmapId);
    if (bitmap.isNull()) return nullptr;
    s_pSplash = new CSplashWnd(pMainWnd, bitmap);
    return s_pSplash;
}

CSplashWnd* CSplashWnd::Current() { return s_pSplash; }

void CSplashWnd::CloseSplash() {
    if (s_pSplash) s_pSplash->Close();
}

CSplashWnd::CSplashWnd(QWidget* pMainWnd, const QPixmap& bitmap)
    // Owned by the main window; kept on top, as window managers stack a
    // splash screen below a main window that maps after it.
    : QWidget(pMainWnd, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      m_bitmap(bitmap) {
    setObjectName(QStringLiteral("SplashWnd"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    // The keyboard stays with the window that is coming up under it.
    setAttribute(Qt::WA_ShowWithoutActivating);
    const QString name = CurrentLanguage().StringPart(233, 0);
    setAccessibleName(name.isEmpty() ? QStringLiteral("Clipvault") : name);
    const QSize size = m_bitmap.deviceIndependentSize().toSize();
    setFixedSize(size);
    QScreen* screen = pMainWnd && pMainWnd->screen() ? pMainWnd->screen() : QGuiApplication::primaryScreen();
    const QRect desk = screen ? screen->availableGeometry() : QRect(QPoint(0, 0), size);
    setGeometry(QRect(QPoint(desk.x() + (desk.width() - size.width()) / 2, desk.y() + (desk.height() - size.height()) / 2),
                      size));
    qApp->installEventFilter(this);
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &CSplashWnd::Close);
    m_timer.start(kCloseAfterMs);
    show();
    // Start-up goes on for a while without running the event loop: the
    // picture is put on the screen now, or it would show only once start-up
    // is over. The user's input waits, and then closes it.
    if (QWindow* window = windowHandle()) {
        QElapsedTimer waited;
        waited.start();
        while (!window->isExposed() && waited.elapsed() < kExposeWaitMs) {
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
            QThread::msleep(5);
        }
    }
    repaint();
}

CSplashWnd::~CSplashWnd() {
    if (qApp) qApp->removeEventFilter(this);
    if (s_pSplash == this) s_pSplash = nullptr;
}

void CSplashWnd::Close() {
    if (m_bClosed) return;
    m_bClosed = true;
    m_timer.stop();
    qApp->removeEventFilter(this);
    if (s_pSplash == this) s_pSplash = nullptr;
    // What lay under the picture is painted when the window system says it
    // is uncovered: painting it here, with the picture still on the screen,
    // would draw only around it.
    hide();
    // The event that closed it may still be on its way through this
    // object's filter.
    deleteLater();
}

void CSplashWnd::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawPixmap(0, 0, m_bitmap);
}

bool CSplashWnd::eventFilter(QObject* pWatched, QEvent* e) {
    if (m_bClosed) return QWidget::eventFilter(pWatched, e);
    switch (e->type()) {
    case QEvent::ShortcutOverride:
        // Taken as a key press, so that no shortcut fires before the key
        // reaches this filter as one.
        e->accept();
        return true;
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::NonClientAreaMouseButtonPress:
    case QEvent::NonClientAreaMouseButtonDblClick:
        Close();
        return true;
    default:
        return QWidget::eventFilter(pWatched, e);
    }
}
