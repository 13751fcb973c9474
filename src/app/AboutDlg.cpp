#include "app/AboutDlg.h"

#include "app/ClipVaultApp.h"
#include "app/UiStrings.h"
#include "app/Version.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

CAboutDlg::CAboutDlg(CClipVaultApp& app, QWidget* pParent) : QDialog(pParent) {
    setWindowTitle(app.LoadString(uistr::kAboutCaption));
    auto* outer = new QVBoxLayout(this);
    auto* row = new QHBoxLayout;
    auto* icon = new QLabel(this);
    icon->setPixmap(app.Lang().Icon(233).pixmap(64, 64));
    icon->setAlignment(Qt::AlignTop);
    row->addWidget(icon);
    auto* texts = new QVBoxLayout;
    auto* name = new QLabel(QStringLiteral("<b>%1 %2</b>").arg(app.Lang().StringPart(233, 0).toHtmlEscaped(),
                                                               QStringLiteral(CLIPVAULT_VERSION)),
                            this);
    m_pVersion = new QLabel(app.LoadString(33113), this);
    m_pVersion->setWordWrap(true);
    m_pCopyright = new QLabel(app.LoadString(33072), this);
    m_pCopyright->setWordWrap(true);
    texts->addWidget(name);
    texts->addWidget(m_pVersion);
    texts->addWidget(m_pCopyright);
    texts->addStretch();
    row->addLayout(texts, 1);
    outer->addLayout(row);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    outer->addWidget(buttons);
}
