#include "views/ColorMenu.h"

#include "platform/gui/CoolMenu.h"
#include "platform/gui/LanguageModule.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QMenu>
#include <QPainter>
#include <QPalette>
#include <QPixmap>

namespace {

constexpr unsigned kFirstCaption = 32888;

constexpr uint32_t kStandard[CColorMenu::kColors] = {
    0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0x808080,
    0xC0C0C0, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF,
};

QIcon Swatch(const QColor& color) {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setPen(QColor(0x80, 0x80, 0x80));
    painter.setBrush(color);
    painter.drawRect(1, 1, 13, 13);
    return QIcon(pixmap);
}

}  // namespace

std::function<unsigned(QMenu&, const QPoint&)> CColorMenu::s_fnTrack = [](QMenu& menu, const QPoint& pt) -> unsigned {
    QAction* chosen = menu.exec(pt);
    return chosen ? chosen->data().toUInt() : 0;
};

QColor CColorMenu::ColorAt(int nIndex) {
    if (nIndex >= 0 && nIndex < kColors) return QColor::fromRgb(kStandard[nIndex]);
    return QApplication::palette().color(QPalette::Active, QPalette::WindowText);
}

uint32_t CColorMenu::ColorRef(const QColor& color) {
    return static_cast<uint32_t>(color.red()) | static_cast<uint32_t>(color.green()) << 8 |
           static_cast<uint32_t>(color.blue()) << 16;
}

QColor CColorMenu::FromColorRef(uint32_t nRef) {
    return QColor(static_cast<int>(nRef & 0xFF), static_cast<int>((nRef >> 8) & 0xFF),
                  static_cast<int>((nRef >> 16) & 0xFF));
}

void CColorMenu::Fill(QMenu* pMenu) const {
    auto* group = new QActionGroup(pMenu);
    for (int i = 0; i < kItems; ++i) {
        const unsigned id = m_nBase + static_cast<unsigned>(i);
        QString caption = CurrentLanguage().String(kFirstCaption + static_cast<unsigned>(i));
        if (caption.isEmpty()) caption = ColorAt(i).name(QColor::HexRgb).toUpper();
        QAction* action = pMenu->addAction(Swatch(ColorAt(i)), caption);
        action->setData(id);
        CCoolMenuStyle::SetSwatch(action, ColorAt(i));
        action->setCheckable(true);
        action->setChecked(id == m_nSelectedID);
        group->addAction(action);
        // The automatic colour stands apart from the sixteen.
        if (i == kColors - 1) pMenu->addSeparator();
    }
}

unsigned CColorMenu::Track(QWidget* pParent, const QPoint& ptGlobal) const {
    QMenu menu(pParent);
    menu.setStyle(CCoolMenuStyle::Instance());
    Fill(&menu);
    return s_fnTrack(menu, ptGlobal);
}
