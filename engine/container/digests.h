// MD5 and SHA-1 of a byte span, which the encrypted workbook formats use to derive their keys
// and check their passwords. Not for security: those formats are long broken.
#pragma once

#include <array>
#include <cstdint>

#include "engine/core/file_data.h"

namespace quillmark::engine {

using Md5Digest = std::array<std::uint8_t, 16>;
using Sha1Digest = std::array<std::uint8_t, 20>;

Md5Digest md5(Bytes data);
Sha1Digest sha1(Bytes data);

}  // namespace quillmark::engine
