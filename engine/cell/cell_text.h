// The one rule for what text of a cell a keyword is matched against, shared by every reader.
// A reader hands over what the cell stores (a string, a shared string's index, a number with
// whether its format shows a date, a boolean, an error's text, its formula text); this asks
// the matcher and reports the cell to the sink with the text the matcher accepted.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "engine/cell/serial_date.h"
#include "engine/workbook.h"

namespace quillmark::engine {

class Matcher;
class StringTableMatches;

class CellText {
  public:
    CellText(const Matcher& matcher, HitSink& sink);

    const Matcher& matcher() const { return matcher_; }
    // Cheap answers made once per sheet: can the keyword match a number's own text, or a
    // date's? When not, a reader need not even decode a number.
    bool numbersCanMatch() const { return numbersCanMatch_; }
    bool datesCanMatch() const { return datesCanMatch_; }
    bool numberMayMatch(bool shownAsDate) const {
        return numbersCanMatch_ || (shownAsDate && datesCanMatch_);
    }

    // Each test is true when the value matches; its text then stands ready for report(). A
    // view passed in must outlive that report.
    bool text(std::string_view value);
    bool boolean(bool value) { return text(value ? "TRUE" : "FALSE"); }
    // An entry of a table matched once per keyword.
    bool sharedString(const StringTableMatches* table, std::size_t index);
    // A number is searched as the shortest text that reads back as it; one shown as a date
    // is searched as that date only (m/d/yyyy), never as its serial's digits.
    bool number(double value, bool shownAsDate, DateEpoch epoch);
    // A number as the file writes it ("3.14159"), parsed only when shown as a date.
    bool writtenNumber(std::string_view written, bool shownAsDate, DateEpoch epoch);
    // A date serial (nothing: not a date), else the text as written.
    bool dateOrText(std::optional<double> serial, DateEpoch epoch, std::string_view written);
    // Formula text as a formula bar shows it, "=" first.
    bool formula(std::string_view formulaText);

    // Hands the cell to the sink with the text of the last test that matched; false when the
    // sink wants no more. `count` cells rightwards from `at` holding the same content.
    bool report(CellPosition at);
    std::string_view acceptedText() const { return accepted_; }
    bool acceptedViaFormula() const { return viaFormula_; }
    bool reportRun(CellPosition at, std::uint32_t count);

  private:
    bool accept(std::string_view text, bool viaFormula);
    bool dateText(double serial, DateEpoch epoch);

    const Matcher& matcher_;
    HitSink& sink_;
    const bool numbersCanMatch_;
    const bool datesCanMatch_;
    std::string built_;  // number and date texts
    std::string_view accepted_;
    bool viaFormula_ = false;
};

}  // namespace quillmark::engine
