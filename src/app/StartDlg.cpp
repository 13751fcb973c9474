#include "app/StartDlg.h"

#include "app/ClipVaultApp.h"
#include "app/DocTemplate.h"
#include "app/UiStrings.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QVBoxLayout>

CStartDlg::CStartDlg(CClipVaultApp& app, QWidget* pParent) : QDialog(pParent), m_app(app) {
    setWindowTitle(app.LoadString(uistr::kStartCaption));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(app.LoadString(uistr::kStartQuestion), this));
    m_pModes = new QButtonGroup(this);
    const unsigned texts[] = {uistr::kStartNew, uistr::kStartRecent, uistr::kStartSample, uistr::kStartOther};
    for (int i = 0; i < 4; ++i) {
        auto* radio = new QRadioButton(app.LoadString(texts[i]), this);
        m_pModes->addButton(radio, i);
        layout->addWidget(radio);
    }
    m_pList = new QListWidget(this);
    // Long paths must be readable in full.
    m_pList->setMinimumWidth(520);
    layout->addWidget(m_pList);
    m_pButtons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(m_pButtons);
    connect(m_pButtons, &QDialogButtonBox::accepted, this, &CStartDlg::accept);
    connect(m_pButtons, &QDialogButtonBox::rejected, this, &CStartDlg::reject);
    connect(m_pModes, &QButtonGroup::idClicked, this, [this](int id) { SetMode(id); });
    connect(m_pList, &QListWidget::currentRowChanged, this, [this] { UpdateControls(); });
    connect(m_pList, &QListWidget::itemDoubleClicked, this, [this] {
        if (IsOkEnabled()) accept();
    });

    m_fnChooseFile = [this] {
        return QFileDialog::getOpenFileName(this, QString(), QString(), m_app.FileDialogFilter());
    };

    // The first start offers the samples; later ones the recent notebooks,
    // or a new one when there are none.
    const int firstRun = m_app.Profile().value(QStringLiteral("AppData/FirstRun"), 1).toInt();
    if (firstRun == 1) SetMode(kModeSample);
    else SetMode(RecentNotebooks().isEmpty() ? kModeNew : kModeRecent);
}

QStringList CStartDlg::SampleNotebooks(const QString& strProgramFolder) {
    QDir dir(strProgramFolder + QStringLiteral("/Sample"));
    QStringList out;
    for (const QFileInfo& fi : dir.entryInfoList({QStringLiteral("*.vlt")}, QDir::Files, QDir::Name))
        out << fi.absoluteFilePath();
    return out;
}

QStringList CStartDlg::RecentNotebooks() const {
    // The dialog reads further than the program writes, as older profiles
    // may hold more entries.
    return CClipVaultApp::ReadRecentFileList(m_app.Profile(), 10);
}

void CStartDlg::SetMode(int nMode) {
    m_nMode = nMode;
    if (QAbstractButton* b = m_pModes->button(nMode)) b->setChecked(true);
    Refill();
}

void CStartDlg::Refill() {
    m_pList->clear();
    if (m_nMode == kModeRecent) m_pList->addItems(RecentNotebooks());
    else if (m_nMode == kModeSample) m_pList->addItems(SampleNotebooks(m_app.ProgramFolder()));
    if (m_pList->count() > 0) m_pList->setCurrentRow(0);
    UpdateControls();
}

void CStartDlg::UpdateControls() {
    m_pList->setEnabled(IsListEnabled());
    m_pButtons->button(QDialogButtonBox::Ok)->setEnabled(IsOkEnabled());
}

QStringList CStartDlg::Entries() const {
    QStringList out;
    for (int i = 0; i < m_pList->count(); ++i) out << m_pList->item(i)->text();
    return out;
}

int CStartDlg::SelectedRow() const { return m_pList->currentRow(); }

void CStartDlg::SelectRow(int nRow) {
    m_pList->setCurrentRow(nRow);
    UpdateControls();
}

bool CStartDlg::IsListEnabled() const { return m_nMode == kModeRecent || m_nMode == kModeSample; }

bool CStartDlg::IsOkEnabled() const {
    if (m_nMode == kModeNew || m_nMode == kModeOther) return true;
    return m_pList->currentRow() >= 0;
}

void CStartDlg::accept() {
    if (!IsOkEnabled()) return;
    switch (m_nMode) {
    case kModeNew: m_app.NewDocument(); break;
    case kModeRecent:
    case kModeSample: m_app.OpenDocumentFile(m_pList->currentItem()->text()); break;
    case kModeOther: {
        const QString path = m_fnChooseFile ? m_fnChooseFile() : QString();
        if (!path.isEmpty()) m_app.OpenDocumentFile(path);
        break;
    }
    default: break;
    }
    m_app.Profile().setValue(QStringLiteral("AppData/FirstRun"), 0);
    m_app.Profile().sync();
    QDialog::accept();
}
