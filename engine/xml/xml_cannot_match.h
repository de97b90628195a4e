// Whether the raw bytes of an XML sheet part prove that no text read from them can hold a
// keyword's anchor (rawAnchorOf), so that a reader may leave the part untokenized. Only texts
// the reader reads are covered here; texts it makes (booleans, dates, rebuilt formulas) are
// the reader's to rule out, through the markers it passes and anchorIsInWordsOrAlphabet.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "engine/core/byte_buffer.h"

namespace quillmark::engine {

// True only when all of these hold, each needed for the answer "no match" to be the one a
// tokenizing pass gives:
// - the part opens as the tokenizer accepts (encoding, no document type) and ends with its
//   root's end tag, so that a part cut short still fails where it is read;
// - after the root's start tag there is no comment, CDATA section, processing instruction or
//   declaration ("<!", "<?"), and every "&" starts one of the five predefined entities: no
//   character reference can spell an anchor character;
// - no anchor can be joined from texts split by markup: no anchor head ends right before a
//   "<" while an anchor tail at or after that split begins right after a ">";
// - none of `madeTextMarkers` occurs (exact bytes): the reader's sign of text it rebuilds;
// - the anchor does not occur, ASCII case ignored;
// - no two "<" lie 16 MiB or more apart: no token reaches the tokenizer's size cap.
// An empty anchor proves nothing.
bool xmlPartCannotMatch(std::string_view xml, std::string_view lowerAnchor,
                        std::initializer_list<std::string_view> madeTextMarkers);

// The same test over one element inside a document in memory: `xml` starts at the element's
// start tag and may run on past its end. Neither the document's opening nor its end is looked
// for: the caller must have tokenized the document past the element (its content skipped
// unread, its start tag read whole), so that the document is known not to be cut short there.
// The start tag's attributes are no text of the element's and are passed over.
bool xmlFragmentCannotMatch(std::string_view xml, std::string_view lowerAnchor,
                            std::initializer_list<std::string_view> madeTextMarkers);

// The same test over a part fed in pieces, for one too large to hold whole.
class XmlCannotMatchScan {
  public:
    XmlCannotMatchScan(std::string_view lowerAnchor,
                       std::initializer_list<std::string_view> madeTextMarkers);
    // The next bytes of the part, in order; false once the test has failed, after which the
    // rest need not be fed.
    bool feed(std::string_view bytes);
    // The same without a copy: room for the next `size` bytes at the end of those held, to be
    // read into and then fed, the first `count` of them, by feedRoom.
    char* room(std::size_t size);
    bool feedRoom(std::size_t count);
    // After the last bytes: whether the test held.
    bool finish();
    // The test over a whole part in memory, fed nothing else.
    bool wholePart(std::string_view xml);
    // The test over an element in memory, as xmlFragmentCannotMatch, fed nothing else.
    bool fragment(std::string_view xml);

    // Once the test has failed: the offset in the part of the first byte it could not prove.
    // Every text read from the bytes before it, up to the last start tag before it, is
    // proven not to hold the anchor, so a reader may start its cell-by-cell work there.
    std::uint64_t failedAt() const { return failedAt_; }
    // For a part fed in pieces, the bytes held at the moment: the last piece fed and up to a
    // few hundred bytes before it, starting at `windowStart()` in the part.
    std::string_view window() const { return {window_.data(), roomAt_}; }
    std::uint64_t windowStart() const { return windowStart_; }

    // Before any bytes: cells that name something by a number in a value element, where some
    // numbers stand for a match. Every `valueName` element must then be unprefixed and hold
    // one run of text (or none) right before its end tag, with the end of its `cellName`
    // element next, so that the text is all a cell reads; and no such text may read as a
    // needle (a matching number's decimal digits), spaces around and zeros ahead ignored.
    void watchValues(std::string valueName, std::string cellName, std::vector<std::string> needles);
    // Before any bytes: markup that ends every text it follows, so that the bytes before it
    // are no anchor's head (the reader's rule says why, for the documents it reads whole).
    void endsTextAt(std::string markup);

  private:
    bool scan(std::string_view window, bool first, bool last);
    bool joinsHold() const;
    bool failAt(std::size_t windowOffset);
    bool plainValueEndsNoNeedle(const char* at, const char* end) const;
    bool valueIsOneRun(std::string_view window, std::size_t at) const;
    bool endsPlainValue(const char* at, const char* end) const;
    bool isNeedleNumber(std::uint64_t number) const;
    bool namesNeedle(std::string_view text) const;

    std::string anchor_;
    std::vector<std::string> markers_;
    std::vector<std::size_t> markerKeys_;  // per marker, the byte searched for first
    CharBuffer window_;       // the bytes held back from the last piece, then the next piece
    std::size_t roomAt_ = 0;  // the bytes of window_ fed so far
    bool first_ = true;
    bool failed_ = false;
    bool fragment_ = false;  // an element's bytes, not a whole part
    std::string rootName_;
    std::uint64_t windowStart_ = 0;  // the window's offset in the part
    std::uint64_t lastOpen_ = 0;     // offset of the last "<" seen
    std::uint32_t heads_ = 0, tails_ = 0;
    std::string valueName_, cellName_;          // empty: no values watched
    std::string textEnd_;                       // empty: every split may join
    std::string prefixedValue_;                 // ":" and valueName_
    std::string plainValueEnd_;                 // the value's end tag and its cell's, no space
    std::vector<std::uint64_t> needleNumbers_;  // the needles of under 20 digits, as numbers
    std::uint32_t needleLengths_ = 0;           // a bit per needle length (under 32)
    std::uint32_t needleLastDigits_ = 0;        // a bit per digit some needle ends with
    std::uint64_t failedAt_ = 0;
    std::vector<std::string> needles_;
};

// Whether text made of `words` (lower case) or of characters of `alphabet` alone could hold
// the anchor: a reader that makes such text cannot use the raw test for that keyword.
bool anchorIsInWordsOrAlphabet(std::string_view lowerAnchor,
                               std::initializer_list<std::string_view> words,
                               std::string_view alphabet);

}  // namespace quillmark::engine
