// A pane made of a strip of tabs whose pages are other views: one page is
// shown and enabled at a time, the others wait hidden and disabled.
#pragma once

#include <QIcon>
#include <QList>
#include <QPointer>
#include <QRect>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

class QTabBar;

// The longest prefix of `str` (text in the process code page) of at most
// `nBytes` bytes that does not end inside a character.
std::string CutToBytes(const std::string& str, size_t nBytes);

class CTabView : public QWidget {
    Q_OBJECT
public:
    // Where the strip runs. Left and right are the vertical styles.
    enum TabSide { kTop, kLeft, kBottom, kRight };
    // Room the strip takes from the client area on its side, and the gap
    // on the other three.
    static constexpr int kStripSize = 26;
    static constexpr int kBorder = 3;
    // A page keeps at most this many bytes of its label.
    static constexpr size_t kMaxLabel = 31;

    // Makes a page's view as a child of the pane; null when it cannot.
    using ViewFactory = std::function<QWidget*(QWidget* pParent)>;

    explicit CTabView(QWidget* pParent = nullptr);
    ~CTabView() override;

    // Makes a view with `fnMake`, adds it as the last page with a tab
    // labelled `strLabel` (and a tool tip of the same text) and places it.
    // Every page but the first starts disabled and hidden. False, and no
    // page, when the view cannot be made.
    bool AddView(const std::string& strLabel, const ViewFactory& fnMake);
    // Hides and disables the shown page, then shows, enables and focuses
    // page `nIndex` and selects its tab.
    void SetActivePage(int nIndex);
    // The page's view; null for -1 or any index without a page.
    QWidget* GetPage(int nIndex) const;
    int GetPageCount() const { return static_cast<int>(m_pages.size()); }
    // -1 until a page was made active.
    int ActivePage() const { return m_nActivePage; }
    QWidget* ActiveView() const { return m_pActiveView; }
    // The label a page keeps (the given one, cut to kMaxLabel bytes).
    std::string PageLabel(int nIndex) const;

    void SetTabSide(TabSide side);
    TabSide Side() const { return m_side; }
    // Pictures for the tabs: tab n shows picture n, when there is one.
    void SetImages(const QList<QIcon>& images);

    QTabBar* TabBar() const { return m_pTabs; }
    // Where the pages go inside the pane.
    QRect DisplayRect() const;

protected:
    void resizeEvent(QResizeEvent* e) override;
    void hideEvent(QHideEvent* e) override;

private:
    struct CPage {
        QPointer<QWidget> m_pView;
        std::string m_strLabel;
    };
    void OnSelChange(int nIndex);
    void PlacePages();
    // The strip's own thickness: the fixed room, or what the tabs need
    // when the font makes them taller.
    int StripSize() const;

    QTabBar* m_pTabs;
    std::vector<CPage> m_pages;
    int m_nActivePage = -1;
    QPointer<QWidget> m_pActiveView;
    TabSide m_side = kTop;
    QList<QIcon> m_images;
};
