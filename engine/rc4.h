// The RC4 stream cipher, as the encrypted .xls formats use it.
#pragma once

#include <cstdint>
#include <utility>

#include "file_data.h"

namespace quillmark::engine {

class Rc4 {
  public:
    explicit Rc4(Bytes key) {
        for (int i = 0; i < 256; ++i) state_[i] = static_cast<std::uint8_t>(i);
        std::uint8_t j = 0;
        for (int i = 0; i < 256; ++i) {
            j = static_cast<std::uint8_t>(j + state_[i] + key[i % key.size()]);
            std::swap(state_[i], state_[j]);
        }
    }

    std::uint8_t next() {
        ++i_;
        j_ = static_cast<std::uint8_t>(j_ + state_[i_]);
        std::swap(state_[i_], state_[j_]);
        return state_[static_cast<std::uint8_t>(state_[i_] + state_[j_])];
    }

    void apply(std::uint8_t* data, std::size_t length) {
        for (std::size_t k = 0; k < length; ++k) data[k] ^= next();
    }

  private:
    std::uint8_t state_[256];
    std::uint8_t i_ = 0, j_ = 0;
};

}  // namespace quillmark::engine
