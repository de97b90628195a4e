// Encrypted BIFF workbooks (FILEPASS, [MS-XLS] 2.2.10): files saved under the well-known
// default password open without asking in spreadsheet programs, so they are decrypted here;
// any other password leaves the workbook Encrypted.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "engine/biff/biff_globals.h"

namespace quillmark::engine::biff {

// The password spreadsheet programs try before asking for one.
inline constexpr std::u16string_view kDefaultPassword = u"VelvetSweatshop";

// The decrypter for the records after FILEPASS when it names a method this reader undoes
// (XOR obfuscation, RC4, RC4 CryptoAPI) and `password` verifies; otherwise fails Encrypted
// with a reason naming the method. Record headers stay as they are: only record data is
// encrypted, and each record decrypts by its own place in the stream, read in any order.
Outcome<std::unique_ptr<RecordDecrypter>> decrypterFor(
    const FilePass& filePass, Version version, std::u16string_view password = kDefaultPassword);

}  // namespace quillmark::engine::biff
