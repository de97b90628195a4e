// The bytes as a BIFF record stream, as the compound file's Workbook stream or a bare BIFF file
// holds it: the globals, the shared strings, decryption, and every sheet's cells and formulas.
#include "engine/biff/biff_reader.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quillmark;
    auto bytes = engine::memoryData(std::vector<std::uint8_t>(data, data + size));
    auto reader = engine::biff::openBareStream(std::move(bytes), "book.xls");
    if (reader) fuzz::searchEverySheet(*reader.value());
    return 0;
}
