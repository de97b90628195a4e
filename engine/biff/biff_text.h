// Text in BIFF records: byte strings in the workbook's code page (BIFF2-BIFF5), BIFF8's
// Unicode strings (compressed Latin-1 or UTF-16LE), and strings continued across CONTINUE
// records ([MS-XLS] 2.1.4, 2.5.293 XLUnicodeRichExtendedString).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/biff/biff_records.h"

namespace quillmark::engine::biff {

// Converts byte strings from a Windows or Mac code page (CODEPAGE record) to UTF-8 with
// iconv. Code pages iconv does not know read as Latin-1.
class CodePageDecoder {
  public:
    explicit CodePageDecoder(std::uint16_t codePage = 1252);
    ~CodePageDecoder();
    CodePageDecoder(const CodePageDecoder&) = delete;
    CodePageDecoder& operator=(const CodePageDecoder&) = delete;

    void append(const std::uint8_t* bytes, std::size_t count, std::string& out) const;

  private:
    void* converter_ = nullptr;  // an iconv_t, or null for Latin-1
};

// The iconv name of a Windows code page number, or nullptr when Latin-1 serves.
const char* iconvNameForCodePage(std::uint16_t codePage);

// Appends `count` BIFF8 characters: UTF-16LE when `highByte`, otherwise one byte each.
void appendBiff8Characters(const std::uint8_t* bytes, std::size_t count, bool highByte,
                           std::string& out);

// Reads a BIFF8 XLUnicodeString (a 16-bit or 8-bit count, a flags byte, the characters) at
// `offset` in one record's data and moves past it. A string cut short keeps what is there;
// false only when not even the count and flags are.
bool readUnicodeString(Bytes data, std::size_t& offset, std::size_t countBytes, std::string& out);

// Reads a byte string (a 16-bit or 8-bit count, then the bytes) in the workbook's code page.
bool readByteString(Bytes data, std::size_t& offset, std::size_t countBytes,
                    const CodePageDecoder& decoder, std::string& out);

// Reads through a record and the CONTINUE records after it as one sequence of bytes. A
// string's characters that cross into a CONTINUE restart there with a flags byte telling
// whether they continue compressed or as UTF-16. `cursor` has just returned `first`; the
// CONTINUE records read are taken from it.
class ContinuedReader {
  public:
    ContinuedReader(RecordCursor& cursor, const Record& first)
        : cursor_(cursor), segment_(first.data) {}

    bool readU8(std::uint8_t& value);
    bool readU16(std::uint16_t& value);
    bool readU32(std::uint32_t& value);
    bool skip(std::size_t count);
    bool readCharacters(std::size_t count, bool highByte, std::string& out);

    // Reads one XLUnicodeRichExtendedString: its text into `out`, its formatting runs and
    // phonetic data skipped by their counts.
    bool readRichExtendedString(std::string& out);

  private:
    bool nextSegment();
    std::size_t remaining() const { return segment_.size() - position_; }

    RecordCursor& cursor_;
    Bytes segment_;
    std::size_t position_ = 0;
};

}  // namespace quillmark::engine::biff
