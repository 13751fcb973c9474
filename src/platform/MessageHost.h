// How core code talks to the user: a message by string id.
//
// The core never holds message texts; it names a string of the language
// module and the host (the GUI, the command-line tool or a test) shows it and
// answers with the button chosen.
#pragma once

#include <string>
#include <vector>

namespace host {

// Button sets and icons; the values are the classic message-box flags so
// they combine the same way.
enum : unsigned {
    MB_OK = 0x0,
    MB_OKCANCEL = 0x1,
    MB_ABORTRETRYIGNORE = 0x2,
    MB_YESNOCANCEL = 0x3,
    MB_YESNO = 0x4,
    MB_RETRYCANCEL = 0x5,
    MB_TYPEMASK = 0xF,
    MB_ICONERROR = 0x10,
    MB_ICONQUESTION = 0x20,
    MB_ICONEXCLAMATION = 0x30,
    MB_ICONINFORMATION = 0x40,
    MB_ICONMASK = 0xF0,
};

// Answers.
enum : int { IDOK = 1, IDCANCEL = 2, IDABORT = 3, IDRETRY = 4, IDIGNORE = 5, IDYES = 6, IDNO = 7 };

class IMessageHost {
public:
    virtual ~IMessageHost() = default;
    // Shows string `nStringID` (formatted with `args`, in order) with the
    // buttons and icon of `nType`; returns the button chosen. May be called
    // from any thread; a host that cannot show a box from a worker thread must
    // marshal the call itself.
    virtual int ShowMessage(unsigned nStringID, unsigned nType, const std::vector<std::string>& args) = 0;
    // The text of string `nStringID` in the process code page, for texts the
    // core keeps (a note's error text); empty when the host has none.
    virtual std::string LoadString(unsigned /*nStringID*/) { return std::string(); }
};

// Installs the host; returns the previous one. Null restores the fallback,
// which writes the id to stderr and gives the cautious answer (No, Cancel,
// Abort) to every question.
IMessageHost* SetMessageHost(IMessageHost* pHost);

// A question from work whose stop was requested (see StopSignal.h) is not
// asked: whoever stopped the work may be waiting for it, and the work is
// to end anyway. It gets the cautious answer.
int ShowMessage(unsigned nStringID, unsigned nType = MB_OK | MB_ICONEXCLAMATION,
                const std::vector<std::string>& args = {});

// The host's text for a string id; "#" and the number when it has none, so
// that the id is still there to be looked up later.
std::string LoadString(unsigned nStringID);

// The answer a host gives when it cannot ask anybody.
int CautiousAnswer(unsigned nType);

}  // namespace host
