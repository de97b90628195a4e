// AES block decryption (FIPS 197), for Office Open XML packages encrypted under the default
// password. Only the inverse cipher: the reader never encrypts.
#pragma once

#include <array>
#include <cstdint>

#include "file_data.h"

namespace quillmark::engine {

class AesDecryptor {
  public:
    // `key` holds 16, 24 or 32 bytes (AES-128, -192, -256); other lengths decrypt nothing.
    explicit AesDecryptor(Bytes key);

    bool valid() const { return rounds_ != 0; }
    // Decrypts one 16-byte block in place.
    void decryptBlock(std::uint8_t* block) const;

  private:
    int rounds_ = 0;
    std::array<std::uint8_t, 240> roundKeys_{};
};

}  // namespace quillmark::engine
