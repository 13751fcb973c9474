#include "platform/gui/CommandActions.h"

#include "app/LanguageModule.h"

#include <QAction>
#include <QJsonObject>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <QWidget>

CCommandActions::CCommandActions(QWidget* pOwner, const CLanguageModule& lang, Router router)
    : QObject(pOwner), m_pOwner(pOwner), m_lang(lang), m_router(std::move(router)) {}

void CCommandActions::AddAccelerators(unsigned nTableID) {
    for (const CAccelerator& a : m_lang.Accelerators(nTableID)) {
        QList<QKeySequence>& keys = m_keys[a.m_nID];
        if (!keys.contains(a.m_key)) keys.append(a.m_key);
        if (QAction* p = m_actions.value(a.m_nID)) p->setShortcuts(keys);
    }
}

QAction* CCommandActions::Action(unsigned nID) {
    if (QAction* p = m_actions.value(nID)) return p;
    auto* p = new QAction(m_pOwner);
    p->setData(nID);
    const QString tip = m_lang.StringPart(nID, 1);
    p->setText(tip.isEmpty() ? QStringLiteral("#%1").arg(nID) : tip);
    p->setStatusTip(m_lang.StringPart(nID, 0));
    if (!tip.isEmpty()) p->setToolTip(tip);
    for (unsigned tbID : m_imageToolbars) {
        const CToolbarResource tb = m_lang.Toolbar(tbID);
        int nImage = 0;
        bool found = false;
        for (unsigned item : tb.m_items) {
            if (!item) continue;
            if (item == nID) {
                found = true;
                break;
            }
            ++nImage;
        }
        if (found) {
            const QPixmap image = tb.Image(nImage);
            if (!image.isNull()) {
                p->setIcon(QIcon(image));
                break;
            }
        }
    }
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

void CCommandActions::Execute(unsigned nID) {
    // A key may fire for an action whose state is stale; ask first.
    CCmdUI ui(nID);
    ui.m_bEnabled = false;
    if (!m_router(nID, &ui) || !ui.m_bEnabled) return;
    m_router(nID, nullptr);
}

void CCommandActions::Update(const QList<QAction*>& actions) {
    for (QAction* p : actions) {
        const unsigned nID = IdOf(p);
        if (!nID || p->isSeparator() || p->menu()) continue;
        CCmdUI ui(nID);
        ui.m_bEnabled = false;
        if (!m_router(nID, &ui)) ui.m_bEnabled = false;
        p->setEnabled(ui.m_bEnabled);
        if (ui.m_nCheck >= 0) {
            p->setCheckable(true);
            p->setChecked(ui.m_nCheck != 0);
        }
        if (ui.m_bTextSet) p->setText(ui.m_strText);
    }
}

void CCommandActions::UpdateAll() { Update(QList<QAction*>(m_actions.begin(), m_actions.end())); }

void CCommandActions::WatchMenu(QMenu* pMenu) {
    connect(pMenu, &QMenu::aboutToShow, this, [this, pMenu] { Update(pMenu->actions()); });
}

void CCommandActions::FillPopup(QMenu* pMenu, const QJsonObject& popup) {
    FillMenu(pMenu, popup.value(QStringLiteral("items")).toArray());
    if (popup.value(QStringLiteral("windowList")).toBool() && m_fnWindowList) {
        // The open windows follow the module's items and are listed afresh
        // each time the popup opens.
        const QList<QAction*> fixed = pMenu->actions();
        connect(pMenu, &QMenu::aboutToShow, this, [this, pMenu, fixed] {
            for (QAction* a : pMenu->actions())
                if (!fixed.contains(a)) {
                    pMenu->removeAction(a);
                    if (a->parent() == pMenu) a->deleteLater();
                }
            m_fnWindowList(pMenu);
        });
    }
    WatchMenu(pMenu);
}

void CCommandActions::FillMenu(QMenu* pMenu, const QJsonArray& items) {
    for (const QJsonValue& v : items) {
        const QJsonObject o = v.toObject();
        if (o.value(QStringLiteral("separator")).toBool()) {
            pMenu->addSeparator();
            continue;
        }
        const QString text = o.value(QStringLiteral("text")).toString();
        if (o.contains(QStringLiteral("items"))) {
            FillPopup(pMenu->addMenu(text), o);
            continue;
        }
        const unsigned nID = static_cast<unsigned>(o.value(QStringLiteral("id")).toInt());
        if (!nID) continue;
        if (nID == kRecentFilePlaceholder) {
            // The recent files go where the placeholder stands; they are
            // rebuilt each time the menu opens.
            QAction* marker = pMenu->addSeparator();
            marker->setVisible(false);
            // With no recent notebooks the item stands there greyed, so the
            // menu does not look as if something were missing.
            QAction* empty = pMenu->addAction(text);
            empty->setEnabled(false);
            empty->setProperty("recentFile", true);
            connect(pMenu, &QMenu::aboutToShow, this, [this, pMenu, marker, text] {
                const QList<QAction*> all = pMenu->actions();
                const qsizetype at = all.indexOf(marker);
                for (qsizetype i = at + 1; i < all.size() && all[i]->property("recentFile").toBool(); ++i) {
                    pMenu->removeAction(all[i]);
                    all[i]->deleteLater();
                }
                QMenu scratch;
                if (m_fnRecentFiles) m_fnRecentFiles(&scratch);
                if (scratch.actions().isEmpty()) {
                    QAction* empty = scratch.addAction(text);
                    empty->setEnabled(false);
                }
                QAction* before = at + 1 < pMenu->actions().size() ? pMenu->actions().value(at + 1) : nullptr;
                for (QAction* a : scratch.actions()) {
                    scratch.removeAction(a);
                    a->setParent(pMenu);
                    a->setProperty("recentFile", true);
                    pMenu->insertAction(before, a);
                }
            });
            continue;
        }
        QAction* p = Action(nID);
        if (!text.isEmpty()) p->setText(text);
        pMenu->addAction(p);
    }
}

void CCommandActions::FillMenuBar(QMenuBar* pBar, unsigned nMenuID) {
    // The popups of the previous menu go with it; the shared actions stay.
    for (QAction* a : pBar->actions())
        if (QMenu* m = a->menu()) m->deleteLater();
    pBar->clear();
    for (const QJsonValue& v : m_lang.Menu(nMenuID)) {
        const QJsonObject o = v.toObject();
        FillPopup(pBar->addMenu(o.value(QStringLiteral("text")).toString()), o);
    }
}

QMenu* CCommandActions::BuildPopup(unsigned nMenuID, int nIndex, QWidget* pParent) {
    const QJsonArray popups = m_lang.Menu(nMenuID);
    if (nIndex < 0 || nIndex >= popups.size()) return nullptr;
    const QJsonObject o = popups.at(nIndex).toObject();
    auto* menu = new QMenu(o.value(QStringLiteral("text")).toString(), pParent);
    FillPopup(menu, o);
    return menu;
}

QToolBar* CCommandActions::BuildToolBar(unsigned nToolbarID, QWidget* pParent) {
    const CToolbarResource tb = m_lang.Toolbar(nToolbarID);
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
