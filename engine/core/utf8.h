// UTF-8 decoding and encoding shared by the matcher and the format readers.
#pragma once

#include <string>
#include <string_view>

namespace quillmark::engine {

// Appends the code points of `text`; each byte of an invalid sequence becomes U+FFFD.
void appendDecodedUtf8(std::string_view text, std::u32string& out);
std::u32string decodeUtf8(std::string_view text);

void appendUtf8(char32_t codePoint, std::string& out);

// Appends UTF-16 code units (little-endian bytes, as BIFF and XLSB store them) as UTF-8;
// unpaired surrogates become U+FFFD.
void appendUtf16LeAsUtf8(const unsigned char* bytes, std::size_t codeUnits, std::string& out);

// Appends Latin-1 bytes (BIFF8's compressed strings) as UTF-8.
void appendLatin1AsUtf8(const unsigned char* bytes, std::size_t count, std::string& out);

}  // namespace quillmark::engine
