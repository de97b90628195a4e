// The tokenizer accepts a little more than expat does and leaves line ends and attribute
// white space as written, so the bytes are checked on their way in (UTF-8, characters XML
// allows, no "<!", no "]]>", processing instructions only before the root) and normalized as
// expat would (CR LF and CR to LF; tab and LF in an attribute value to a space). Names and
// duplicate attributes are checked per start tag. Whatever is in doubt is declined.
#include "engine/xml/pull_parse.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "engine/xml/xml_pull_tokenizer.h"

namespace quillmark::engine {
namespace {

// The prolog (declaration, processing instructions) must end within this many bytes.
constexpr std::size_t kPrologLimit = std::size_t{64} << 10;

bool isSpace(std::uint8_t c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// ASCII names only: which non-ASCII letters expat takes for name characters is its own table.
enum NameClass : std::uint8_t { kNameStart = 1, kNameChar = 2 };
constexpr auto kNameClasses = [] {
    std::array<std::uint8_t, 256> classes{};
    for (int c = 0; c < 256; ++c) {
        bool start = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':';
        bool more = start || (c >= '0' && c <= '9') || c == '.' || c == '-';
        classes[c] = static_cast<std::uint8_t>((start ? kNameStart : 0) | (more ? kNameChar : 0));
    }
    return classes;
}();
bool isNameStart(std::uint8_t c) {
    return (kNameClasses[c] & kNameStart) != 0;
}
bool isNameChar(std::uint8_t c) {
    return (kNameClasses[c] & kNameChar) != 0;
}

bool isPlainName(std::string_view name) {
    if (name.empty() || !isNameStart(static_cast<std::uint8_t>(name[0]))) return false;
    for (char c : name.substr(1))
        if (!isNameChar(static_cast<std::uint8_t>(c))) return false;
    return true;
}

bool hasTabOrLineFeed(std::string_view text) {
    for (char c : text)
        if (c == '\t' || c == '\n') return true;
    return false;
}

// Reads a prolog strictly: where it ends (the root's '<'), or nothing.
class Prolog {
  public:
    explicit Prolog(const std::vector<std::uint8_t>& bytes) : bytes_(bytes) {}

    std::optional<std::size_t> rootStart() {
        if (startsWith("\xEF\xBB\xBF")) at_ += 3;
        if (startsWith("<?xml") && at_ + 5 < bytes_.size() && isSpace(bytes_[at_ + 5])) {
            at_ += 5;
            if (!declaration()) return std::nullopt;
        }
        for (;;) {
            while (at_ < bytes_.size() && isSpace(bytes_[at_])) ++at_;
            if (at_ + 1 >= bytes_.size() || bytes_[at_] != '<') return std::nullopt;
            if (isNameStart(bytes_[at_ + 1])) return at_;
            if (bytes_[at_ + 1] != '?' || !instruction()) return std::nullopt;
        }
    }

  private:
    bool startsWith(std::string_view text) const {
        return bytes_.size() - at_ >= text.size() &&
               std::memcmp(text.data(), bytes_.data() + at_, text.size()) == 0;
    }
    bool skipSpace() {
        std::size_t from = at_;
        while (at_ < bytes_.size() && isSpace(bytes_[at_])) ++at_;
        return at_ > from;
    }
    bool take(std::string_view text) {
        if (!startsWith(text)) return false;
        at_ += text.size();
        return true;
    }
    // name = "value", the value one of `allowed` (ASCII case ignored when `anyCase`).
    bool pseudoAttribute(std::string_view name, std::initializer_list<std::string_view> allowed,
                         bool anyCase) {
        if (!take(name)) return false;
        skipSpace();
        if (!take("=")) return false;
        skipSpace();
        if (at_ >= bytes_.size() || (bytes_[at_] != '"' && bytes_[at_] != '\'')) return false;
        std::uint8_t quote = bytes_[at_++];
        std::size_t start = at_;
        while (at_ < bytes_.size() && bytes_[at_] != quote) ++at_;
        if (at_ >= bytes_.size()) return false;
        std::string value(bytes_.begin() + start, bytes_.begin() + at_++);
        if (anyCase)
            for (char& c : value) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c | 0x20 : c);
        return std::find(allowed.begin(), allowed.end(), value) != allowed.end();
    }
    // version="1.0" [encoding="UTF-8"] [standalone="yes"|"no"] ?>
    bool declaration() {
        skipSpace();
        if (!pseudoAttribute("version", {"1.0"}, false)) return false;
        bool spaced = skipSpace();
        if (spaced && startsWith("encoding")) {
            if (!pseudoAttribute("encoding", {"utf-8"}, true)) return false;
            spaced = skipSpace();
        }
        if (spaced && startsWith("standalone")) {
            if (!pseudoAttribute("standalone", {"yes", "no"}, false)) return false;
            skipSpace();
        }
        return take("?>");
    }
    // <?target ...?> with an ASCII target that does not begin with "xml" in any case.
    bool instruction() {
        at_ += 2;
        std::size_t start = at_;
        while (at_ < bytes_.size() && isNameChar(bytes_[at_]) && bytes_[at_] != ':') ++at_;
        if (at_ == start || !isNameStart(bytes_[start])) return false;
        std::string target(bytes_.begin() + start, bytes_.begin() + at_);
        for (char& c : target) c = static_cast<char>(c | 0x20);
        if (target.rfind("xml", 0) == 0) return false;
        if (!skipSpace() && !startsWith("?>")) return false;
        for (; at_ + 1 < bytes_.size(); ++at_)
            if (bytes_[at_] == '?' && bytes_[at_ + 1] == '>') {
                at_ += 2;
                return true;
            }
        return false;
    }

    const std::vector<std::uint8_t>& bytes_;
    std::size_t at_ = 0;
};

// The file's bytes for the tokenizer, checked and normalized as they pass.
class CheckedSource {
  public:
    CheckedSource(const FileData& file, std::uint64_t rootStart)
        : cursor_(file), rootStart_(rootStart) {}

    // Why the file could not be read, as opposed to the document being declined.
    const std::optional<Failure>& readFailure() const { return readFailure_; }

    Outcome<std::size_t> read(char* buffer, std::size_t capacity) {
        auto* data = reinterpret_cast<std::uint8_t*>(buffer);
        for (;;) {
            auto got = cursor_.read(data, capacity);
            if (!got) {
                readFailure_ = got.failure();
                return got.failure();
            }
            if (got.value() == 0) {
                if (pending_ > 0) return declined();  // a character cut off at the end
                return std::size_t{0};
            }
            std::size_t kept = 0;
            if (!pass(data, got.value(), kept)) return declined();
            offset_ += got.value();
            if (kept > 0) return kept;  // else only a dropped LF: read on
        }
    }

  private:
    static Failure declined() { return Failure{FailureKind::Unsupported, "left to expat"}; }

    bool clean() const { return pending_ == 0 && !dropLineFeed_ && brackets_ == 0; }

    // Moves data[0, count) through the checks, writing the normalized bytes from data[0].
    bool pass(std::uint8_t* data, std::size_t count, std::size_t& kept) {
        std::size_t in = 0, out = 0;
        while (in < count) {
#if defined(__SSE2__)
            if (clean() && in + 16 <= count) {
                __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + in));
                // Bytes below 0x20 or from 0x80 (signed below 0x20) but tab and LF, and the
                // few that start a check.
                __m128i odd =
                    _mm_andnot_si128(_mm_or_si128(_mm_cmpeq_epi8(block, _mm_set1_epi8('\t')),
                                                  _mm_cmpeq_epi8(block, _mm_set1_epi8('\n'))),
                                     _mm_cmplt_epi8(block, _mm_set1_epi8(0x20)));
                odd = _mm_or_si128(odd, _mm_cmpeq_epi8(block, _mm_set1_epi8(0x7F)));
                odd = _mm_or_si128(odd, _mm_cmpeq_epi8(block, _mm_set1_epi8('!')));
                odd = _mm_or_si128(odd, _mm_cmpeq_epi8(block, _mm_set1_epi8('?')));
                odd = _mm_or_si128(odd, _mm_cmpeq_epi8(block, _mm_set1_epi8(']')));
                auto mask = static_cast<unsigned>(_mm_movemask_epi8(odd));
                std::size_t plain = mask == 0 ? 16 : static_cast<std::size_t>(__builtin_ctz(mask));
                if (plain > 0) {
                    if (out != in) std::memmove(data + out, data + in, plain);
                    in += plain;
                    out += plain;
                    last_ = data[out - 1];
                    continue;
                }
            }
#endif
            std::uint8_t c = data[in];
            std::uint64_t position = offset_ + in++;
            if (dropLineFeed_) {
                dropLineFeed_ = false;
                if (c == '\n') continue;
            }
            if (brackets_ > 0 && c != ']') {
                if (brackets_ >= 2 && c == '>') return false;
                brackets_ = 0;
            }
            if (pending_ > 0) {
                if ((c & 0xC0) != 0x80) return false;
                codePoint_ = (codePoint_ << 6) | (c & 0x3F);
                if (--pending_ == 0 && !completeCharacter()) return false;
            } else if (c >= 0x80) {
                if (c >= 0xC2 && c <= 0xDF) {
                    pending_ = length_ = 1;
                } else if (c >= 0xE0 && c <= 0xEF) {
                    pending_ = length_ = 2;
                } else if (c >= 0xF0 && c <= 0xF4) {
                    pending_ = length_ = 3;
                } else {
                    return false;
                }
                codePoint_ = c & (0x3F >> length_);
            } else if (c == '\r') {
                c = '\n';
                dropLineFeed_ = true;
            } else if ((c < 0x20 && c != '\t' && c != '\n') || c == 0x7F) {
                return false;
            } else if (c == '!' && last_ == '<') {
                return false;  // comments, CDATA and declarations
            } else if (c == '?' && last_ == '<' && position > rootStart_) {
                return false;
            } else if (c == ']') {
                ++brackets_;
            }
            data[out++] = c;
            last_ = c;
        }
        kept = out;
        return true;
    }

    // Shortest form, no surrogates, nothing past U+10FFFF, neither U+FFFE nor U+FFFF.
    bool completeCharacter() const {
        static constexpr char32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
        if (codePoint_ < kLeast[length_] || codePoint_ > 0x10FFFF) return false;
        if (codePoint_ >= 0xD800 && codePoint_ <= 0xDFFF) return false;
        return codePoint_ != 0xFFFE && codePoint_ != 0xFFFF;
    }

    FileCursor cursor_;
    std::uint64_t rootStart_;
    std::uint64_t offset_ = 0;  // of the next byte read, in the file
    std::optional<Failure> readFailure_;
    std::uint8_t last_ = 0;         // the last byte handed on
    bool dropLineFeed_ = false;     // a CR was just handed on as LF
    int brackets_ = 0;              // ']' in a row just before
    int pending_ = 0, length_ = 0;  // continuation bytes still due, and in all
    char32_t codePoint_ = 0;
};

// Name, value, ..., nullptr, as expat hands attributes over; values unescaped and with
// their tabs and line ends as spaces.
class Attributes {
  public:
    bool read(const XmlPullTokenizer& tokens) {
        storage_.clear();
        offsets_.clear();
        std::size_t count = tokens.attributeCount();
        for (std::size_t i = 0; i < count; ++i) {
            std::string_view name = tokens.attributeQualifiedName(i);
            if (!isPlainName(name)) return false;
            for (std::size_t j = 0; j < i; ++j)
                if (tokens.attributeQualifiedName(j) == name) return false;
            offsets_.push_back(storage_.size());
            storage_.append(name);
            storage_ += '\0';
            offsets_.push_back(storage_.size());
            std::string_view raw = tokens.attributeRawValue(i);
            if (hasTabOrLineFeed(raw)) {
                spaced_.assign(raw);
                for (char& c : spaced_)
                    if (c == '\t' || c == '\n') c = ' ';
                raw = spaced_;
            }
            appendXmlUnescaped(raw, storage_);  // checked when the tag was lexed
            storage_ += '\0';
        }
        pairs_.clear();
        for (std::size_t offset : offsets_) pairs_.push_back(storage_.data() + offset);
        pairs_.push_back(nullptr);
        return true;
    }
    XmlAttributes view() const { return XmlAttributes(const_cast<const char**>(pairs_.data())); }

  private:
    std::string storage_, spaced_;
    std::vector<std::size_t> offsets_;
    std::vector<const char*> pairs_;
};

}  // namespace

std::optional<Status> parseWithPullTokenizer(const FileData& file, XmlHandler& handler) {
    auto head = file.head(kPrologLimit);
    if (!head) return Status(head.failure());
    auto rootStart = Prolog(head.value()).rootStart();
    if (!rootStart) return std::nullopt;
    auto source = std::make_shared<CheckedSource>(file, *rootStart);
    XmlPullTokenizer tokens(
        [source](char* buffer, std::size_t capacity) { return source->read(buffer, capacity); });
    Attributes attributes;
    for (;;) {
        switch (tokens.next()) {
            case XmlToken::StartElement:
                if (!isPlainName(tokens.qualifiedName()) || !attributes.read(tokens))
                    return std::nullopt;
                handler.startElement(tokens.name(), attributes.view());
                break;
            case XmlToken::EndElement:
                handler.endElement(tokens.name());
                break;
            case XmlToken::Text:
                handler.characters(tokens.text());
                break;
            case XmlToken::EndOfDocument:
                return Status(Done{});
            case XmlToken::Error:
                if (source->readFailure()) return Status(*source->readFailure());
                return std::nullopt;
        }
    }
}

}  // namespace quillmark::engine
