#include "platform/gui/MessageBox.h"

#include "platform/gui/AppGlobals.h"
#include "platform/StopSignal.h"
#include "platform/StringIds.h"
#include "platform/gui/CmdTarget.h"
#include "platform/gui/QtText.h"

#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QEvent>
#include <QMessageBox>
#include <QMetaObject>
#include <QPointer>
#include <QThread>
#include <QWidget>

#include <iterator>

namespace {

MessageBoxHook& Hook() {
    static MessageBoxHook hook;
    return hook;
}

StringSource& Source() {
    static StringSource source;
    return source;
}

QPointer<QWidget>& Owner() {
    static QPointer<QWidget> owner;
    return owner;
}

// Carries one posted closure; the event type is the message's number above
// QEvent::User, so a filter can tell import items from capture-done.
class CPostedEvent : public QEvent {
public:
    CPostedEvent(unsigned nMessage, std::function<void()> fn)
        : QEvent(static_cast<QEvent::Type>(QEvent::User + static_cast<int>(nMessage & 0xFFF))), m_fn(std::move(fn)) {}
    std::function<void()> m_fn;
};

QMessageBox::Icon IconOf(unsigned nType) {
    switch (nType & host::MB_ICONMASK) {
    case host::MB_ICONERROR: return QMessageBox::Critical;
    case host::MB_ICONQUESTION: return QMessageBox::Question;
    case host::MB_ICONEXCLAMATION: return QMessageBox::Warning;
    case host::MB_ICONINFORMATION: return QMessageBox::Information;
    default: return QMessageBox::NoIcon;
    }
}

}  // namespace

MessageBoxHook SetMessageBoxHook(MessageBoxHook hook) {
    MessageBoxHook prev = std::move(Hook());
    Hook() = std::move(hook);
    return prev;
}

void SetMessageBoxOwner(QWidget* pOwner) { Owner() = pOwner; }

QWidget* MessageBoxOwner() { return Owner().data(); }

void SetStringSource(StringSource source) { Source() = std::move(source); }

QString LoadQString(unsigned nID) { return Source() ? Source()(nID) : QString(); }

QString FormatMessageText(const QString& strFormat, const std::vector<std::string>& args) {
    QString out;
    size_t nNext = 0;
    for (qsizetype i = 0; i < strFormat.size(); ++i) {
        const QChar c = strFormat[i];
        if (c != QLatin1Char('%') || i + 1 >= strFormat.size()) {
            out += c;
            continue;
        }
        const QChar d = strFormat[i + 1];
        if (d >= QLatin1Char('1') && d <= QLatin1Char('9')) {
            const size_t n = static_cast<size_t>(d.digitValue() - 1);
            if (n < args.size()) out += ToQ(args[n]);
            ++i;
        } else if (d == QLatin1Char('s') || d == QLatin1Char('d') || d == QLatin1Char('u')) {
            if (nNext < args.size()) out += ToQ(args[nNext]);
            ++nNext;
            ++i;
        } else if (d == QLatin1Char('%')) {
            out += c;
            ++i;
        } else {
            out += c;
        }
    }
    return out;
}

namespace {

int ShowBox(unsigned nID, const QString& strText, unsigned nType, const QString& strCaption,
            bool* pChecked = nullptr, const QString& strCheck = QString()) {
    CAutoHideBlock block;
    if (Hook()) return Hook()(nID, nType, strText);
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return host::CautiousAnswer(nType);

    QString caption = strCaption;
    if (caption.isEmpty()) caption = LoadQString(ids::IDS_APP_TITLE);
    if (caption.isEmpty()) caption = QStringLiteral("Clipvault");
    QMessageBox box(IconOf(nType), caption, strText, QMessageBox::NoButton, Owner().data());
    struct CButton { QMessageBox::StandardButton b; int answer; };
    static const CButton kOk[] = {{QMessageBox::Ok, host::IDOK}};
    static const CButton kOkCancel[] = {{QMessageBox::Ok, host::IDOK}, {QMessageBox::Cancel, host::IDCANCEL}};
    static const CButton kAbortRetryIgnore[] = {
        {QMessageBox::Abort, host::IDABORT}, {QMessageBox::Retry, host::IDRETRY}, {QMessageBox::Ignore, host::IDIGNORE}};
    static const CButton kYesNoCancel[] = {
        {QMessageBox::Yes, host::IDYES}, {QMessageBox::No, host::IDNO}, {QMessageBox::Cancel, host::IDCANCEL}};
    static const CButton kYesNo[] = {{QMessageBox::Yes, host::IDYES}, {QMessageBox::No, host::IDNO}};
    static const CButton kRetryCancel[] = {{QMessageBox::Retry, host::IDRETRY}, {QMessageBox::Cancel, host::IDCANCEL}};
    const CButton* first = kOk;
    const CButton* last = std::end(kOk);
    switch (nType & host::MB_TYPEMASK) {
    case host::MB_OKCANCEL: first = kOkCancel; last = std::end(kOkCancel); break;
    case host::MB_ABORTRETRYIGNORE: first = kAbortRetryIgnore; last = std::end(kAbortRetryIgnore); break;
    case host::MB_YESNOCANCEL: first = kYesNoCancel; last = std::end(kYesNoCancel); break;
    case host::MB_YESNO: first = kYesNo; last = std::end(kYesNo); break;
    case host::MB_RETRYCANCEL: first = kRetryCancel; last = std::end(kRetryCancel); break;
    default: break;
    }
    const std::vector<CButton> buttons(first, last);
    QMessageBox::StandardButtons set;
    for (const CButton& b : buttons) set |= b.b;
    box.setStandardButtons(set);
    QCheckBox* check = nullptr;
    if (pChecked) {
        check = new QCheckBox(strCheck, &box);
        check->setAccessibleName(strCheck);
        check->setChecked(*pChecked);
        box.setCheckBox(check);
    }
    const int clicked = box.exec();
    if (check) *pChecked = check->isChecked();
    for (const CButton& b : buttons)
        if (clicked == b.b) return b.answer;
    // Closed with Escape or the window's close box.
    return host::CautiousAnswer(nType);
}

}  // namespace

int AfxMessageBoxText(const QString& strText, unsigned nType, const QString& strCaption) {
    return ShowBox(0, strText, nType, strCaption);
}

int AfxMessageBox(unsigned nID, unsigned nType, const std::vector<std::string>& args) {
    QString format = LoadQString(nID);
    if (format.isEmpty()) format = QStringLiteral("#%1").arg(nID);
    return ShowBox(nID, FormatMessageText(format, args), nType, QString());
}

int AfxMessageBoxWithCheck(unsigned nID, unsigned nType, const std::vector<std::string>& args, unsigned nCheckID,
                           bool& bChecked) {
    QString format = LoadQString(nID);
    if (format.isEmpty()) format = QStringLiteral("#%1").arg(nID);
    return ShowBox(nID, FormatMessageText(format, args), nType, QString(), &bChecked, LoadQString(nCheckID));
}

// ---- the core's host

CGuiHost::CGuiHost() : m_pPrevHost(host::SetMessageHost(this)), m_pPrevQueue(host::SetUiQueue(this)) {}

CGuiHost::~CGuiHost() {
    host::SetMessageHost(m_pPrevHost);
    host::SetUiQueue(m_pPrevQueue);
}

int CGuiHost::ShowMessage(unsigned nStringID, unsigned nType, const std::vector<std::string>& args) {
    if (QThread::currentThread() == thread()) return AfxMessageBox(nStringID, nType, args);
    // A worker reporting a failure must not wait for the box: the window
    // may itself be waiting for that worker to stop.
    if ((nType & host::MB_TYPEMASK) == host::MB_OK) {
        QMetaObject::invokeMethod(
            this, [nStringID, nType, args] { AfxMessageBox(nStringID, nType, args); }, Qt::QueuedConnection);
        return host::IDOK;
    }
    const std::shared_ptr<host::CStopSignal> stop = host::ThisThreadStopSignal();
    if (!stop) {
        int answer = host::CautiousAnswer(nType);
        QMetaObject::invokeMethod(
            this, [&] { answer = AfxMessageBox(nStringID, nType, args); }, Qt::BlockingQueuedConnection);
        return answer;
    }
    // A question from a download worker waits for its answer or for the
    // worker's stop, whichever comes first: the window may be waiting for
    // that worker to stop, and shows nothing meanwhile. A question withdrawn
    // before its box came up is not shown at all.
    auto answer = std::make_shared<int>(0);
    QMetaObject::invokeMethod(
        this,
        [stop, answer, nStringID, nType, args] {
            if (stop->IsRequested()) return;
            const int a = AfxMessageBox(nStringID, nType, args);
            stop->Notify([&] { *answer = a; });
        },
        Qt::QueuedConnection);
    if (stop->WaitUntil([&] { return *answer != 0; })) return *answer;
    return host::CautiousAnswer(nType);
}

std::string CGuiHost::LoadString(unsigned nStringID) { return FromQ(LoadQString(nStringID)); }

void CGuiHost::Post(unsigned nMessage, std::function<void()> fn) {
    QCoreApplication::postEvent(this, new CPostedEvent(nMessage, std::move(fn)));
}

bool CGuiHost::event(QEvent* e) {
    if (auto* posted = dynamic_cast<CPostedEvent*>(e)) {
        RunGuarded(posted->m_fn);
        return true;
    }
    return QObject::event(e);
}
