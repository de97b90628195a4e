// AES decryption in ECB mode, for Office Open XML packages encrypted under the default
// password. Nettle does the cipher; this picks its key size from the key, so that callers
// need not know which of AES-128, -192 or -256 a file chose.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "engine/core/file_data.h"

namespace quillmark::engine {

class AesDecryptor {
  public:
    // `key` holds 16, 24 or 32 bytes (AES-128, -192, -256); other lengths decrypt nothing.
    explicit AesDecryptor(Bytes key);
    ~AesDecryptor();

    bool valid() const { return schedule_ != nullptr; }
    // Decrypts whole 16-byte blocks in place; `length` is a multiple of 16.
    void decryptBlocks(std::uint8_t* data, std::size_t length) const;
    void decryptBlock(std::uint8_t* block) const { decryptBlocks(block, 16); }

  private:
    struct KeySchedule;
    std::unique_ptr<KeySchedule> schedule_;
};

}  // namespace quillmark::engine
