// Encrypted BIFF workbooks (FILEPASS, [MS-XLS] 2.2.10): files saved under the well-known
// default password open without asking in spreadsheet programs, so they are decrypted here;
// any other password leaves the workbook Encrypted.
#pragma once

#include <cstdint>
#include <vector>

#include "biff_globals.h"

namespace quillmark::engine::biff {

// Decrypts `stream` in place when FILEPASS's method is one this reader undoes and the
// default password verifies; otherwise fails Encrypted with a reason naming the method.
Status decryptWithDefaultPassword(std::vector<std::uint8_t>& stream, const Record& filePass,
                                  Version version);

}  // namespace quillmark::engine::biff
