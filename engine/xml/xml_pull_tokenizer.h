// A pull tokenizer for the well-formed XML subset a worksheet part uses: elements,
// attributes, text, CDATA, comments, processing instructions, the five predefined entities
// and character references. Anything else (a DOCTYPE, an undefined entity) fails the part.
// It reads its input chunk by chunk; a token may straddle chunks. It exists because the
// worksheet is the hot path and a general parser spends several times the inflate cost there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/core/byte_buffer.h"
#include "engine/core/outcome.h"

namespace quillmark::engine {

enum class XmlToken { StartElement, EndElement, Text, EndOfDocument, Error };

class XmlPullTokenizer {
  public:
    // Fills `buffer` with up to `capacity` bytes; 0 means the input has ended.
    using Source = std::function<Outcome<std::size_t>(char* buffer, std::size_t capacity)>;

    explicit XmlPullTokenizer(Source source);
    // Over a document already in memory, read where it lies.
    explicit XmlPullTokenizer(std::shared_ptr<const ByteBuffer> whole);

    // A place in a document in memory to tokenize again from: just before a start tag, with
    // the elements open there.
    struct Mark {
        std::shared_ptr<const ByteBuffer> whole;
        std::size_t offset = 0;
        std::vector<std::uint64_t> openElementKeys;
    };
    // From a mark: the first token is the start tag it was taken at.
    explicit XmlPullTokenizer(const Mark& mark);
    // Right after a StartElement of a document in memory: a mark before that start tag.
    // Nothing for a streamed document, which cannot be gone back to.
    std::optional<Mark> markBeforeStartTag() const;

    // The next token. After Error, failure() says why and every later call repeats Error.
    // An empty element (<c/>) comes as StartElement then EndElement.
    XmlToken next();
    const Failure& failure() const { return failure_; }

    // For StartElement and EndElement: the local name (any "prefix:" stripped).
    std::string_view name() const { return name_; }
    // For StartElement: the name as written, prefix and all.
    std::string_view qualifiedName() const { return qualifiedName_; }
    // For StartElement: the value of the attribute with this local name, entities resolved
    // (into `storage` when there are any). Valid until the next call of next().
    std::optional<std::string_view> attribute(std::string_view localName,
                                              std::string& storage) const;
    // The same by position, for a single pass over all attributes of a start tag.
    std::size_t attributeCount() const { return attributes_.size(); }
    std::string_view attributeName(std::size_t index) const { return attributes_[index].name; }
    std::string_view attributeValue(std::size_t index, std::string& storage) const;
    // The attribute's name and value as written: prefix kept, references unresolved.
    std::string_view attributeQualifiedName(std::size_t index) const {
        return attributes_[index].qualifiedName;
    }
    std::string_view attributeRawValue(std::size_t index) const {
        return attributes_[index].rawValue;
    }
    // For Text: the text, entities resolved. Character data between two tags may come as
    // several Text tokens (CDATA sections are tokens of their own).
    std::string_view text() const { return text_; }

    // Right after a StartElement: when the element holds nothing but plain text (no markup,
    // no references) and its end tag follows within the bytes at hand, consumes both and
    // returns true, as if the Text and EndElement tokens had been read. Otherwise changes
    // nothing and returns false. For elements whose content the caller does not need.
    bool skipTextContent();

    // Elements open at this point, counting an empty element whose end is still to come.
    std::size_t openElements() const { return openElementKeys_.size() + (pendingEnd_ ? 1 : 0); }
    // Consumes everything up to the end tag that leaves `count` elements open, without
    // reporting it: content the caller does not need is only scanned for tag boundaries and
    // quotes, which is several times cheaper than tokenizing it. Nesting is counted but end
    // tag names are not checked there. False (with failure() set) when the input ends first.
    bool skipUntilOpenElements(std::size_t count);

    // Largest single token kept in memory; past it the part fails as too large.
    static constexpr std::size_t kMaxTokenBytes = std::size_t{64} << 20;

  private:
    enum class Lex { Done, NeedMore, Bad };
    struct Attribute {
        std::string_view name;  // local name
        std::string_view qualifiedName;
        std::string_view rawValue;
        bool hasReferences;  // holds "&": resolve before use
    };

    XmlToken fail(FailureKind kind, std::string reason);
    bool cancelledHere() { return begin_ >= nextCancelCheck_ && askCancelToken(); }
    bool askCancelToken();
    bool refill();
    XmlToken finish();
    Lex lexText(XmlToken& token);
    Lex lexMarkup(XmlToken& token);
    Lex lexStartTag(XmlToken& token);
    Lex lexEndTag(XmlToken& token);
    Lex lexSkipped(std::string_view terminator, std::size_t from);
    Lex lexCdata(XmlToken& token);
    Lex lexDeclaration();
    Lex skipMarkup(std::size_t& depth);
    void skipPlainTags(std::size_t& depth, std::size_t count);
    std::size_t nameEnd(std::size_t from) const;
    std::size_t nameEnd(std::size_t from, std::size_t& localStart) const;

    Source source_;
    CharBuffer buffer_;                        // in memory: only the tail after the last <
    std::shared_ptr<const ByteBuffer> whole_;  // or the document in memory
    const char* data_ = nullptr;               // buffer_'s bytes, or whole_'s
    std::size_t nextCancelCheck_ = SIZE_MAX;   // in memory: where to ask the cancel token next
    std::size_t begin_ = 0;                    // first byte not yet consumed
    std::size_t tokenStart_ = 0;               // where the last token began
    std::size_t end_ = 0;                      // end of the bytes read so far
    bool inputEnded_ = false;
    bool sawRoot_ = false;
    bool atDocumentStart_ = true;
    bool pendingEnd_ = false;
    // One key per open element: its qualified name packed into the key when it has at most
    // seven bytes (exact), else a 64-bit hash of it (a mismatch is then missed only by chance).
    std::vector<std::uint64_t> openElementKeys_;

    std::string_view name_;
    std::string_view qualifiedName_;
    std::string_view text_;
    std::string textStorage_;
    std::vector<Attribute> attributes_;
    Failure failure_{FailureKind::Corrupt, {}};
    bool failed_ = false;
};

// Resolves the predefined entities and character references of `raw` into `out`; false for
// anything else (an undefined entity, a reference to no character, a bare "&").
bool appendXmlUnescaped(std::string_view raw, std::string& out);

}  // namespace quillmark::engine
