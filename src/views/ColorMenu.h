// The colour popup of the editor: sixteen standard colours and the
// automatic one, under consecutive command ids from a base. The text-colour
// menu is made for each use; the page-background menu is one for the whole
// program and remembers the colour last chosen.
#pragma once

#include <QColor>
#include <QPoint>
#include <cstdint>
#include <functional>

class QMenu;
class QWidget;

class CColorMenu {
public:
    static constexpr int kColors = 16;
    static constexpr int kItems = kColors + 1;  // the last is the automatic colour

    explicit CColorMenu(unsigned nBase) : m_nBase(nBase), m_nAutoID(nBase + kColors) {}

    unsigned Base() const { return m_nBase; }
    unsigned AutomaticID() const { return m_nAutoID; }
    bool Holds(unsigned nID) const { return nID >= m_nBase && nID <= m_nAutoID; }

    // Item `nIndex` (0-15 the standard colours, 16 the system's window-text
    // colour).
    static QColor ColorAt(int nIndex);
    // A colour as the engine takes it: 0x00BBGGRR.
    static uint32_t ColorRef(const QColor& color);
    static QColor FromColorRef(uint32_t nRef);
    QColor ColorOf(unsigned nID) const { return ColorAt(static_cast<int>(nID - m_nBase)); }

    // The item shown as chosen; 0 for none.
    unsigned m_nSelectedID = 0;

    // The seventeen items, each with its swatch and its caption (strings
    // 32888 to 32904 whatever the base); an action's data is its id.
    void Fill(QMenu* pMenu) const;
    // Pops the menu up at a point of the screen: the id chosen, 0 when the
    // user chose nothing.
    unsigned Track(QWidget* pParent, const QPoint& ptGlobal) const;

    // How a popup is tracked; tests look at the menu and choose for the
    // user. Answers the chosen action's id, 0 for none.
    static std::function<unsigned(QMenu& menu, const QPoint& ptGlobal)> s_fnTrack;

private:
    unsigned m_nBase;
    unsigned m_nAutoID;
};
