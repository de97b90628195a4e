// MD5 message digest (RFC 1321), needed to derive the keys of RC4-encrypted .xls files.
// Not for security: the formats that use it are long broken.
#pragma once

#include <array>
#include <cstdint>

#include "file_data.h"

namespace quillmark::engine {

using Md5Digest = std::array<std::uint8_t, 16>;

Md5Digest md5(Bytes data);

}  // namespace quillmark::engine
