#include "views/WindowTabs.h"

#include "platform/gui/CmdTarget.h"
#include "platform/gui/LanguageModule.h"

#include <QChildEvent>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QTimer>
#include <QTimerEvent>
#include <QVBoxLayout>
#include <qdrawutil.h>

namespace {

// The accessible name of the strip.
constexpr unsigned kIdsWindowTabs = 34140;

// The MDI area and the tabs together. While the tabs show, a sunken frame
// runs around both in the margin band.
class CWindowTabsPane : public QWidget {
public:
    CWindowTabsPane(CWindowTabs& tabs, QWidget* pParent) : QWidget(pParent), m_tabs(tabs) {
        setObjectName(QStringLiteral("WindowTabsPane"));
    }

protected:
    void paintEvent(QPaintEvent*) override {
        if (m_tabs.isHidden()) return;
        QPainter p(this);
        qDrawShadeRect(&p, rect(), palette(), true, 1, 0);
    }

private:
    CWindowTabs& m_tabs;
};

QString TabText(const QString& strTitle) {
    // A title is shown as it stands, never as a mnemonic.
    QString text = strTitle;
    text.replace(QLatin1Char('&'), QStringLiteral("&&"));
    return text;
}

QImage IconImage(const QIcon& icon, const QSize& size) {
    return icon.pixmap(size).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

}  // namespace

CWindowTabs::CWindowTabs(QWidget* pParent) : QTabBar(pParent) {
    setObjectName(QStringLiteral("WindowTabs"));
    setShape(QTabBar::RoundedSouth);
    setFocusPolicy(Qt::NoFocus);
    setExpanding(false);
    setElideMode(Qt::ElideNone);
    setUsesScrollButtons(true);
    setDrawBase(true);
    setAcceptDrops(true);
    const int nIcon = style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, this);
    setIconSize(QSize(nIcon, nIcon));
    QString name = CurrentLanguage().String(kIdsWindowTabs);
    setAccessibleName(name.isEmpty() ? QStringLiteral("Notebook windows") : name);
    connect(this, &QTabBar::currentChanged, this, &CWindowTabs::OnCurrentChanged);
    m_nTimer = startTimer(kRefreshMs);
}

CWindowTabs::~CWindowTabs() {
    if (m_nTimer) killTimer(m_nTimer);
    m_nTimer = 0;
    Detach();
}

void CWindowTabs::Detach() {
    if (!m_pMdi) return;
    m_pMdi->removeEventFilter(this);
    if (m_pMdi->viewport()) m_pMdi->viewport()->removeEventFilter(this);
    m_pMdi->disconnect(this);
    m_pMdi = nullptr;
}

QWidget* CWindowTabs::Attach(QMdiArea* pMdi, TitleSource fnTitle) {
    m_fnTitle = std::move(fnTitle);
    m_pMdi = pMdi;
    auto* pane = new CWindowTabsPane(*this, pMdi->parentWidget());
    m_pPane = pane;
    m_pLayout = new QVBoxLayout(pane);
    m_pLayout->setSpacing(0);
    m_pLayout->addWidget(pMdi, 1);
    m_pLayout->addWidget(this, 0);
    connect(pMdi, &QMdiArea::subWindowActivated, this, &CWindowTabs::OnSubWindowActivated);
    // The area shows and hides the tabs with itself; its viewport is where
    // the windows come and go.
    pMdi->installEventFilter(this);
    pMdi->viewport()->installEventFilter(this);
    UpdatePane();
    Refresh();
    return pane;
}

QMdiArea* CWindowTabs::MdiArea() const { return m_pMdi.data(); }

void CWindowTabs::Show() {
    m_bWanted = true;
    UpdatePane();
    Nudge();
}

void CWindowTabs::Hide() {
    m_bWanted = false;
    UpdatePane();
}

void CWindowTabs::UpdatePane() {
    const bool bShow = m_bWanted && m_pMdi && !m_pMdi->isHidden();
    if (bShow == isHidden()) setVisible(bShow);
    // Without the tabs the area takes the whole pane.
    if (m_pLayout) {
        const int m = bShow ? kMargin : 0;
        m_pLayout->setContentsMargins(m, m, m, m);
    }
    if (m_pPane) m_pPane->update();
}

QMdiSubWindow* CWindowTabs::TabWindow(int nIndex) const {
    if (nIndex < 0 || nIndex >= static_cast<int>(m_tabs.size())) return nullptr;
    return m_tabs[static_cast<size_t>(nIndex)].m_pWnd.data();
}

int CWindowTabs::FindTab(const QMdiSubWindow* pWindow) const {
    if (!pWindow) return -1;
    // A window that went and another one made where it was are not the
    // same window: the class has to match as well.
    const QByteArray cls = pWindow->metaObject()->className();
    for (size_t i = 0; i < m_tabs.size(); ++i)
        if (m_tabs[i].m_pWnd == pWindow && m_tabs[i].m_strClass == cls) return static_cast<int>(i);
    return -1;
}

int CWindowTabs::TabImage(int nIndex) const {
    if (nIndex < 0 || nIndex >= count()) return -1;
    const QIcon icon = tabIcon(nIndex);
    if (icon.isNull()) return -1;
    for (size_t i = 0; i < m_icons.size(); ++i)
        if (m_icons[i].cacheKey() == icon.cacheKey()) return static_cast<int>(i);
    return -1;
}

QString CWindowTabs::WindowTitle(QMdiSubWindow* pWindow) const {
    QString title = m_fnTitle ? m_fnTitle(pWindow) : QString();
    if (title.isEmpty()) {
        title = pWindow->windowTitle();
        title.replace(QStringLiteral("[*]"), pWindow->isWindowModified() ? QStringLiteral("*") : QString());
    }
    return title;
}

int CWindowTabs::IconIndex(const QIcon& icon) {
    if (icon.isNull()) return -1;
    for (size_t i = 0; i < m_icons.size(); ++i)
        if (m_icons[i].cacheKey() == icon.cacheKey()) return static_cast<int>(i);
    // The same picture loaded twice is still one picture.
    const QImage image = IconImage(icon, iconSize());
    for (size_t i = 0; i < m_iconImages.size(); ++i)
        if (m_iconImages[i] == image) return static_cast<int>(i);
    m_icons.push_back(icon);
    m_iconImages.push_back(image);
    return static_cast<int>(m_icons.size()) - 1;
}

void CWindowTabs::AddTab(QMdiSubWindow* pWindow) {
    CTabRecord rec;
    rec.m_strTitle = WindowTitle(pWindow);
    rec.m_strClass = pWindow->metaObject()->className();
    rec.m_pWnd = pWindow;
    const int nImage = IconIndex(pWindow->windowIcon());
    m_bSelecting = true;
    const int n = nImage >= 0 ? addTab(m_icons[static_cast<size_t>(nImage)], TabText(rec.m_strTitle))
                              : addTab(TabText(rec.m_strTitle));
    m_bSelecting = false;
    m_tabs.insert(m_tabs.begin() + n, rec);
}

void CWindowTabs::RemoveTabAt(int nIndex) {
    if (nIndex < 0 || nIndex >= static_cast<int>(m_tabs.size())) return;
    m_tabs.erase(m_tabs.begin() + nIndex);
    m_bSelecting = true;
    removeTab(nIndex);
    m_bSelecting = false;
}

void CWindowTabs::SetTabTitle(int nIndex, const QString& strTitle) {
    m_tabs[static_cast<size_t>(nIndex)].m_strTitle = strTitle;
    setTabText(nIndex, TabText(strTitle));
}

void CWindowTabs::SelectQuietly(int nIndex) {
    if (nIndex < 0 || nIndex == currentIndex()) return;
    m_bSelecting = true;
    setCurrentIndex(nIndex);
    m_bSelecting = false;
}

void CWindowTabs::Refresh() {
    if (!m_pMdi) return;
    // Windows that went, or that another area took, leave their tabs.
    for (int i = static_cast<int>(m_tabs.size()) - 1; i >= 0; --i) {
        const CTabRecord& rec = m_tabs[static_cast<size_t>(i)];
        if (!rec.m_pWnd || rec.m_pWnd->mdiArea() != m_pMdi) RemoveTabAt(i);
    }
    QMdiSubWindow* pActive = m_pMdi->currentSubWindow();
    int nActiveTab = -1;
    // From the top of the stack down, as the windows lie on each other.
    const QList<QMdiSubWindow*> windows = m_pMdi->subWindowList(QMdiArea::StackingOrder);
    for (auto it = windows.crbegin(); it != windows.crend(); ++it) {
        QMdiSubWindow* w = *it;
        const int n = FindTab(w);
        const bool bShown = !w->isHidden();
        if (n >= 0 && bShown) {
            const QString title = WindowTitle(w);
            if (title != m_tabs[static_cast<size_t>(n)].m_strTitle) SetTabTitle(n, title);
            // A window's picture changes with its state (a notebook's lock).
            const int nImage = IconIndex(w->windowIcon());
            if (nImage != TabImage(n)) setTabIcon(n, nImage >= 0 ? m_icons[static_cast<size_t>(nImage)] : QIcon());
            if (w == pActive) nActiveTab = n;
        } else if (n >= 0) {
            RemoveTabAt(n);
        } else if (bShown) {
            AddTab(w);
            if (w == pActive) nActiveTab = count() - 1;
        }
    }
    if (nActiveTab >= 0) SelectQuietly(nActiveTab);
}

void CWindowTabs::Nudge() {
    if (m_bNudged) return;
    m_bNudged = true;
    QTimer::singleShot(0, this, [this] {
        m_bNudged = false;
        RefreshReported();
    });
}

void CWindowTabs::timerEvent(QTimerEvent* e) {
    if (e->timerId() == m_nTimer) RefreshReported();
    else QTabBar::timerEvent(e);
}

void CWindowTabs::RefreshReported() {
    // A refresh that fails says so once, not twice a second until it
    // works again.
    bool bFailed = true;
    try {
        Refresh();
        bFailed = false;
    } catch (...) {
        if (!m_bFailing) {
            m_bFailing = true;
            ReportHandlerFailure();
        }
    }
    if (!bFailed) m_bFailing = false;
}

void CWindowTabs::OnCurrentChanged(int nIndex) {
    // Only the user's choice of a tab moves the windows.
    if (m_bSelecting) return;
    RunGuarded([&] { ActivateTabWindow(nIndex); });
}

void CWindowTabs::ActivateTabWindow(int nIndex) {
    QMdiSubWindow* w = TabWindow(nIndex);
    if (w && m_pMdi && w->mdiArea() == m_pMdi) m_pMdi->setActiveSubWindow(w);
}

void CWindowTabs::OnSubWindowActivated(QMdiSubWindow* pWindow) {
    RunGuarded([&] { SelectQuietly(FindTab(pWindow)); });
    Nudge();
}

void CWindowTabs::mouseDoubleClickEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton || tabAt(e->position().toPoint()) < 0) {
        QTabBar::mouseDoubleClickEvent(e);
        return;
    }
    // The first click has made the tab's window the active one.
    RunGuarded([&] {
        QMdiSubWindow* w = TabWindow(currentIndex());
        if (!w || !m_pMdi) return;
        if (w == m_pMdi->currentSubWindow() && w->isMaximized()) w->showNormal();
        else w->showMaximized();
    });
    e->accept();
}

void CWindowTabs::dragEnterEvent(QDragEnterEvent* e) {
    // Anything dragged over a tab brings its window forward, so that it can
    // be dropped there; the tabs themselves take nothing.
    e->accept();
    RunGuarded([&] { ActivateTabWindow(tabAt(e->position().toPoint())); });
}

void CWindowTabs::dragMoveEvent(QDragMoveEvent* e) {
    RunGuarded([&] { ActivateTabWindow(tabAt(e->position().toPoint())); });
    e->ignore();
}

void CWindowTabs::dropEvent(QDropEvent* e) { e->ignore(); }

bool CWindowTabs::eventFilter(QObject* pWatched, QEvent* e) {
    if (m_pMdi && pWatched == m_pMdi && (e->type() == QEvent::Show || e->type() == QEvent::Hide)) {
        UpdatePane();
    } else if (m_pMdi && pWatched == m_pMdi->viewport()) {
        if (e->type() == QEvent::ChildAdded) {
            Nudge();
        } else if (e->type() == QEvent::ChildRemoved) {
            // The window is going: its tab goes now, the rest follows.
            for (int i = static_cast<int>(m_tabs.size()) - 1; i >= 0; --i)
                if (m_tabs[static_cast<size_t>(i)].m_pWnd.data() == static_cast<QChildEvent*>(e)->child() ||
                    !m_tabs[static_cast<size_t>(i)].m_pWnd)
                    RemoveTabAt(i);
            Nudge();
        }
    }
    return QTabBar::eventFilter(pWatched, e);
}
