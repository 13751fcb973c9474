// The calls into the program, over the session bus. The bus starts the
// program when it is not running, so the first call may wait for it.
#pragma once

#include <gio/gio.h>

#include <string>

namespace nativehost {

class CAutomationBus {
public:
    CAutomationBus() = default;
    ~CAutomationBus();
    CAutomationBus(const CAutomationBus&) = delete;
    CAutomationBus& operator=(const CAutomationBus&) = delete;

    // Each returns false with a sentence for the user in `strError`.
    bool AddNoteFromIE(const std::string& strUrl, const std::string& strTitle, std::string& strError);
    bool AddNoteFromPage(const std::string& strUrl, const std::string& strTitle, const std::string& strHtml,
                         std::string& strError);
    bool StartImport(std::string& strError);

private:
    // The connection, made on first use so that a refused message never
    // touches the bus.
    GDBusConnection* Connection(std::string& strError);
    bool Call(const char* method, GVariant* args, std::string& strError);

    GDBusConnection* m_pConnection = nullptr;
};

}  // namespace nativehost
