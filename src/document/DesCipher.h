// DES (FIPS 46-3): the block cipher that hides a notebook's password.
//
// Only what the notebook format needs: one 8-byte key, single blocks and ECB
// over whole blocks. Not meant to protect anything worth protecting; it exists
// so that stored notebooks read and write the same bytes as always.
#pragma once

#include <cstddef>
#include <cstdint>

class CDesCipher {
public:
    static constexpr size_t kBlockSize = 8;

    // The low bit of each key byte is the parity bit; DES ignores it.
    explicit CDesCipher(const uint8_t key[kBlockSize]);

    // `in` and `out` may be the same block.
    void EncipherBlock(const uint8_t in[kBlockSize], uint8_t out[kBlockSize]) const;
    void DecipherBlock(const uint8_t in[kBlockSize], uint8_t out[kBlockSize]) const;

    // ECB in place. A length that is not a multiple of the block size throws
    // std::invalid_argument: quietly leaving a clear tail would be worse.
    void EncipherEcb(uint8_t* p, size_t n) const;
    void DecipherEcb(uint8_t* p, size_t n) const;

private:
    uint64_t Crypt(uint64_t block, bool bDecipher) const;

    uint64_t m_subkeys[16];  // 48 bits each, right-aligned
};
