// The cell-text rule. Number and date texts are built only when the keyword could match them.
#include "engine/cell/cell_text.h"

#include <charconv>

#include "engine/cell/number_text.h"
#include "engine/core/keyword_alphabet.h"
#include "engine/core/matcher.h"
#include "engine/core/string_table_matches.h"

namespace quillmark::engine {

CellText::CellText(const Matcher& matcher, HitSink& sink)
    : matcher_(matcher),
      sink_(sink),
      numbersCanMatch_(keywordCanMatchTextOf(matcher.keyword(), kNumberAlphabet)),
      datesCanMatch_(keywordCanMatchTextOf(matcher.keyword(), kDateAlphabet)) {}

bool CellText::accept(std::string_view text, bool viaFormula) {
    if (!matcher_.matches(text)) return false;
    accepted_ = text;
    viaFormula_ = viaFormula;
    return true;
}

bool CellText::text(std::string_view value) {
    return accept(value, false);
}

bool CellText::formula(std::string_view formulaText) {
    return accept(formulaText, true);
}

bool CellText::sharedString(const StringTableMatches* table, std::size_t index) {
    if (table == nullptr || !table->matches(index)) return false;
    accepted_ = table->text(index);
    viaFormula_ = false;
    return true;
}

bool CellText::dateText(double serial, DateEpoch epoch) {
    if (!datesCanMatch_) return false;
    built_.clear();
    appendSerialDateText(serial, epoch, built_);
    return accept(built_, false);
}

bool CellText::number(double value, bool shownAsDate, DateEpoch epoch) {
    if (shownAsDate && serialHasDateText(value, epoch)) return dateText(value, epoch);
    if (!numbersCanMatch_) return false;
    built_.clear();
    appendNumberText(value, built_);
    return accept(built_, false);
}

bool CellText::writtenNumber(std::string_view written, bool shownAsDate, DateEpoch epoch) {
    if (written.empty()) return false;
    if (shownAsDate) {
        double serial = 0;
        auto result = std::from_chars(written.data(), written.data() + written.size(), serial);
        if (result.ec == std::errc() && serialHasDateText(serial, epoch))
            return dateText(serial, epoch);
    }
    return numbersCanMatch_ && accept(written, false);
}

bool CellText::dateOrText(std::optional<double> serial, DateEpoch epoch, std::string_view written) {
    if (serial && serialHasDateText(*serial, epoch)) return dateText(*serial, epoch);
    return text(written);
}

bool CellText::report(CellPosition at) {
    return sink_.take(CellHit{at, accepted_, viaFormula_});
}

bool CellText::reportRun(CellPosition at, std::uint32_t count) {
    if (count == 1) return report(at);
    return sink_.takeRun(CellHit{at, accepted_, viaFormula_}, count);
}

}  // namespace quillmark::engine
