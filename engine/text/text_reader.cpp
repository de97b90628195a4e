// Plain text as one worksheet named after the file: tab-separated fields, or comma-separated
// with double quotes when the name ends in ".csv". The text is read chunk by chunk and scanned
// field by field, never turned into a table; UTF-16 and non-UTF-8 text is converted as read.
#include <algorithm>

#include "engine/cell/cell_text.h"
#include "engine/core/matcher.h"
#include "engine/core/utf8.h"
#include "engine/readers.h"
#include "engine/text/text_decoder.h"

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

// Fields of the text in order, with their positions. CSV fields follow RFC 4180: a quoted
// field may hold separators, line breaks and doubled quotes; text after its closing quote
// is kept, as spreadsheet programs do. The text arrives chunk by chunk; only the field being
// read is kept, up to kMaxFieldBytes.
class FieldScanner {
  public:
    static constexpr std::size_t kMaxFieldBytes = std::size_t{16} << 20;

    FieldScanner(TextDecoder& input, bool csv)
        : input_(input), separator_(csv ? ',' : '\t'), csv_(csv) {}

    // The next field, valid until the next call; false at the end of the text or when the
    // input fails (then failure() says why).
    bool next(std::string_view& field, CellPosition& position) {
        if (started_) endField();
        started_ = true;
        if (failure_) return false;
        if (atEnd() && !pendingEmptyField_) return false;
        pendingEmptyField_ = false;
        position = CellPosition{row_, column_};
        fieldStart_ = at_;
        field = (csv_ && at_ < text_.size() && text_[at_] == '"') ? quotedField() : plainField();
        return !failure_;
    }
    const std::optional<Failure>& failure() const { return failure_; }

  private:
    // Appends more text, first dropping what lies before the field being read; false when
    // there is no more.
    bool more() {
        if (failure_ || ended_) return false;
        text_.erase(0, fieldStart_);
        at_ -= fieldStart_;
        fieldStart_ = 0;
        if (text_.size() > kMaxFieldBytes || unquoted_.size() > kMaxFieldBytes) {
            failure_ = fail(FailureKind::TooLarge, "a field longer than 16 MiB");
            return false;
        }
        auto got = input_.append(text_);
        if (!got) {
            failure_ = got.failure();
            return false;
        }
        ended_ = !got.value();
        return !ended_;
    }

    bool atEnd() {
        while (at_ >= text_.size())
            if (!more()) return true;
        return false;
    }

    std::string_view plainField() {
        for (;;) {
            std::size_t end = at_;
            while (end < text_.size() && text_[end] != separator_ && text_[end] != '\n' &&
                   text_[end] != '\r')
                ++end;
            at_ = end;
            if (end < text_.size() || !more()) break;
        }
        return std::string_view(text_).substr(fieldStart_, at_ - fieldStart_);
    }

    std::string_view quotedField() {
        unquoted_.clear();
        ++at_;
        for (;;) {
            std::size_t quote = text_.find('"', at_);
            if (quote == std::string::npos) {
                unquoted_.append(text_, at_);
                at_ = fieldStart_ = text_.size();
                if (!more()) break;
                continue;
            }
            unquoted_.append(text_, at_, quote - at_);
            at_ = fieldStart_ = quote + 1;
            if (!atEnd() && text_[at_] == '"') {
                unquoted_ += '"';
                ++at_;
                continue;
            }
            break;
        }
        fieldStart_ = at_;
        unquoted_.append(plainField());
        return unquoted_;
    }

    // Steps over the separator or line break that ends a field.
    void endField() {
        fieldStart_ = at_;
        if (atEnd()) return;
        char c = text_[at_++];
        fieldStart_ = at_;
        if (c == separator_) {
            column_ = column_ < 0xFFFFFFFEu ? column_ + 1 : column_;
            pendingEmptyField_ = atEnd();  // "a," ends with an empty field
            return;
        }
        if (c == '\r' && !atEnd() && text_[at_] == '\n') ++at_;
        row_ = row_ < 0xFFFFFFFEu ? row_ + 1 : row_;
        column_ = 0;
    }

    TextDecoder& input_;
    char separator_;
    bool csv_;
    std::string text_;
    std::size_t at_ = 0;
    std::size_t fieldStart_ = 0;  // text before it has been used and may be dropped
    bool ended_ = false;
    bool started_ = false;
    std::uint32_t row_ = 0, column_ = 0;
    bool pendingEmptyField_ = false;
    std::string unquoted_;
    std::optional<Failure> failure_;
};

class TextReader : public WorkbookReader {
  public:
    TextReader(std::shared_ptr<const FileData> data, std::string_view fileName)
        : data_(std::move(data)), csv_(endsWithIgnoringCase(fileName, ".csv")) {
        sheets_.push_back(SheetInfo{sheetNameFor(fileName), SheetKind::Worksheet, false});
    }

    const std::vector<SheetInfo>& sheets() const override { return sheets_; }

  protected:
    // UTF-8 (a byte order mark dropped) is read as it is; UTF-16 with a byte order mark is
    // converted; a file that is not all UTF-8 is read again as Latin-1 rather than lost.
    Status searchSheet(std::size_t, const Matcher& matcher, HitSink& sink) override {
        auto head = data_->head(3);
        if (!head) return head.failure();
        std::uint64_t start = 0;
        TextEncoding encoding = encodingFromByteOrderMark(head.value(), start);
        if (encoding != TextEncoding::Utf8) return search(matcher, sink, start, encoding, nullptr);
        bool latin1 = false;
        Status found = search(matcher, sink, start, TextEncoding::Utf8, &latin1);
        if (!found || !latin1) return found;
        return search(matcher, sink, start, TextEncoding::Latin1, nullptr);
    }

  private:
    // With `latin1` (reading as UTF-8): gives up and sets it as soon as the bytes prove not to
    // be UTF-8, and before the first cell is reported makes sure the whole file is UTF-8, so
    // that no cell of a Latin-1 file is ever reported as read in UTF-8.
    Status search(const Matcher& matcher, HitSink& sink, std::uint64_t start, TextEncoding encoding,
                  bool* latin1) {
        TextDecoder decoder(*data_, start, encoding);
        FieldScanner scanner(decoder, csv_);
        CellText cells(matcher, sink);
        std::string_view field;
        CellPosition position;
        bool checked = latin1 == nullptr;
        // A field is both the cell's value and, when it starts with "=", its formula text.
        while (scanner.next(field, position)) {
            if (latin1 && !decoder.valid()) break;
            if (!cells.text(field)) continue;
            if (!checked) {
                auto whole = wholeFileIsUtf8(start);
                if (!whole) return whole.failure();
                if (!whole.value()) {
                    *latin1 = true;
                    return Done{};
                }
                checked = true;
            }
            if (!cells.report(position)) break;
        }
        if (scanner.failure()) return *scanner.failure();
        if (latin1 && !decoder.valid()) *latin1 = true;
        return Done{};
    }

    Outcome<bool> wholeFileIsUtf8(std::uint64_t start) const {
        TextDecoder decoder(*data_, start, TextEncoding::Utf8);
        std::string ignored;
        for (;;) {
            ignored.clear();
            auto more = decoder.append(ignored);
            if (!more) return more.failure();
            if (!decoder.valid()) return false;
            if (!more.value()) return true;
        }
    }

    std::shared_ptr<const FileData> data_;
    bool csv_;
    std::vector<SheetInfo> sheets_;
};

}  // namespace

ReaderOutcome openText(std::shared_ptr<const FileData> data, std::string_view fileName) {
    return std::unique_ptr<WorkbookReader>(std::make_unique<TextReader>(std::move(data), fileName));
}

}  // namespace quillmark::engine
