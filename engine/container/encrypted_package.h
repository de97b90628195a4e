// Office Open XML workbooks saved with a password live in a compound file as two streams,
// EncryptionInfo and EncryptedPackage ([MS-OFFCRYPTO] 2.3.4). Those saved under the default
// password open without asking in spreadsheet programs, so the standard (AES, SHA-1)
// encryption is undone here; agile encryption and other passwords stay Encrypted.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "engine/core/file_data.h"
#include "engine/core/outcome.h"

namespace quillmark::engine {

// The zip package inside, or an Encrypted failure saying why it stays locked.
Outcome<std::vector<std::uint8_t>> decryptPackage(Bytes encryptionInfo, Bytes encryptedPackage,
                                                  std::u16string_view password);

}  // namespace quillmark::engine
