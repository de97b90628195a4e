// Plain text as one worksheet named after the file: tab-separated fields, or comma-separated
// with double quotes when the name ends in ".csv". The text is scanned field by field and
// never turned into a table; only a UTF-16 or non-UTF-8 file is converted (once) to UTF-8.
#include <algorithm>

#include "engine/core/matcher.h"
#include "engine/core/utf8.h"
#include "engine/readers.h"

namespace quillmark::engine {
namespace {

bool endsWithIgnoringCase(std::string_view text, std::string_view suffix) {
    if (text.size() < suffix.size()) return false;
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
    return std::equal(suffix.begin(), suffix.end(), text.end() - suffix.size(),
                      [&](char a, char b) { return lower(a) == lower(b); });
}

std::string sheetNameFor(std::string_view fileName) {
    std::size_t dot = fileName.rfind('.');
    if (dot == std::string_view::npos || dot == 0) return std::string(fileName);
    return std::string(fileName.substr(0, dot));
}

bool isValidUtf8(std::string_view text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = p + text.size();
    while (p < end) {
        if (*p < 0x80) {
            ++p;
            continue;
        }
        int length = (*p & 0xE0) == 0xC0   ? 2
                     : (*p & 0xF0) == 0xE0 ? 3
                     : (*p & 0xF8) == 0xF0 ? 4
                                           : 0;
        if (length == 0 || end - p < length || (length == 2 && *p < 0xC2)) return false;
        for (int i = 1; i < length; ++i)
            if ((p[i] & 0xC0) != 0x80) return false;
        p += length;
    }
    return true;
}

// Fields of the text in order, with their positions. CSV fields follow RFC 4180: a quoted
// field may hold separators, line breaks and doubled quotes; text after its closing quote
// is kept, as spreadsheet programs do.
class FieldScanner {
  public:
    FieldScanner(std::string_view text, bool csv)
        : text_(text), separator_(csv ? ',' : '\t'), csv_(csv) {}

    // The next field, or false at the end of the text.
    bool next(std::string_view& field, CellPosition& position) {
        if (at_ >= text_.size() && !pendingEmptyField_) return false;
        pendingEmptyField_ = false;
        position = CellPosition{row_, column_};
        field = (csv_ && at_ < text_.size() && text_[at_] == '"') ? quotedField() : plainField();
        endField();
        return true;
    }

  private:
    std::string_view plainField() {
        std::size_t end = at_;
        while (end < text_.size() && text_[end] != separator_ && text_[end] != '\n' &&
               text_[end] != '\r')
            ++end;
        std::string_view field = text_.substr(at_, end - at_);
        at_ = end;
        return field;
    }

    std::string_view quotedField() {
        unquoted_.clear();
        ++at_;
        while (at_ < text_.size()) {
            std::size_t quote = text_.find('"', at_);
            if (quote == std::string_view::npos) quote = text_.size();
            unquoted_.append(text_.substr(at_, quote - at_));
            at_ = quote + 1;
            if (at_ < text_.size() && text_[at_] == '"') {
                unquoted_ += '"';
                ++at_;
                continue;
            }
            break;
        }
        at_ = std::min(at_, text_.size());
        unquoted_.append(plainField());
        return unquoted_;
    }

    // Steps over the separator or line break that ends a field.
    void endField() {
        if (at_ >= text_.size()) return;
        char c = text_[at_++];
        if (c == separator_) {
            column_ = column_ < 0xFFFFFFFEu ? column_ + 1 : column_;
            pendingEmptyField_ = at_ == text_.size();  // "a," ends with an empty field
            return;
        }
        if (c == '\r' && at_ < text_.size() && text_[at_] == '\n') ++at_;
        row_ = row_ < 0xFFFFFFFEu ? row_ + 1 : row_;
        column_ = 0;
    }

    std::string_view text_;
    char separator_;
    bool csv_;
    std::size_t at_ = 0;
    std::uint32_t row_ = 0, column_ = 0;
    bool pendingEmptyField_ = false;
    std::string unquoted_;
};

class TextReader : public WorkbookReader {
  public:
    TextReader(std::shared_ptr<const FileData> data, std::string_view fileName)
        : data_(std::move(data)), csv_(endsWithIgnoringCase(fileName, ".csv")) {
        sheets_.push_back(SheetInfo{sheetNameFor(fileName), SheetKind::Worksheet, false});
        decode();
    }

    const std::vector<SheetInfo>& sheets() const override { return sheets_; }

    Outcome<std::optional<CellPosition>> findFirst(std::size_t sheetIndex,
                                                   const Matcher& matcher) override {
        if (sheetIndex != 0) return fail(FailureKind::NoSuchSheet, "no sheet at that position");
        if (matcher.matchesNothing()) return std::optional<CellPosition>();
        FieldScanner scanner(text_, csv_);
        std::string_view field;
        CellPosition position;
        // A field is both the cell's value and, when it starts with "=", its formula text.
        while (scanner.next(field, position))
            if (matcher.matches(field)) return std::optional<CellPosition>(position);
        return std::optional<CellPosition>();
    }

  private:
    // UTF-8 (a byte order mark dropped) is read in place; UTF-16 with a byte order mark is
    // converted; bytes that are not UTF-8 are taken as Latin-1 rather than lost.
    void decode() {
        Bytes bytes = data_->bytes();
        std::string_view raw(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        if (raw.size() >= 2 && (raw.substr(0, 2) == "\xFF\xFE" || raw.substr(0, 2) == "\xFE\xFF")) {
            bool bigEndian = raw[0] == '\xFE';
            std::size_t units = (raw.size() - 2) / 2;
            std::vector<unsigned char> littleEndian(bytes.begin() + 2,
                                                    bytes.begin() + 2 + units * 2);
            if (bigEndian)
                for (std::size_t i = 0; i + 1 < littleEndian.size(); i += 2)
                    std::swap(littleEndian[i], littleEndian[i + 1]);
            appendUtf16LeAsUtf8(littleEndian.data(), units, decoded_);
            text_ = decoded_;
            return;
        }
        if (raw.substr(0, 3) == "\xEF\xBB\xBF") raw.remove_prefix(3);
        if (isValidUtf8(raw)) {
            text_ = raw;
            return;
        }
        appendLatin1AsUtf8(reinterpret_cast<const unsigned char*>(raw.data()), raw.size(),
                           decoded_);
        text_ = decoded_;
    }

    std::shared_ptr<const FileData> data_;
    bool csv_;
    std::vector<SheetInfo> sheets_;
    std::string decoded_;
    std::string_view text_;
};

}  // namespace

ReaderOutcome openText(std::shared_ptr<const FileData> data, std::string_view fileName) {
    return std::unique_ptr<WorkbookReader>(std::make_unique<TextReader>(std::move(data), fileName));
}

}  // namespace quillmark::engine
