// The bytes as a single-file XML workbook, given straight to the SpreadsheetML 2003 reader and
// to the flat OpenDocument reader, so mutations that break the namespace sniffing still reach
// the parsers behind it.
#include "engine/core/file_data.h"
#include "engine/readers.h"
#include "fuzz_support.h"

namespace {

using quillmark::engine::ReaderOutcome;

void searchIfOpened(ReaderOutcome reader) {
    if (reader) quillmark::fuzz::searchEverySheet(*reader.value());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quillmark::engine;
    auto bytes = memoryData(std::vector<std::uint8_t>(data, data + size));
    searchIfOpened(openSpreadsheetMl(bytes));
    searchIfOpened(openFlatOds(bytes));
    return 0;
}
