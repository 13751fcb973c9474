#include "frame/HighlightButton.h"

#include "capture/gui/HighlightCommentDlg.h"
#include "capture/gui/PageHighlighter.h"
#include "platform/CommandIds.h"
#include "platform/StringIds.h"
#include "platform/gui/CommandActions.h"
#include "platform/gui/LanguageModule.h"

#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

namespace {

// A marker's nib over a stroke of the colour.
QIcon MarkerIcon(const QString& strColor) {
    QPixmap pix(16, 16);
    pix.fill(Qt::transparent);
    QPainter p(&pix);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(QRect(1, 11, 14, 4), CHighlightCommentDlg::Swatch(strColor));
    p.setPen(QPen(QColor(0x40, 0x40, 0x40), 1));
    p.setBrush(QColor(0x90, 0x90, 0x90));
    const QPointF nib[] = {{5, 10}, {12, 2}, {14, 4}, {7, 11}};
    p.drawPolygon(nib, 4);
    p.setBrush(CHighlightCommentDlg::Swatch(strColor));
    const QPointF tip[] = {{5, 10}, {7, 11}, {4, 12}};
    p.drawPolygon(tip, 3);
    return QIcon(pix);
}

}  // namespace

QToolButton* AddHighlightButton(CCommandActions& actions, QToolBar* pBar) {
    auto* pButton = new QToolButton(pBar);
    pButton->setObjectName(QStringLiteral("highlightButton"));
    QAction* pMain = actions.Action(cmd::kCmdHighlight);
    pButton->setDefaultAction(pMain);
    pButton->setPopupMode(QToolButton::MenuButtonPopup);
    const QString name = CurrentLanguage().String(ids::IDS_HL_BUTTON);
    pButton->setAccessibleName(name);
    auto* pMenu = new QMenu(pButton);
    pMenu->setAccessibleName(name);
    for (unsigned nID = cmd::kCmdHighlightYellow; nID <= cmd::kCmdHighlightPink; ++nID) {
        QAction* pAction = actions.Action(nID);
        pAction->setIcon(CHighlightCommentDlg::SwatchIcon(
            CHighlightCommentDlg::Colors().at(static_cast<int>(nID - cmd::kCmdHighlightYellow))));
        pMenu->addAction(pAction);
    }
    pMenu->addSeparator();
    pMenu->addAction(actions.Action(cmd::kCmdHighlightComment));
    pMenu->addAction(actions.Action(cmd::kCmdRemoveHighlight));
    QObject::connect(pMenu, &QMenu::aboutToShow, pMenu, [&actions, pMenu] { actions.Update(pMenu->actions()); });
    pButton->setMenu(pMenu);
    // The button wears the colour a click gives, wherever it was chosen.
    auto* pTimer = new QTimer(pButton);
    auto paint = [pMain, color = QString()]() mutable {
        if (color == CPageHighlighter::LastColor()) return;
        color = CPageHighlighter::LastColor();
        pMain->setIcon(MarkerIcon(color));
    };
    paint();
    QObject::connect(pTimer, &QTimer::timeout, pButton, paint);
    pTimer->start(500);
    pBar->addWidget(pButton);
    return pButton;
}
