// For readers that pass over every sheet of a document at once (OpenDocument, SpreadsheetML
// 2003): each sheet's first hit is kept for the keyword, so that searching the sheets in
// turn costs one pass, and a later search for all of a sheet's hits starts with it.
#pragma once

#include <optional>
#include <string>

#include "engine/workbook.h"

namespace quillmark::engine {

struct KeptHit {
    CellPosition cell;
    std::string text;
    bool viaFormula = false;

    CellHit view() const { return CellHit{cell, text, viaFormula}; }
};

// Keeps the first hit it is given and wants no more.
class FirstHitKeeper final : public HitSink {
  public:
    explicit FirstHitKeeper(std::optional<KeptHit>& slot) : slot_(slot) {}
    bool take(const CellHit& hit) override {
        slot_ = KeptHit{hit.cell, std::string(hit.text), hit.viaFormula};
        return false;
    }
    bool takeRun(const CellHit& hit, std::uint32_t) override { return take(hit); }

  private:
    std::optional<KeptHit>& slot_;
};

// Passes hits on to `sink` but the first, which it was already given from a KeptHit.
class AfterFirstHit final : public HitSink {
  public:
    explicit AfterFirstHit(HitSink& sink) : sink_(sink) {}
    bool take(const CellHit& hit) override {
        if (!skipped_) return skipped_ = true;
        return sink_.take(hit);
    }
    bool takeRun(const CellHit& hit, std::uint32_t count) override {
        if (skipped_) return sink_.takeRun(hit, count);
        skipped_ = true;
        if (count <= 1) return true;
        CellHit rest = hit;
        ++rest.cell.column;
        return sink_.takeRun(rest, count - 1);
    }

  private:
    HitSink& sink_;
    bool skipped_ = false;
};

}  // namespace quillmark::engine
