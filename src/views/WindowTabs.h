// The strip of tabs under the notebook windows: one tab per window of the
// main frame's MDI area, kept in step with the windows, so that a click on
// a tab brings its notebook forward.
#pragma once

#include <QFrame>
#include <QIcon>
#include <QImage>
#include <QPointer>
#include <QTabBar>
#include <functional>
#include <vector>

class QMdiArea;
class QMdiSubWindow;
class QVBoxLayout;

// The tabs themselves. They follow the windows on a 500 ms timer and at
// once when the MDI area reports an activation or a window coming or going.
class CWindowTabs : public QTabBar {
    Q_OBJECT
public:
    // What the frame knows of a window's title (a notebook's own); empty
    // when it knows nothing, and the window's title is used.
    using TitleSource = std::function<QString(QMdiSubWindow*)>;

    static constexpr int kRefreshMs = 500;
    static constexpr int kMargin = 5;

    explicit CWindowTabs(QWidget* pParent = nullptr);
    ~CWindowTabs() override;

    // Moves `pMdi` into a pane of its own with the tabs below it and starts
    // following its windows. The pane is what the frame shows in the MDI
    // area's place; it belongs to whoever takes it.
    QWidget* Attach(QMdiArea* pMdi, TitleSource fnTitle = TitleSource());
    // Stops following the area; its owner calls it before the area goes,
    // whose last events must not reach the tabs.
    void Detach();
    QWidget* Pane() const { return m_pPane; }
    QMdiArea* MdiArea() const;

    // Full-screen mode hides the tabs, and the MDI area takes their room.
    void Show();
    void Hide();

    // Brings the tabs in step with the windows now.
    void Refresh();

    // ---- what the tabs hold
    QMdiSubWindow* TabWindow(int nIndex) const;
    int FindTab(const QMdiSubWindow* pWindow) const;
    // The index of a tab's picture in the icon list; -1 without one.
    int TabImage(int nIndex) const;
    // Every picture the tabs use, each once.
    int IconCount() const { return static_cast<int>(m_icons.size()); }

protected:
    void timerEvent(QTimerEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dragMoveEvent(QDragMoveEvent* e) override;
    void dropEvent(QDropEvent* e) override;
    bool eventFilter(QObject* pWatched, QEvent* e) override;

private:
    struct CTabRecord {
        QString m_strTitle;
        QByteArray m_strClass;
        QPointer<QMdiSubWindow> m_pWnd;
    };

    QString WindowTitle(QMdiSubWindow* pWindow) const;
    int IconIndex(const QIcon& icon);
    void AddTab(QMdiSubWindow* pWindow);
    void RemoveTabAt(int nIndex);
    void SetTabTitle(int nIndex, const QString& strTitle);
    void SelectQuietly(int nIndex);
    // The timer's refresh, asked for again right after the current event.
    void Nudge();
    void RefreshReported();
    void OnCurrentChanged(int nIndex);
    void OnSubWindowActivated(QMdiSubWindow* pWindow);
    void ActivateTabWindow(int nIndex);
    void UpdatePane();

    std::vector<CTabRecord> m_tabs;
    std::vector<QIcon> m_icons;
    std::vector<QImage> m_iconImages;  // what each icon looks like, to find it again
    QPointer<QMdiArea> m_pMdi;
    QPointer<QWidget> m_pPane;
    QVBoxLayout* m_pLayout = nullptr;
    TitleSource m_fnTitle;
    int m_nTimer = 0;
    bool m_bWanted = true;     // not hidden by full-screen mode
    bool m_bSelecting = false;  // the tabs select, not the user
    bool m_bNudged = false;
    bool m_bFailing = false;   // the last refresh failed and said so
};
