// Message boxes by string id, and the desktop program's side of the core's
// message and posting interfaces.
#pragma once

#include "platform/MessageHost.h"
#include "platform/UiQueue.h"

#include <QObject>
#include <QString>
#include <functional>
#include <string>
#include <vector>

class QWidget;

// Shows string `nID` of the language module, its %1..%9 (or, in order, %s
// and %d) replaced by `args`; answers with the button chosen (IDOK, IDYES...).
int AfxMessageBox(unsigned nID, unsigned nType = host::MB_OK | host::MB_ICONEXCLAMATION,
                  const std::vector<std::string>& args = {});
// The same with a check box of string `nCheckID` under the text, checked
// as `bChecked` is; `bChecked` takes its state when the box closes.
int AfxMessageBoxWithCheck(unsigned nID, unsigned nType, const std::vector<std::string>& args, unsigned nCheckID,
                           bool& bChecked);
// The same for a text that is not in the string table.
int AfxMessageBoxText(const QString& strText, unsigned nType = host::MB_OK, const QString& strCaption = QString());

// Fills a message's arguments in.
QString FormatMessageText(const QString& strFormat, const std::vector<std::string>& args);

// Tests answer boxes without showing them: the hook sees the string id (0
// for a plain text), the type and the final text, and returns the button.
using MessageBoxHook = std::function<int(unsigned nID, unsigned nType, const QString& strText)>;
MessageBoxHook SetMessageBoxHook(MessageBoxHook hook);

// The window that owns message boxes (the main frame once it exists).
void SetMessageBoxOwner(QWidget* pOwner);
// That window, for questions that stand for a message box (null before it
// exists).
QWidget* MessageBoxOwner();

// Where the core's messages and worker posts arrive in the desktop program.
// A failure reported from a worker thread is shown without waiting; a
// question waits for the user-interface thread's box, or, from a download
// worker, until that worker is asked to stop.
class CGuiHost : public QObject, public host::IMessageHost, public host::IUiQueue {
    Q_OBJECT
public:
    CGuiHost();
    ~CGuiHost() override;

    int ShowMessage(unsigned nStringID, unsigned nType, const std::vector<std::string>& args) override;
    std::string LoadString(unsigned nStringID) override;
    void Post(unsigned nMessage, std::function<void()> fn) override;

protected:
    bool event(QEvent* e) override;

private:
    host::IMessageHost* m_pPrevHost;
    host::IUiQueue* m_pPrevQueue;
};

// The language module's string table, as the message boxes read it.
using StringSource = std::function<QString(unsigned nID)>;
void SetStringSource(StringSource source);
// The text of string `nID`; empty when the table has none.
QString LoadQString(unsigned nID);
