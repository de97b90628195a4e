// Cell error codes as the binary formats store them (BIFF8 BErr, BIFF12 BErr), and their text.
#pragma once

#include <cstdint>

namespace quillmark::engine {

// "#DIV/0!", "#N/A"...; nullptr for a code the formats do not define.
const char* errorCodeText(std::uint8_t code);

}  // namespace quillmark::engine
