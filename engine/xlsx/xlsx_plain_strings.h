// A raw look at a shared string table before it is parsed: the leading entries written in the
// plain shape (one <t> per <si>, no rich-text runs, phonetic guides, character references,
// _xHHHH_ escapes, comments or other markup) whose bytes lack the keyword's anchor hold no
// match, so they are counted rather than parsed; those that hold it are matched from their
// bytes; and the parse goes on after them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/core/byte_buffer.h"
#include "engine/core/outcome.h"

namespace quillmark::engine {

class Matcher;
class StringTableMatches;
class ZipStream;

// What the look read of a table's part. The parse that follows reads the part through it: the
// table's opening (declaration and <sst> tag), then the bytes the look inflated but did not
// clear, then what the look's read failed with, if it did, then the rest of the part. Every
// entry left out between the opening and those bytes is a plain entry without the anchor, so
// the parse sees the same text, entries and errors as a parse of the whole part.
class PlainTableHead {
  public:
    // Reads `stream` as far as its entries are plain and lack `lowerAnchor` (as rawAnchorOf
    // returns it; an empty anchor reads nothing). Given `matcher` and `matches`, plain entries
    // that hold the anchor are matched and added to `matches` as the look meets them (with
    // the cleared entries before them), so that only the entries after the first of another
    // shape are left to the parse.
    static PlainTableHead read(ZipStream& stream, std::string_view lowerAnchor,
                               const Matcher* matcher = nullptr,
                               StringTableMatches* matches = nullptr);

    // How many entries were left out after the last one added to the matches (all of them,
    // without matches to add to); none of them matches.
    std::size_t entriesWithoutMatch() const { return entries_; }
    // The whole part was plain and anchor-free: there is nothing left to parse.
    bool wholeTable() const { return wholeTable_; }

    // For the parse: the next bytes of the part as seen through the look.
    Outcome<std::size_t> readOn(ZipStream& stream, std::uint8_t* buffer, std::size_t capacity);

  private:
    void keep(ByteBuffer bytes, std::size_t from, std::size_t to);

    std::size_t entries_ = 0;
    bool wholeTable_ = false;
    std::string opening_;
    std::size_t openingAt_ = 0;
    ByteBuffer held_;
    std::size_t heldAt_ = 0, heldEnd_ = 0;
    std::optional<Failure> readFailure_;
};

// Whether a table already in memory is plain throughout and lacks the anchor (for tests).
bool plainStringTableLacksAnchor(std::string_view table, std::string_view lowerAnchor);

}  // namespace quillmark::engine
