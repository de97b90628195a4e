// Any bytes as a workbook file: the format sniffing, every reader's open, and a search of every
// grid sheet. Bytes that could be plain text are also read as comma-separated text.
#include <algorithm>
#include <cstring>

#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using quillmark::fuzz::openAndSearch;
    openAndSearch(std::vector<std::uint8_t>(data, data + size), "book.xls");
    if (size > 0 && std::memchr(data, 0, std::min<std::size_t>(size, 4096)) == nullptr)
        openAndSearch(std::vector<std::uint8_t>(data, data + size), "book.csv");
    return 0;
}
