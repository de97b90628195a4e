// What the formula decompiler needs from a BIFF workbook: sheet names behind EXTERNSHEET
// indexes, defined and external names, and the shared and array formulas of the sheet in hand.
#pragma once

#include <cstdint>
#include <optional>
#include <unordered_map>
#include <vector>

#include "engine/biff/biff_globals.h"
#include "engine/formula/formula_text.h"

namespace quillmark::engine::biff {

// SHRFMLA and ARRAY records of one sheet by their anchor cell, which a FORMULA's ptgExp names.
// Their tokens are copied, as the stream is read by ranges; a sheet whose shared formulas
// pass kKeptBytes keeps the first ones only (the rest render as references they cannot name).
class SharedFormulaTable {
  public:
    static constexpr std::size_t kKeptBytes = std::size_t{32} << 20;

    void add(std::uint32_t row, std::uint32_t column, FormulaTokens tokens);
    // Valid until the next add().
    std::optional<FormulaTokens> find(std::uint32_t row, std::uint32_t column) const;

  private:
    struct Kept {
        std::vector<std::uint8_t> bytes;  // rgce, then the extra bytes
        std::size_t rgceLength = 0;
    };
    static std::uint64_t key(std::uint32_t row, std::uint32_t column) {
        return (static_cast<std::uint64_t>(row) << 32) | column;
    }
    std::unordered_map<std::uint64_t, Kept> formulas_;
    std::size_t keptBytes_ = 0;
};

// The context for formulas of one sheet; set row and column per formula. `globals` may be
// null (a single-sheet stream), and both must outlive the context.
FormulaContext makeFormulaContext(const Globals* globals, const SharedFormulaTable& shared);

}  // namespace quillmark::engine::biff
