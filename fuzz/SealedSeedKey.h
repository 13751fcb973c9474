// The key the encrypted-notebook seeds are sealed with and the fuzz target
// reads them with: a fixed passphrase and salt at the cheapest limits.
#pragma once

#include <memory>

#include "document/NotebookCipher.h"

namespace fuzzseeds {

inline std::unique_ptr<vault::CVaultKey> SealedSeedKey() {
    const uint8_t salt[vault::kSaltBytes] = {};
    return vault::CVaultKey::Derive("fuzz", salt, vault::MinimalLimits());
}

}  // namespace fuzzseeds
