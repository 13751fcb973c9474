#include "platform/gui/CommandActions.h"

#include "platform/gui/CoolMenu.h"
#include "platform/gui/LanguageModule.h"
#include "platform/CommandIds.h"

#include <QAction>
#include <QActionGroup>
#include <QComboBox>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QStyle>
#include <QStyleOptionToolButton>
#include <QToolBar>
#include <QToolButton>
#include <QWidget>
#include <QWidgetAction>

namespace {

// A toolbar button with an arrow part. The arrow is drawn and sized as for
// a button with a menu, but pressing it calls the handler, which tracks a
// popup of its own making; the menu itself stays empty and never opens.
class CDropDownButton : public QToolButton {
public:
    explicit CDropDownButton(QWidget* pParent) : QToolButton(pParent) {
        setMenu(new QMenu(this));
        setPopupMode(QToolButton::MenuButtonPopup);
    }

    std::function<void()> m_fnDropDown;

protected:
    void mousePressEvent(QMouseEvent* e) override {
        if (e->button() == Qt::LeftButton) {
            QStyleOptionToolButton opt;
            initStyleOption(&opt);
            const QRect arrow = style()->subControlRect(QStyle::CC_ToolButton, &opt, QStyle::SC_ToolButtonMenu, this);
            if (arrow.contains(e->position().toPoint())) {
                e->accept();
                if (isEnabled() && m_fnDropDown) m_fnDropDown();
                return;
            }
        }
        QToolButton::mousePressEvent(e);
    }
};

// The first command of a popup's items speaks for the popup's entry.
unsigned FirstCommand(const QJsonObject& popup) {
    const QJsonObject first = popup.value(QStringLiteral("items")).toArray().at(0).toObject();
    if (first.contains(QStringLiteral("items"))) return 0;
    return static_cast<unsigned>(first.value(QStringLiteral("id")).toInt());
}

const char kIndeterminate[] = "indeterminate";

}  // namespace

CCommandActions::CCommandActions(QWidget* pOwner, const CLanguageModule& lang, CCmdTarget& route)
    : QObject(pOwner), m_pOwner(pOwner), m_lang(lang) {
    CCmdTargetPtr target(&route);
    m_route = [target](unsigned nID, CCmdUI* pUI, const CCmdNotify* pNotify) {
        CCmdTarget* p = target.get();
        return p && p->OnCmdMsg(nID, pUI, pNotify);
    };
}

CCommandActions::CCommandActions(QWidget* pOwner, const CLanguageModule& lang, Router router)
    : QObject(pOwner), m_pOwner(pOwner), m_lang(lang) {
    m_route = [router = std::move(router)](unsigned nID, CCmdUI* pUI, const CCmdNotify* pNotify) {
        return !pNotify && router(nID, pUI);
    };
}

CCommandActions::~CCommandActions() = default;

void CCommandActions::SetImageToolbars(const std::vector<unsigned>& ids) {
    m_imageToolbars = ids;
    m_images.clear();
    m_bImagesMapped = false;
}

void CCommandActions::AddAccelerators(unsigned nTableID) {
    for (const CAccelerator& a : m_lang.Accelerators(nTableID)) {
        QList<QKeySequence>& keys = m_keys[a.m_nID];
        if (!keys.contains(a.m_key)) keys.append(a.m_key);
        if (QAction* p = m_actions.value(a.m_nID)) p->setShortcuts(keys);
    }
}

const CToolbarResource& CCommandActions::Toolbar(unsigned nID) {
    std::unique_ptr<CToolbarResource>& tb = m_toolbars[nID];
    if (!tb) tb = std::make_unique<CToolbarResource>(m_lang.Toolbar(nID));
    return *tb;
}

QIcon CCommandActions::Image(unsigned nID) {
    if (m_pMenus) {
        const QIcon icon = m_pMenus->Icon(nID);
        if (!icon.isNull()) return icon;
    }
    if (!m_bImagesMapped) {
        m_bImagesMapped = true;
        for (unsigned tbID : m_imageToolbars) {
            const CToolbarResource& tb = Toolbar(tbID);
            int nImage = 0;
            for (unsigned item : tb.m_items) {
                if (!item) continue;
                if (!m_images.contains(item)) {
                    const QPixmap image = tb.Image(nImage);
                    if (!image.isNull()) m_images.insert(item, QIcon(image));
                }
                ++nImage;
            }
        }
    }
    return m_images.value(nID);
}

QAction* CCommandActions::Action(unsigned nID) {
    if (QAction* p = m_actions.value(nID)) return p;
    auto* p = new QAction(m_pOwner);
    p->setData(nID);
    const QString tip = m_lang.StringPart(nID, 1);
    p->setText(tip.isEmpty() ? QStringLiteral("#%1").arg(nID) : tip);
    p->setStatusTip(m_lang.StringPart(nID, 0));
    if (!tip.isEmpty()) p->setToolTip(tip);
    // A toolbar button is named by its tool tip, whatever the menus make of
    // the action's text.
    p->setIconText(tip.isEmpty() ? p->text() : tip);
    p->setIcon(Image(nID));
    if (m_keys.contains(nID)) {
        p->setShortcuts(m_keys.value(nID));
        // Keys work wherever the focus is inside the window.
        p->setShortcutContext(Qt::WindowShortcut);
        m_pOwner->addAction(p);
    }
    connect(p, &QAction::triggered, this, [this, nID] { Execute(nID); });
    m_actions.insert(nID, p);
    return p;
}

unsigned CCommandActions::IdOf(const QAction* pAction) const {
    return pAction ? pAction->data().toUInt() : 0;
}

CCmdUI CCommandActions::Query(const Route& route, unsigned nID, CCmdUI::Kind kind) {
    CCmdUI ui(nID, kind);
    ui.m_bEnabled = false;
    if (!route(nID, &ui, nullptr)) {
        ui = CCmdUI(nID, kind);
        ui.m_bEnabled = false;
    }
    return ui;
}

void CCommandActions::ExecuteOn(const Route& route, unsigned nID) {
    // A key may fire for an action whose state is stale; ask first.
    CCmdUI ui(nID);
    ui.m_bEnabled = false;
    if (!route(nID, &ui, nullptr) || !ui.m_bEnabled) return;
    route(nID, nullptr, nullptr);
}

void CCommandActions::Execute(unsigned nID) { ExecuteOn(m_route, nID); }

bool CCommandActions::Notify(unsigned nID, const CCmdNotify& notify) { return m_route(nID, nullptr, &notify); }

void CCommandActions::Apply(QAction* p, const CCmdUI& ui) {
    p->setEnabled(ui.m_bEnabled);
    // A mark nobody set goes, so that one target's mark does not stay on
    // for the next.
    if (ui.m_nCheck >= 0) {
        p->setCheckable(true);
        p->setChecked(ui.m_nCheck != 0);
    } else {
        p->setChecked(false);
        p->setCheckable(false);
    }
    if (p->property(kIndeterminate).toBool() != (ui.m_nCheck == 2)) p->setProperty(kIndeterminate, ui.m_nCheck == 2);
    // A menu draws the radio mark for an action of an exclusive group; the
    // group holds this action alone, the handler decides which is on.
    QActionGroup* group = p->actionGroup();
    if (ui.m_bRadio && ui.m_nCheck >= 0) {
        if (!group) {
            group = new QActionGroup(p);
            group->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
            p->setActionGroup(group);
        }
    } else if (group && group->parent() == p) {
        p->setActionGroup(nullptr);
        delete group;
    }
    if (ui.IsMenu() && ui.m_bTextSet) p->setText(ui.m_strText);
}

void CCommandActions::Update(const QList<QAction*>& actions, CCmdUI::Kind kind) {
    for (QAction* p : actions) {
        const unsigned nID = IdOf(p);
        if (!nID || p->isSeparator() || p->menu()) continue;
        Apply(p, Query(m_route, nID, kind));
    }
}

void CCommandActions::UpdateAll() { Update(QList<QAction*>(m_actions.begin(), m_actions.end())); }

void CCommandActions::UpdateToolBar(QToolBar* pBar) {
    QList<QAction*> buttons;
    for (QAction* a : pBar->actions()) {
        if (auto* w = qobject_cast<QWidgetAction*>(a)) {
            // A drop-down button stands for its command; a box is left to
            // the handler of its id.
            if (auto* button = qobject_cast<QToolButton*>(w->defaultWidget()))
                if (button->defaultAction()) buttons << button->defaultAction();
            continue;
        }
        buttons << a;
    }
    Update(buttons, CCmdUI::kindToolbar);
}

void CCommandActions::Clear(QMenu* pMenu) {
    // The shared actions only leave; what was made for this menu goes.
    for (QAction* a : pMenu->actions()) {
        pMenu->removeAction(a);
        if (QMenu* sub = a->menu(); sub && sub->parent() == pMenu) sub->deleteLater();
        else if (a->parent() == pMenu) a->deleteLater();
    }
}

void CCommandActions::WatchPopup(QMenu* pMenu, const QJsonObject& popup, const Route& route, bool bShared) {
    LayOut(pMenu, popup, route, bShared);
    Convert(pMenu);
    connect(pMenu, &QMenu::aboutToShow, this, [this, pMenu, popup, route, bShared] {
        LayOut(pMenu, popup, route, bShared);
        Convert(pMenu);
    });
}

void CCommandActions::Convert(QMenu* pMenu) {
    if (m_pMenus) m_pMenus->ConvertMenu(pMenu, [this](const QAction* a) { return IdOf(a); });
}

void CCommandActions::LayOut(QMenu* pMenu, const QJsonObject& popup, const Route& route, bool bShared) {
    // A default entry (the tray menu's first) stays the default.
    const qsizetype nDefault = pMenu->defaultAction() ? pMenu->actions().indexOf(pMenu->defaultAction()) : -1;
    Clear(pMenu);
    for (const QJsonValue& v : popup.value(QStringLiteral("items")).toArray()) {
        const QJsonObject o = v.toObject();
        if (o.value(QStringLiteral("separator")).toBool()) {
            pMenu->addSeparator();
            continue;
        }
        if (o.contains(QStringLiteral("items"))) {
            AddSubmenu(pMenu, o, route, bShared);
            continue;
        }
        const unsigned nID = static_cast<unsigned>(o.value(QStringLiteral("id")).toInt());
        if (nID) AddEntry(pMenu, nID, o.value(QStringLiteral("text")).toString(), route, bShared, false);
    }
    // The open windows follow the module's items.
    if (popup.value(QStringLiteral("windowList")).toBool()) AddEntry(pMenu, cmd::kCmdFirstWindow, QString(), route, bShared, true);
    if (nDefault >= 0) pMenu->setDefaultAction(pMenu->actions().value(nDefault));
}

void CCommandActions::AddSubmenu(QMenu* pMenu, const QJsonObject& popup, const Route& route, bool bShared) {
    const QString text = popup.value(QStringLiteral("text")).toString();
    auto* sub = new QMenu(text, pMenu);
    WatchPopup(sub, popup, route, bShared);
    QAction* entry = pMenu->addMenu(sub);
    // Only a handler that says so greys a popup's entry.
    if (const unsigned first = FirstCommand(popup)) {
        CCmdUI ui(first);
        ui.m_bPopupEntry = true;
        ui.m_strEntryText = text;
        entry->setEnabled(!route(first, &ui, nullptr) || ui.m_nPopupEnabled != 0);
    }
}

void CCommandActions::AddEntry(QMenu* pMenu, unsigned nID, const QString& strText, const Route& route, bool bShared,
                               bool bOnlyReplaced) {
    CCmdUI ui(nID);
    ui.m_bReplaceable = true;
    ui.m_strEntryText = strText;
    ui.m_bEnabled = false;
    const bool handled = route(nID, &ui, nullptr);
    if (handled && ui.m_fnPopup) {
        auto* sub = new QMenu(ui.m_strPopupCaption, pMenu);
        TakeFilled(sub, ui.m_fnPopup, route);
        Convert(sub);
        connect(sub, &QMenu::aboutToShow, this, [this, sub, route] {
            UpdateItems(sub, route);
            Convert(sub);
        });
        pMenu->addMenu(sub)->setEnabled(ui.m_bEnabled);
        return;
    }
    if (handled && ui.m_fnItems) {
        TakeFilled(pMenu, ui.m_fnItems, route);
        return;
    }
    if (bOnlyReplaced) return;
    if (!handled) {
        ui = CCmdUI(nID);
        ui.m_bEnabled = false;
    }
    QAction* p = nullptr;
    if (bShared) {
        p = Action(nID);
    } else {
        p = new QAction(pMenu);
        p->setData(nID);
        p->setIcon(Image(nID));
        p->setStatusTip(m_lang.StringPart(nID, 0));
        connect(p, &QAction::triggered, this, [this, route, nID] { ExecuteOn(route, nID); });
    }
    if (!strText.isEmpty()) p->setText(strText);
    else if (!bShared) p->setText(m_lang.StringPart(nID, 1));
    pMenu->addAction(p);
    Apply(p, ui);
}

void CCommandActions::TakeFilled(QMenu* pMenu, const CCmdUI::Filler& fnFill, const Route& route) {
    QMenu scratch;
    fnFill(&scratch);
    for (QAction* a : scratch.actions()) {
        scratch.removeAction(a);
        // What the filler made belongs to the menu now; a shared action it
        // put in runs along the route already.
        const bool bMade = a->parent() == &scratch;
        if (bMade) a->setParent(pMenu);
        if (QMenu* sub = a->menu(); sub && sub->parent() == &scratch) sub->setParent(pMenu, sub->windowFlags());
        pMenu->addAction(a);
        const unsigned nID = IdOf(a);
        if (!nID || a->isSeparator() || a->menu()) continue;
        if (bMade) connect(a, &QAction::triggered, this, [this, route, nID] { ExecuteOn(route, nID); });
        Apply(a, Query(route, nID, CCmdUI::kindMenu));
    }
}

void CCommandActions::UpdateItems(QMenu* pMenu, const Route& route) {
    for (QAction* a : pMenu->actions()) {
        const unsigned nID = IdOf(a);
        if (!nID || a->isSeparator() || a->menu()) continue;
        Apply(a, Query(route, nID, CCmdUI::kindMenu));
    }
}

void CCommandActions::FillMenuBar(QMenuBar* pBar, unsigned nMenuID) {
    // The popups of the previous menu go with it; the shared actions stay.
    for (QAction* a : pBar->actions())
        if (QMenu* m = a->menu()) m->deleteLater();
    pBar->clear();
    for (const QJsonValue& v : m_lang.Menu(nMenuID)) {
        const QJsonObject o = v.toObject();
        WatchPopup(pBar->addMenu(o.value(QStringLiteral("text")).toString()), o, m_route, true);
    }
}

QMenu* CCommandActions::BuildPopup(unsigned nMenuID, int nIndex, QWidget* pParent) {
    const QJsonArray popups = m_lang.Menu(nMenuID);
    if (nIndex < 0 || nIndex >= popups.size()) return nullptr;
    const QJsonObject o = popups.at(nIndex).toObject();
    auto* menu = new QMenu(o.value(QStringLiteral("text")).toString(), pParent);
    WatchPopup(menu, o, m_route, true);
    return menu;
}

QMenu* CCommandActions::BuildContextMenu(unsigned nMenuID, int nIndex, CCmdTarget& target, QWidget* pParent) {
    const QJsonArray popups = m_lang.Menu(nMenuID);
    if (nIndex < 0 || nIndex >= popups.size()) return nullptr;
    const QJsonObject o = popups.at(nIndex).toObject();
    auto* menu = new QMenu(o.value(QStringLiteral("text")).toString(), pParent);
    CCmdTargetPtr fixed(&target);
    const Route route = [fixed](unsigned nID, CCmdUI* pUI, const CCmdNotify* pNotify) {
        CCmdTarget* p = fixed.get();
        return p && p->OnCmdMsg(nID, pUI, pNotify);
    };
    WatchPopup(menu, o, route, false);
    return menu;
}

QToolBar* CCommandActions::BuildToolBar(unsigned nToolbarID, QWidget* pParent) {
    const CToolbarResource& tb = Toolbar(nToolbarID);
    if (!tb.IsValid()) return nullptr;
    auto* bar = new QToolBar(pParent);
    bar->setObjectName(QStringLiteral("toolbar%1").arg(nToolbarID));
    bar->setIconSize(QSize(tb.m_nWidth, tb.m_nHeight));
    int nImage = 0;
    for (unsigned nID : tb.m_items) {
        if (!nID) {
            bar->addSeparator();
            continue;
        }
        QAction* p = Action(nID);
        if (p->icon().isNull()) p->setIcon(QIcon(tb.Image(nImage)));
        ++nImage;
        bar->addAction(p);
    }
    return bar;
}

QToolButton* CCommandActions::SetDropDown(QToolBar* pBar, int nIndex) {
    const QList<QAction*> all = pBar->actions();
    if (nIndex < 0 || nIndex >= all.size()) return nullptr;
    QAction* command = all[nIndex];
    const unsigned nID = IdOf(command);
    if (!nID || command->isSeparator() || qobject_cast<QWidgetAction*>(command)) return nullptr;
    auto* button = new CDropDownButton(pBar);
    button->m_fnDropDown = [this, nID, button] {
        // The handler tracks its popup at the button's bottom left.
        CCmdNotify notify;
        notify.m_nCode = CCmdNotify::kDropDown;
        notify.m_rcButton = QRect(button->mapToGlobal(QPoint(0, 0)), button->size());
        Notify(nID, notify);
    };
    button->setDefaultAction(command);
    button->setAutoRaise(true);
    button->setIconSize(pBar->iconSize());
    button->setToolButtonStyle(pBar->toolButtonStyle());
    button->setAccessibleName(command->toolTip());
    pBar->insertWidget(command, button)->setData(nID);
    pBar->removeAction(command);
    return button;
}

void CCommandActions::SetComboBox(unsigned nID, QComboBox* pBox) {
    m_boxes.insert(nID, pBox);
    const QString tip = m_lang.StringPart(nID, 1);
    if (!tip.isEmpty()) {
        pBox->setToolTip(tip);
        pBox->setAccessibleName(tip);
    }
    pBox->setStatusTip(m_lang.StringPart(nID, 0));
    connect(pBox, &QComboBox::activated, this, [this, nID, pBox](int nIndex) {
        CCmdNotify notify;
        notify.m_nCode = CCmdNotify::kSelEndOk;
        notify.m_nIndex = nIndex;
        notify.m_strText = pBox->itemText(nIndex);
        Notify(nID, notify);
    });
}

QComboBox* CCommandActions::ComboBox(unsigned nID) const { return m_boxes.value(nID).data(); }
