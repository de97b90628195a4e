// What the fuzz targets share: a search of every grid sheet of a workbook with a few keywords,
// and small packages built in memory around the bytes under test.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/workbook.h"

namespace quillmark::fuzz {

// Searches every grid sheet of the workbook with each keyword in turn: one that is never
// found (the whole sheet streams), one found early (the early-stop paths), one a date holds.
void searchEverySheet(engine::WorkbookReader& reader);

// Opens the bytes as a workbook and, when that works, searches it.
void openAndSearch(std::vector<std::uint8_t> bytes, std::string_view fileName);

// A zip archive of these parts, stored without compression, in this order.
using Part = std::pair<std::string, std::string_view>;
std::vector<std::uint8_t> buildZip(const std::vector<Part>& parts);

inline std::string_view asText(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

}  // namespace quillmark::fuzz
