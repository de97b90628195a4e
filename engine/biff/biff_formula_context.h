// What the formula decompiler needs from a BIFF workbook: sheet names behind EXTERNSHEET
// indexes, defined and external names, and the shared and array formulas of the sheet in hand.
#pragma once

#include <cstdint>
#include <optional>
#include <unordered_map>

#include "engine/biff/biff_globals.h"
#include "engine/formula/formula_text.h"

namespace quillmark::engine::biff {

// SHRFMLA and ARRAY records of one sheet by their anchor cell, which a FORMULA's ptgExp names.
// The tokens point into the workbook stream; nothing is copied.
class SharedFormulaTable {
  public:
    void add(std::uint32_t row, std::uint32_t column, FormulaTokens tokens) {
        formulas_[key(row, column)] = tokens;
    }
    std::optional<FormulaTokens> find(std::uint32_t row, std::uint32_t column) const {
        auto found = formulas_.find(key(row, column));
        if (found == formulas_.end()) return std::nullopt;
        return found->second;
    }

  private:
    static std::uint64_t key(std::uint32_t row, std::uint32_t column) {
        return (static_cast<std::uint64_t>(row) << 32) | column;
    }
    std::unordered_map<std::uint64_t, FormulaTokens> formulas_;
};

// The context for formulas of one sheet; set row and column per formula. `globals` may be
// null (a single-sheet stream), and both must outlive the context.
FormulaContext makeFormulaContext(const Globals* globals, const SharedFormulaTable& shared);

}  // namespace quillmark::engine::biff
