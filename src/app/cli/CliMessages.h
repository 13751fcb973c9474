// The message host of clipvault-cli: core messages become one English line
// on stderr, and questions get the cautious answer since nobody is there to
// click.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "platform/MessageHost.h"

namespace cli {

class CliMessageHost : public host::IMessageHost {
public:
    int ShowMessage(unsigned nStringID, unsigned nType, const std::vector<std::string>& args) override;
    std::string LoadString(unsigned nStringID) override;

    // Whether any message was shown (or held) since the last Reset: the core
    // reports failures this way, so a handler that saw one exits non-zero.
    bool ErrorShown() const;
    void Reset();

    // While holding, lines are kept instead of printed, so that a caller that
    // knows better (a damaged notebook is more than "the operation failed")
    // can replace them with its own line.
    void Hold();
    void PrintHeld();
    void DropHeld();

    // The line a message becomes, without the program-name prefix.
    static std::string Text(unsigned nStringID, const std::vector<std::string>& args);

private:
    mutable std::mutex m_mutex;
    bool m_bErrorShown = false;
    bool m_bHolding = false;
    std::vector<std::string> m_held;
};

// The host main installs for the whole run.
CliMessageHost& Messages();

}  // namespace cli
