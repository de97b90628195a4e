// A small formula tokenizer: it only needs to tell references from everything that merely
// looks like one (quoted text, sheet names, function names, numbers with exponents).
#include "engine/xlsx/shared_formula.h"

#include <optional>

#include "engine/cell/a1_reference.h"
#include "engine/core/ascii.h"

namespace quillmark::engine {
namespace {

bool isWordChar(char c) {
    return isAsciiLetter(c) || isAsciiDigit(c) || c == '_' || c == '.' || c == '$' || c == '\\' ||
           c == '?' || static_cast<unsigned char>(c) >= 0x80;
}

// One part of a reference: a column ("$AB") or a row ("12"), with its "$" flag.
struct ReferencePart {
    bool absolute = false;
    std::int64_t value = 0;  // zero-based
};

// Parses `\$?LETTERS` from the start of `text`, returning the characters used (0 if none).
std::size_t parseColumnPart(std::string_view text, ReferencePart& part) {
    std::size_t i = 0;
    part.absolute = i < text.size() && text[i] == '$';
    if (part.absolute) ++i;
    std::size_t start = i;
    while (i < text.size() && isAsciiLetter(text[i]) && i - start < 4) ++i;
    auto column = parseColumnLetters(text.substr(start, i - start));
    if (!column) return 0;
    part.value = *column;
    return i;
}

// Parses `\$?DIGITS` from the start of `text`.
std::size_t parseRowPart(std::string_view text, ReferencePart& part) {
    std::size_t i = 0;
    part.absolute = i < text.size() && text[i] == '$';
    if (part.absolute) ++i;
    std::size_t start = i;
    std::int64_t row = 0;
    while (i < text.size() && isAsciiDigit(text[i]) && i - start < 8)
        row = row * 10 + (text[i++] - '0');
    if (i == start || row < 1 || row > kMaxRows) return 0;
    part.value = row - 1;
    return i;
}

bool shift(ReferencePart& part, std::int64_t offset, std::int64_t limit) {
    if (!part.absolute) part.value += offset;
    return part.value >= 0 && part.value < limit;
}

void appendColumn(const ReferencePart& part, std::string& out) {
    if (part.absolute) out += '$';
    appendColumnLetters(static_cast<std::uint32_t>(part.value), out);
}

void appendRow(const ReferencePart& part, std::string& out) {
    if (part.absolute) out += '$';
    out += std::to_string(part.value + 1);
}

class FormulaShifter {
  public:
    FormulaShifter(std::string_view text, std::int64_t rows, std::int64_t columns, std::string& out)
        : text_(text), rowOffset_(rows), columnOffset_(columns), out_(out) {}

    void run() {
        while (at_ < text_.size()) {
            char c = text_[at_];
            if (c == '"') {
                copyQuoted('"');
            } else if (c == '\'') {
                copyQuoted('\'');
            } else if (c == '[') {
                copyBracketed();
            } else if (isAsciiDigit(c) || c == '$' || isAsciiLetter(c) || c == '_' || c == '\\' ||
                       static_cast<unsigned char>(c) >= 0x80) {
                word();
            } else {
                out_ += c;
                ++at_;
            }
        }
    }

  private:
    // "text with "" inside" or 'sheet name with '' inside', copied as they are.
    void copyQuoted(char quote) {
        std::size_t end = at_ + 1;
        while (end < text_.size()) {
            if (text_[end] == quote) {
                if (end + 1 < text_.size() && text_[end + 1] == quote) {
                    end += 2;
                    continue;
                }
                ++end;
                break;
            }
            ++end;
        }
        out_.append(text_.substr(at_, end - at_));
        at_ = end;
    }

    // Structured references (Table1[[#This Row],[Price]]) and external book indexes ([1]).
    void copyBracketed() {
        std::size_t end = at_, depth = 0;
        while (end < text_.size()) {
            char c = text_[end++];
            if (c == '[') ++depth;
            if (c == ']' && --depth == 0) break;
        }
        out_.append(text_.substr(at_, end - at_));
        at_ = end;
    }

    void word() {
        std::size_t end = at_;
        bool startsWithDigit = isAsciiDigit(text_[at_]);
        if (startsWithDigit) {
            end = numberEnd(at_);
        } else {
            while (end < text_.size() && isWordChar(text_[end])) ++end;
        }
        std::string_view word = text_.substr(at_, end - at_);
        char next = end < text_.size() ? text_[end] : '\0';
        if (next == '!' || next == '(' || !(tryCell(word) || tryRange(word, end))) {
            out_.append(word);
            at_ = end;
            return;
        }
    }

    // A number: digits, a fraction and an exponent ("1.5E+10" is no reference to E10).
    std::size_t numberEnd(std::size_t from) const {
        std::size_t i = from;
        while (i < text_.size() && (isAsciiDigit(text_[i]) || text_[i] == '.')) ++i;
        if (i < text_.size() && (text_[i] == 'E' || text_[i] == 'e')) {
            std::size_t exponent = i + 1;
            if (exponent < text_.size() && (text_[exponent] == '+' || text_[exponent] == '-'))
                ++exponent;
            if (exponent < text_.size() && isAsciiDigit(text_[exponent])) {
                i = exponent;
                while (i < text_.size() && isAsciiDigit(text_[i])) ++i;
            }
        }
        return i;
    }

    // A whole word of the form $A$1.
    bool tryCell(std::string_view word) {
        ReferencePart column, row;
        std::size_t used = parseColumnPart(word, column);
        if (used == 0 || used == word.size()) return false;
        if (parseRowPart(word.substr(used), row) != word.size() - used) return false;
        if (shift(row, rowOffset_, kMaxRows) && shift(column, columnOffset_, kMaxColumns)) {
            appendColumn(column, out_);
            appendRow(row, out_);
        } else {
            out_ += "#REF!";
        }
        at_ += word.size();
        return true;
    }

    // Whole columns ("A:C") and whole rows ("1:3"): both ends must be of the same kind.
    bool tryRange(std::string_view first, std::size_t end) {
        if (end >= text_.size() || text_[end] != ':') return false;
        std::size_t secondStart = end + 1, secondEnd = secondStart;
        while (secondEnd < text_.size() && isWordChar(text_[secondEnd])) ++secondEnd;
        std::string_view second = text_.substr(secondStart, secondEnd - secondStart);
        if (second.empty()) return false;
        if (secondEnd < text_.size() && (text_[secondEnd] == '(' || text_[secondEnd] == '!'))
            return false;
        ReferencePart from, to;
        bool columns = parseColumnPart(first, from) == first.size() &&
                       parseColumnPart(second, to) == second.size();
        bool rows = !columns && parseRowPart(first, from) == first.size() &&
                    parseRowPart(second, to) == second.size();
        if (!columns && !rows) return false;
        std::int64_t offset = columns ? columnOffset_ : rowOffset_;
        std::int64_t limit = columns ? kMaxColumns : kMaxRows;
        if (!shift(from, offset, limit) || !shift(to, offset, limit)) {
            out_ += "#REF!";
        } else {
            auto append = columns ? appendColumn : appendRow;
            append(from, out_);
            out_ += ':';
            append(to, out_);
        }
        at_ = secondEnd;
        return true;
    }

    std::string_view text_;
    std::int64_t rowOffset_;
    std::int64_t columnOffset_;
    std::string& out_;
    std::size_t at_ = 0;
};

}  // namespace

void appendShiftedFormula(std::string_view formula, std::int64_t rowOffset,
                          std::int64_t columnOffset, std::string& out) {
    FormulaShifter(formula, rowOffset, columnOffset, out).run();
}

}  // namespace quillmark::engine
