// SHA-1 message digest (FIPS 180-1), needed to derive the keys of .xls files encrypted with
// RC4 CryptoAPI. Not for security.
#pragma once

#include <array>
#include <cstdint>

#include "file_data.h"

namespace quillmark::engine {

using Sha1Digest = std::array<std::uint8_t, 20>;

Sha1Digest sha1(Bytes data);

}  // namespace quillmark::engine
