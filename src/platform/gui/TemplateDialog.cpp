#include "platform/gui/TemplateDialog.h"

#include "platform/gui/AppGlobals.h"
#include "platform/MessageHost.h"
#include "platform/gui/CmdTarget.h"
#include "platform/gui/MessageBox.h"
#include "platform/gui/QtText.h"

#include <QAbstractButton>
#include <QBuffer>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTextEdit>
#include <QUiLoader>
#include <QVBoxLayout>

namespace {

TemplateSource& Source() {
    static TemplateSource source;
    return source;
}

DialogHook& Hook() {
    static DialogHook hook;
    return hook;
}

HelpHandler& Help() {
    static HelpHandler handler;
    return handler;
}

QString WithoutMnemonic(QString text) {
    text.replace(QLatin1String("&&"), QStringLiteral("\x01"));
    text.remove(QLatin1Char('&'));
    text.replace(QLatin1Char('\x01'), QLatin1Char('&'));
    return text;
}

// Screen readers, and tests that drive the window from outside, find a
// control by the text the user sees next to it.
void NameControls(QWidget* pForm) {
    for (QLabel* label : pForm->findChildren<QLabel*>()) {
        QWidget* buddy = label->buddy();
        if (buddy && buddy->accessibleName().isEmpty()) buddy->setAccessibleName(WithoutMnemonic(label->text()));
    }
    for (QAbstractButton* b : pForm->findChildren<QAbstractButton*>())
        if (b->accessibleName().isEmpty() && !b->text().isEmpty()) b->setAccessibleName(WithoutMnemonic(b->text()));
}

QString TextOf(QWidget* p) {
    if (auto* e = qobject_cast<QLineEdit*>(p)) return e->text();
    if (auto* c = qobject_cast<QComboBox*>(p)) return c->currentText();
    if (auto* t = qobject_cast<QPlainTextEdit*>(p)) return t->toPlainText();
    if (auto* t = qobject_cast<QTextEdit*>(p)) return t->toPlainText();
    if (auto* l = qobject_cast<QLabel*>(p)) return l->text();
    if (auto* b = qobject_cast<QAbstractButton*>(p)) return b->text();
    return p->windowTitle();
}

void SetTextOf(QWidget* p, const QString& text) {
    if (auto* e = qobject_cast<QLineEdit*>(p)) e->setText(text);
    else if (auto* c = qobject_cast<QComboBox*>(p)) {
        if (c->isEditable()) c->setEditText(text);
        else c->setCurrentIndex(c->findText(text));
    } else if (auto* t = qobject_cast<QPlainTextEdit*>(p)) t->setPlainText(text);
    else if (auto* t = qobject_cast<QTextEdit*>(p)) t->setPlainText(text);
    else if (auto* l = qobject_cast<QLabel*>(p)) l->setText(text);
    else if (auto* b = qobject_cast<QAbstractButton*>(p)) b->setText(text);
    else p->setWindowTitle(text);
}

}  // namespace

void SetTemplateSource(TemplateSource source) { Source() = std::move(source); }

QByteArray LoadTemplate(unsigned nID) { return Source() ? Source()(nID) : QByteArray(); }

DialogHook SetDialogHook(DialogHook hook) {
    DialogHook prev = std::move(Hook());
    Hook() = std::move(hook);
    return prev;
}

HelpHandler SetHelpHandler(HelpHandler handler) {
    HelpHandler prev = std::move(Help());
    Help() = std::move(handler);
    return prev;
}

bool OpenHelpAt(int nContext) {
    if (!Help()) return false;
    RunGuarded([&] { Help()(nContext); });
    return true;
}

// ---- exchange

QWidget* CDataExchange::PrepareControl(unsigned nID) {
    m_pLastControl = m_dlg.Item(nID);
    if (!m_pLastControl) {
        qWarning("dialog %u has no control %u", m_dlg.TemplateID(), nID);
        m_bFailed = true;
    }
    return m_pLastControl;
}

void CDataExchange::Fail(unsigned nStringID, const std::vector<std::string>& args) {
    if (m_bFailed) return;
    m_bFailed = true;
    if (nStringID) AfxMessageBox(nStringID, host::MB_OK | host::MB_ICONEXCLAMATION, args);
    if (!m_pLastControl) return;
    m_pLastControl->setFocus(Qt::OtherFocusReason);
    if (auto* e = qobject_cast<QLineEdit*>(m_pLastControl)) e->selectAll();
    else if (auto* c = qobject_cast<QComboBox*>(m_pLastControl); c && c->lineEdit()) c->lineEdit()->selectAll();
}

void DDX_Text(CDataExchange& dx, unsigned nID, QString& value) {
    if (dx.m_bFailed) return;
    QWidget* p = dx.PrepareControl(nID);
    if (!p) return;
    if (dx.m_bSaveAndValidate) value = TextOf(p);
    else SetTextOf(p, value);
}

void DDX_Text(CDataExchange& dx, unsigned nID, std::string& value) {
    QString text = ToQ(value);
    DDX_Text(dx, nID, text);
    if (dx.m_bSaveAndValidate && !dx.m_bFailed) value = FromQ(text);
}

void DDX_Text(CDataExchange& dx, unsigned nID, int& value) {
    if (dx.m_bFailed) return;
    QWidget* p = dx.PrepareControl(nID);
    if (!p) return;
    if (!dx.m_bSaveAndValidate) {
        SetTextOf(p, QString::number(value));
        return;
    }
    bool ok = false;
    const int n = TextOf(p).trimmed().toInt(&ok);
    if (!ok) return dx.Fail(kIdsParseInt);
    value = n;
}

void DDX_Check(CDataExchange& dx, unsigned nID, int& value) {
    if (dx.m_bFailed) return;
    auto* box = qobject_cast<QAbstractButton*>(dx.PrepareControl(nID));
    if (!box) return dx.Fail(0);
    auto* tri = qobject_cast<QCheckBox*>(box);
    if (dx.m_bSaveAndValidate) {
        if (tri) value = tri->checkState() == Qt::Checked ? 1 : tri->checkState() == Qt::PartiallyChecked ? 2 : 0;
        else value = box->isChecked() ? 1 : 0;
    } else if (tri) {
        tri->setCheckState(value == 1 ? Qt::Checked : value == 2 ? Qt::PartiallyChecked : Qt::Unchecked);
    } else {
        box->setChecked(value != 0);
    }
}

void DDX_Radio(CDataExchange& dx, unsigned nFirstID, int& value) {
    if (dx.m_bFailed) return;
    auto* first = qobject_cast<QRadioButton*>(dx.PrepareControl(nFirstID));
    if (!first) return dx.Fail(0);
    std::vector<QRadioButton*> group;
    for (unsigned nID = nFirstID;; ++nID) {
        auto* b = dx.m_dlg.Control<QRadioButton>(nID);
        if (!b || b->parentWidget() != first->parentWidget()) break;
        group.push_back(b);
    }
    if (dx.m_bSaveAndValidate) {
        value = -1;
        for (size_t i = 0; i < group.size(); ++i)
            if (group[i]->isChecked()) value = static_cast<int>(i);
        return;
    }
    // Exclusive by parent, so no button stays on when none is chosen.
    for (QRadioButton* b : group) b->setAutoExclusive(false);
    for (size_t i = 0; i < group.size(); ++i) group[i]->setChecked(static_cast<int>(i) == value);
    for (QRadioButton* b : group) b->setAutoExclusive(true);
}

void DDX_CBIndex(CDataExchange& dx, unsigned nID, int& value) {
    if (dx.m_bFailed) return;
    auto* c = qobject_cast<QComboBox*>(dx.PrepareControl(nID));
    if (!c) return dx.Fail(0);
    if (dx.m_bSaveAndValidate) value = c->currentIndex();
    else c->setCurrentIndex(value);
}

void DDX_LBIndex(CDataExchange& dx, unsigned nID, int& value) {
    if (dx.m_bFailed) return;
    auto* l = qobject_cast<QListWidget*>(dx.PrepareControl(nID));
    if (!l) return dx.Fail(0);
    if (dx.m_bSaveAndValidate) value = l->currentRow();
    else l->setCurrentRow(value);
}

void DDV_MinMaxInt(CDataExchange& dx, int value, int nMin, int nMax) {
    if (dx.m_bFailed || !dx.m_bSaveAndValidate) return;
    if (value < nMin || value > nMax) dx.Fail(kIdsParseIntRange, {std::to_string(nMin), std::to_string(nMax)});
}

void DDV_MaxChars(CDataExchange& dx, const QString& value, int nChars) {
    if (dx.m_bFailed) return;
    if (!dx.m_bSaveAndValidate) {
        if (auto* e = qobject_cast<QLineEdit*>(dx.m_pLastControl)) e->setMaxLength(nChars);
        return;
    }
    if (value.size() > nChars) dx.Fail(kIdsParseStringSize, {std::to_string(nChars)});
}

void DDV_MaxChars(CDataExchange& dx, const std::string& value, int nChars) {
    DDV_MaxChars(dx, ToQ(value), nChars);
}

// ---- dialog

CTemplateDialog::CTemplateDialog(unsigned nTemplateID, QWidget* pParent)
    : QDialog(pParent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      m_nTemplateID(nTemplateID) {
    const QByteArray bytes = LoadTemplate(nTemplateID);
    if (bytes.isEmpty()) return;
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QUiLoader loader;
    QWidget* form = loader.load(&buffer, this);
    if (!form) {
        qWarning("dialog template %u: %s", nTemplateID, qPrintable(loader.errorString()));
        return;
    }
    m_pForm = form;
    setObjectName(QString::number(nTemplateID));
    setWindowTitle(form->windowTitle());
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(form);
    // Dialogs keep the size their form gives them unless the form says
    // it may be resized.
    if (!form->property("resizable").toBool()) layout->setSizeConstraint(QLayout::SetFixedSize);
    NameControls(form);
    if (auto* ok = Control<QAbstractButton>(host::IDOK))
        connect(ok, &QAbstractButton::clicked, this, [this] { OnOK(); });
    if (auto* cancel = Control<QAbstractButton>(host::IDCANCEL))
        connect(cancel, &QAbstractButton::clicked, this, [this] { OnCancel(); });
}

QWidget* CTemplateDialog::Item(unsigned nID) const {
    if (!m_pForm) return nullptr;
    const QString name = QString::number(nID);
    if (m_pForm->objectName() == name) return m_pForm;
    return m_pForm->findChild<QWidget*>(name);
}

bool CTemplateDialog::UpdateData(bool bSaveAndValidate) {
    if (!m_pForm) return false;
    CDataExchange dx(*this, bSaveAndValidate);
    RunGuarded([&] { DoDataExchange(dx); });
    return !dx.m_bFailed;
}

bool CTemplateDialog::OnInitDialog() { return UpdateData(false); }

void CTemplateDialog::OnOK() {
    if (!UpdateData(true)) return;
    EndDialog(host::IDOK);
}

void CTemplateDialog::OnCancel() { EndDialog(host::IDCANCEL); }

void CTemplateDialog::keyPressEvent(QKeyEvent* e) {
    // The controls pass F1 on unhandled, so it arrives here from any of them.
    if (e->key() == Qt::Key_F1 && e->modifiers() == Qt::NoModifier && m_nHelpContext != 0) {
        e->accept();
        if (Help()) {
            const int nContext = m_nHelpContext;
            RunGuarded([&] { Help()(nContext); });
        }
        return;
    }
    QDialog::keyPressEvent(e);
}

void CTemplateDialog::EndDialog(int nResult) {
    m_nResult = nResult;
    done(nResult);
}

int CTemplateDialog::DoModal() {
    if (!m_pForm) return host::IDCANCEL;
    CAutoHideBlock block;
    m_nResult = -1;
    bool bInit = false;
    RunGuarded([&] { bInit = OnInitDialog(); });
    if (!bInit) return host::IDCANCEL;
    if (Hook()) {
        Hook()(*this);
        return m_nResult < 0 ? host::IDCANCEL : m_nResult;
    }
    exec();
    return m_nResult < 0 ? host::IDCANCEL : m_nResult;
}
