#include "capture/gui/HighlightCommentDlg.h"

#include "capture/PageHighlights.h"
#include "platform/CommandIds.h"
#include "platform/StringIds.h"
#include "platform/gui/QtText.h"
#include "platform/gui/LanguageModule.h"

#include <QComboBox>
#include <algorithm>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QString Text(unsigned nID) { return CurrentLanguage().String(nID); }


QIcon Swatch16(const QColor& colour) {
    QPixmap pix(16, 16);
    pix.fill(Qt::transparent);
    QPainter p(&pix);
    p.setPen(QColor(0x60, 0x60, 0x60));
    p.setBrush(colour);
    p.drawRect(1, 1, 13, 13);
    return QIcon(pix);
}

}  // namespace

const QStringList& CHighlightCommentDlg::Colors() {
    static const QStringList colors = [] {
        QStringList names;
        for (const CHighlightColor& c : HighlightColors()) names << QLatin1String(c.m_pszName);
        return names;
    }();
    return colors;
}

QColor CHighlightCommentDlg::Swatch(const QString& strColor) {
    // As the marks paint them in the page.
    for (const CHighlightColor& c : HighlightColors())
        if (strColor == QLatin1String(c.m_pszName)) return QColor(QLatin1String(c.m_pszCss));
    return QColor(QLatin1String(HighlightColors().front().m_pszCss));
}

QIcon CHighlightCommentDlg::SwatchIcon(const QString& strColor) { return Swatch16(Swatch(strColor)); }

QString CHighlightCommentDlg::ColorName(const QString& strColor) {
    const int n = std::max(0, static_cast<int>(Colors().indexOf(strColor)));
    return CurrentLanguage().StringPart(cmd::kCmdHighlightYellow + n, 1);
}

CHighlightCommentDlg::CHighlightCommentDlg(bool bExisting, const QString& strComment, const QString& strColor,
                                           QWidget* pParent)
    : QDialog(pParent) {
    setObjectName(QStringLiteral("highlightComment"));
    setWindowTitle(Text(ids::IDS_HL_DIALOG_TITLE));
    setAccessibleName(windowTitle());
    auto* pLayout = new QVBoxLayout(this);
    auto* pForm = new QFormLayout;
    m_pComment = new QPlainTextEdit(strComment);
    m_pComment->setObjectName(QStringLiteral("comment"));
    m_pComment->setTabChangesFocus(true);
    m_pComment->setAccessibleName(SpokenLabel(Text(ids::IDS_HL_COMMENT_LABEL)));
    auto* pCommentLabel = new QLabel(Text(ids::IDS_HL_COMMENT_LABEL));
    pCommentLabel->setBuddy(m_pComment);
    pForm->addRow(pCommentLabel, m_pComment);
    m_pColor = new QComboBox;
    m_pColor->setObjectName(QStringLiteral("color"));
    m_pColor->setAccessibleName(SpokenLabel(Text(ids::IDS_HL_COLOR_LABEL)));
    for (const QString& c : Colors()) m_pColor->addItem(SwatchIcon(c), ColorName(c), c);
    m_pColor->setCurrentIndex(std::max(0, static_cast<int>(Colors().indexOf(strColor))));
    auto* pColorLabel = new QLabel(Text(ids::IDS_HL_COLOR_LABEL));
    pColorLabel->setBuddy(m_pColor);
    pForm->addRow(pColorLabel, m_pColor);
    pLayout->addLayout(pForm);

    auto* pButtons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    QPushButton* pOk = pButtons->button(QDialogButtonBox::Ok);
    pOk->setText(Text(ids::IDS_HL_OK));
    pOk->setAccessibleName(SpokenLabel(Text(ids::IDS_HL_OK)));
    QPushButton* pCancel = pButtons->button(QDialogButtonBox::Cancel);
    pCancel->setText(Text(ids::IDS_HL_CANCEL));
    pCancel->setAccessibleName(SpokenLabel(Text(ids::IDS_HL_CANCEL)));
    if (bExisting) {
        QPushButton* pRemove = pButtons->addButton(Text(ids::IDS_HL_REMOVE), QDialogButtonBox::DestructiveRole);
        pRemove->setObjectName(QStringLiteral("remove"));
        pRemove->setAccessibleName(SpokenLabel(Text(ids::IDS_HL_REMOVE)));
        connect(pRemove, &QPushButton::clicked, this, [this] {
            m_nOutcome = kRemove;
            QDialog::accept();
        });
    }
    connect(pButtons, &QDialogButtonBox::accepted, this, [this] {
        m_nOutcome = kSaved;
        QDialog::accept();
    });
    connect(pButtons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    pLayout->addWidget(pButtons);
    m_pComment->setFocus();
    resize(420, 240);
}

QString CHighlightCommentDlg::Comment() const { return m_pComment->toPlainText(); }

QString CHighlightCommentDlg::Color() const { return m_pColor->currentData().toString(); }
