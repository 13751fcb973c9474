// The start-up picture: a borderless window of exactly the size of bitmap
// 103, centred on the desktop. The first key or mouse button pressed
// anywhere in the program closes it (and goes no further), so does its own
// timer, and start-up closes it once its minimum time is over.
#pragma once

#include <QPixmap>
#include <QPointer>
#include <QTimer>
#include <QWidget>

class CSplashWnd : public QWidget {
    Q_OBJECT
public:
    static constexpr unsigned kBitmapId = 103;
    // How long the picture stays at most when nobody closes it; longer than
    // start-up keeps it, so that start-up decides in the normal case.
    static constexpr int kCloseAfterMs = 3000;
    // How long showing it waits at most for the window system to put it up.
    static constexpr int kExposeWaitMs = 1000;

    // Shows the picture over `pMainWnd` unless one is up already; the one
    // that is up. Null when the language module has no picture 103.
    static CSplashWnd* ShowSplashScreen(QWidget* pMainWnd);
    // The one that is up; null when none is.
    static CSplashWnd* Current();
    static bool IsUp() { return Current() != nullptr; }
    // Closes the one that is up, if any.
    static void CloseSplash();

    ~CSplashWnd() override;

protected:
    void paintEvent(QPaintEvent* e) override;
    bool eventFilter(QObject* pWatched, QEvent* e) override;

private:
    CSplashWnd(QWidget* pMainWnd, const QPixmap& bitmap);
    void Close();

    static QPointer<CSplashWnd> s_pSplash;

    QPixmap m_bitmap;
    QTimer m_timer;
    bool m_bClosed = false;
};
