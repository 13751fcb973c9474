// What the core would show a user goes to standard error in the benches,
// answered as cautiously as a user who does not read it.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "platform/MessageHost.h"

class PrintingHost : public host::IMessageHost {
public:
    int ShowMessage(unsigned nStringID, unsigned nType, const std::vector<std::string>& args) override {
        std::fprintf(stderr, "message %u", nStringID);
        for (const auto& a : args) std::fprintf(stderr, " [%s]", a.c_str());
        std::fprintf(stderr, "\n");
        return host::CautiousAnswer(nType);
    }
};
