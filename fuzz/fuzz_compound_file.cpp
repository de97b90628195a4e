// The bytes as an OLE2 compound file: the header, allocation tables and directory, then every
// stream read out in full.
#include "engine/container/compound_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using quillmark::engine::CompoundFile;
    std::vector<std::uint8_t> bytes(data, data + size);  // exactly sized, so overreads show
    auto file = CompoundFile::open(quillmark::engine::memoryData(bytes));
    if (!file) return 0;
    for (const CompoundFile::Entry& entry : file.value().entries()) {
        if (entry.type != CompoundFile::EntryType::Stream) continue;
        auto stream = file.value().readStream(entry);
        if (stream && stream.value().size() > bytes.size()) __builtin_trap();
    }
    file.value().findStream("Workbook");
    return 0;
}
