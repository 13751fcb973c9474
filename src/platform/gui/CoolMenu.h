// Menus that show, beside each entry, the toolbar picture of its command
// and, at the right, the command's keys; and the hook chain such helpers
// use to see a window's events without the window knowing.
#pragma once

#include <QColor>
#include <QHash>
#include <QIcon>
#include <QKeySequence>
#include <QPixmap>
#include <QPointer>
#include <QProxyStyle>
#include <QSize>
#include <functional>
#include <vector>

class CLanguageModule;
class QMenu;
class QWidget;
struct CAccelerator;

// Any number of hooks on one window, the latest first in line. Each hook
// sees the window's events in WindowProc and hands them on with Default,
// which goes to the next hook and at the end of the chain to the window
// itself. A hook lives until it is unhooked or its window goes.
class CSubclassWnd {
public:
    CSubclassWnd() = default;
    virtual ~CSubclassWnd();
    CSubclassWnd(const CSubclassWnd&) = delete;
    CSubclassWnd& operator=(const CSubclassWnd&) = delete;

    // With a window: this hook goes to the head of its chain. With null:
    // this hook leaves its window's chain.
    void HookWindow(QWidget* pWnd);
    QWidget* HookedWindow() const { return m_pWnd; }
    bool IsHooked() const { return m_pWnd != nullptr; }

    // True when the event was dealt with and the window must not see it.
    virtual bool WindowProc(QEvent* e);
    bool Default(QEvent* e);

    // The hook that sees the window's events first; null when none.
    static CSubclassWnd* HeadOf(const QWidget* pWnd);

private:
    friend class CHookProc;
    QWidget* m_pWnd = nullptr;
    CSubclassWnd* m_pNext = nullptr;
};

// The keyboard's names for keys, with the keypad's names of the navigation
// keys given back their own: "Num 7" is "Home", "Num 3" "PgDn" ...
QString KeypadName(const QString& strKeyboardName);
// One key as menus show it: "Alt+", "Ctrl+", "Shift+", in that order,
// then the key's name.
QString AcceleratorText(const QKeyCombination& key);

class CCoolMenuManager : public CSubclassWnd {
public:
    explicit CCoolMenuManager(const CLanguageModule& lang);
    ~CCoolMenuManager() override;

    bool m_bShowButtons = true;    // pictures and the drawing of this manager at all
    bool m_bAutoAccelerators = true;  // the keys at the right of each entry
    bool m_bUseDrawState = false;  // a disabled picture as the platform greys icons
    bool m_bDrawDisabledButtonsInColor = false;

    // Watches the frame for colour and style changes.
    void Install(QWidget* pFrame);
    // A toolbar's pictures for the commands on it; the first toolbar that
    // shows a command gives its picture. False when the module has no such
    // toolbar or its pictures are of another size than the first one's.
    bool LoadToolbar(unsigned nToolbarID);
    const std::vector<unsigned>& Toolbars() const { return m_toolbars; }
    // Forgets the pictures and loads every toolbar again, in order.
    void ReloadToolbars();

    // The picture of a command: -1 / a null icon when it has none.
    int ImageIndex(unsigned nID) const { return m_imageOf.value(nID, -1); }
    QIcon Icon(unsigned nID) const;
    QSize ImageSize() const { return m_szImage; }
    QSize ButtonSize() const { return m_szButton; }

    // The accelerator table whose keys the menus show: the frame's
    // current one, asked each time a popup opens.
    std::function<unsigned()> m_fnCurrentAccelerators;
    // A table of one's own instead of the module's (tests).
    void SetAccelerators(const std::vector<CAccelerator>& table);
    // The entry's text with its key part made anew: the text up to its
    // first tab, then a tab and the command's keys, the last of the table
    // first.
    QString MenuText(unsigned nID, const QString& strText);
    // The key part alone: "Ins, Ctrl+N"; empty for a command without keys.
    QString KeysText(unsigned nID);
    // A popup about to open: its look, and its entries' pictures and keys.
    void ConvertMenu(QMenu* pMenu, const std::function<unsigned(const QAction*)>& fnIdOf);

    // The picture greyed as menus show a command that cannot be chosen now.
    QPixmap DisabledImage(const QPixmap& image) const;

protected:
    bool WindowProc(QEvent* e) override;

private:
    void RefreshAccelerators();

    const CLanguageModule& m_lang;
    std::vector<unsigned> m_toolbars;
    std::vector<QPixmap> m_images;
    QHash<unsigned, int> m_imageOf;
    mutable QHash<unsigned, QIcon> m_icons;
    QSize m_szImage;
    QSize m_szButton;
    unsigned m_nAccelTable = 0;
    bool m_bOwnTable = false;
    // Each command's keys in table order.
    QHash<unsigned, QList<QKeyCombination>> m_keysOf;
};

// The look of the converted menus: each entry a button for its picture or
// mark (picture + 4 each way), its text 3 pixels after that, its keys at
// the right; separators half a menu bar high. Colour menus (actions with a
// swatch colour) draw a swatch before the colour's name.
class CCoolMenuStyle : public QProxyStyle {
    Q_OBJECT
public:
    // The one style the program's menus share.
    static CCoolMenuStyle* Instance();

    // An action that stands for a colour: its swatch.
    static void SetSwatch(QAction* pAction, const QColor& color);
    static QColor Swatch(const QAction* pAction);
    // The keys an entry shows at its right. The action's text stays the
    // entry's name alone, which is what screen readers say.
    static void SetKeys(QAction* pAction, const QString& strKeys);
    static QString Keys(const QAction* pAction);

    void SetManager(CCoolMenuManager* pManager) { m_pManager = pManager; }
    CCoolMenuManager* Manager() const { return m_pManager; }
    QSize ButtonSize() const;
    int MenuBarHeight(const QWidget* pWidget) const;

    QSize sizeFromContents(ContentsType type, const QStyleOption* opt, const QSize& size,
                           const QWidget* pWidget) const override;
    void drawControl(ControlElement element, const QStyleOption* opt, QPainter* p,
                     const QWidget* pWidget) const override;
    void drawPrimitive(PrimitiveElement element, const QStyleOption* opt, QPainter* p,
                       const QWidget* pWidget) const override;
    int pixelMetric(PixelMetric metric, const QStyleOption* opt, const QWidget* pWidget) const override;

private:
    CCoolMenuStyle();
    bool IsColorMenu(const QWidget* pWidget) const;
    void DrawColorItem(const QStyleOption* opt, const QAction* pAction, QPainter* p, const QWidget* pWidget) const;

    CCoolMenuManager* m_pManager = nullptr;
};
