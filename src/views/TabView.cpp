#include "views/TabView.h"

#include "platform/gui/CmdTarget.h"
#include "platform/gui/NoteFrame.h"
#include "platform/gui/QtText.h"

#include <QApplication>
#include <QHideEvent>
#include <QResizeEvent>
#include <QSignalBlocker>
#include <QTabBar>

std::string CutToBytes(const std::string& str, size_t nBytes) {
    if (str.size() <= nBytes) return str;
    size_t n = nBytes;
    // Step back over continuation bytes to the start of the character the
    // cut would split; that character goes whole.
    while (n > 0 && (static_cast<unsigned char>(str[n]) & 0xC0) == 0x80) --n;
    return str.substr(0, n);
}

CTabView::CTabView(QWidget* pParent) : QWidget(pParent), m_pTabs(new QTabBar(this)) {
    // The tabs do not wrap into rows in Qt; scroll buttons stand in for
    // the extra rows when the labels do not fit.
    m_pTabs->setUsesScrollButtons(true);
    m_pTabs->setExpanding(false);
    m_pTabs->setDrawBase(true);
    m_pTabs->setFont(QApplication::font("QMenu"));
    connect(m_pTabs, &QTabBar::currentChanged, this, &CTabView::OnSelChange);
}

CTabView::~CTabView() {
    // The pages go with the pane; nothing may reach it while they do.
    disconnect(m_pTabs, nullptr, this, nullptr);
}

bool CTabView::AddView(const std::string& strLabel, const ViewFactory& fnMake) {
    QWidget* pView = fnMake ? fnMake(this) : nullptr;
    if (!pView) return false;
    if (pView->parentWidget() != this) pView->setParent(this);
    const bool bFirst = m_pages.empty();
    CPage page;
    page.m_pView = pView;
    page.m_strLabel = CutToBytes(strLabel, kMaxLabel);
    m_pages.push_back(page);
    const QString label = ToQ(page.m_strLabel);
    const int nTab = static_cast<int>(m_pages.size()) - 1;
    {
        // Adding a tab is not the user choosing one.
        QSignalBlocker block(m_pTabs);
        m_pTabs->insertTab(nTab, label);
        m_pTabs->setTabToolTip(nTab, label);
        if (nTab < m_images.size()) m_pTabs->setTabIcon(nTab, m_images[nTab]);
    }
    QStringList names;
    for (const CPage& p : m_pages) names << ToQ(p.m_strLabel);
    m_pTabs->setAccessibleName(names.join(QStringLiteral(", ")));
    // The first tab may make the strip taller than the fixed room.
    PlacePages();
    if (bFirst) {
        pView->setEnabled(true);
        pView->show();
    } else {
        pView->setEnabled(false);
        pView->hide();
    }
    return true;
}

void CTabView::SetActivePage(int nIndex) {
    if (nIndex == m_nActivePage) return;
    if (nIndex < 0 || nIndex >= GetPageCount()) return;
    if (QWidget* pOld = GetPage(m_nActivePage)) {
        pOld->setEnabled(false);
        pOld->hide();
    }
    QWidget* pNew = GetPage(nIndex);
    if (pNew) {
        pNew->setEnabled(true);
        pNew->setGeometry(DisplayRect());
        pNew->show();
        pNew->setFocus();
    }
    m_nActivePage = nIndex;
    m_pActiveView = pNew;
    QSignalBlocker block(m_pTabs);
    m_pTabs->setCurrentIndex(nIndex);
}

QWidget* CTabView::GetPage(int nIndex) const {
    if (nIndex < 0 || nIndex >= GetPageCount()) return nullptr;
    return m_pages[static_cast<size_t>(nIndex)].m_pView;
}

std::string CTabView::PageLabel(int nIndex) const {
    if (nIndex < 0 || nIndex >= GetPageCount()) return std::string();
    return m_pages[static_cast<size_t>(nIndex)].m_strLabel;
}

void CTabView::SetTabSide(TabSide side) {
    m_side = side;
    static const QTabBar::Shape kShapes[] = {QTabBar::RoundedNorth, QTabBar::RoundedWest, QTabBar::RoundedSouth,
                                             QTabBar::RoundedEast};
    m_pTabs->setShape(kShapes[side]);
    PlacePages();
}

void CTabView::SetImages(const QList<QIcon>& images) {
    m_images = images;
    for (int i = 0; i < m_pTabs->count(); ++i) m_pTabs->setTabIcon(i, i < images.size() ? images[i] : QIcon());
}

int CTabView::StripSize() const {
    const QSize hint = m_pTabs->sizeHint();
    const int need = (m_side == kLeft || m_side == kRight ? hint.width() : hint.height()) + kBorder;
    return m_pTabs->count() > 0 ? std::max(kStripSize, need) : kStripSize;
}

QRect CTabView::DisplayRect() const {
    const QRect rc = rect();
    const int strip = StripSize();
    int l = rc.left() + kBorder, t = rc.top() + kBorder;
    int r = rc.right() - kBorder, b = rc.bottom() - kBorder;
    switch (m_side) {
    case kTop: t = rc.top() + strip; break;
    case kLeft: l = rc.left() + strip; break;
    case kBottom: b = rc.bottom() - strip; break;
    case kRight: r = rc.right() - strip; break;
    }
    if (r < l || b < t) return QRect(l, t, 0, 0);
    return QRect(QPoint(l, t), QPoint(r, b));
}

void CTabView::PlacePages() {
    const QRect rc = rect();
    const int strip = StripSize();
    switch (m_side) {
    case kTop: m_pTabs->setGeometry(0, 0, rc.width(), strip - kBorder); break;
    case kLeft: m_pTabs->setGeometry(0, 0, strip - kBorder, rc.height()); break;
    case kBottom: m_pTabs->setGeometry(0, rc.height() - strip + kBorder, rc.width(), strip - kBorder); break;
    case kRight: m_pTabs->setGeometry(rc.width() - strip + kBorder, 0, strip - kBorder, rc.height()); break;
    }
    const QRect area = DisplayRect();
    for (const CPage& p : m_pages)
        if (p.m_pView) p.m_pView->setGeometry(area);
}

void CTabView::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    PlacePages();
}

void CTabView::hideEvent(QHideEvent* e) {
    QWidget::hideEvent(e);
    // Only the pane itself being hidden counts: a window that hides (or is
    // minimised) with the pane in it keeps its active view.
    if (!isHidden()) return;
    INoteFrame* pFrame = nullptr;
    for (QWidget* w = parentWidget(); w && !pFrame; w = w->parentWidget()) pFrame = dynamic_cast<INoteFrame*>(w);
    if (!pFrame || !pFrame->ActiveView()) return;
    for (const CPage& p : m_pages) {
        if (p.m_pView && dynamic_cast<CCmdTarget*>(p.m_pView.data()) == pFrame->ActiveView()) {
            pFrame->SetActiveView(nullptr);
            return;
        }
    }
}

void CTabView::OnSelChange(int nIndex) {
    SetActivePage(nIndex);
    m_pTabs->update();
    if (QWidget* p = GetPage(nIndex)) p->update();
}
