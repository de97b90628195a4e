// Little-endian reads from bounded byte spans, shared by the compound file and BIFF readers.
// Callers check the span's length first; these helpers only assemble the bytes.
#pragma once

#include <cstdint>
#include <cstring>

#include "engine/core/file_data.h"

namespace quillmark::engine {

inline std::uint16_t readU16(const std::uint8_t* bytes) {
    return static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8));
}

inline std::uint32_t readU32(const std::uint8_t* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8) |
           (static_cast<std::uint32_t>(bytes[2]) << 16) |
           (static_cast<std::uint32_t>(bytes[3]) << 24);
}

inline std::uint64_t readU64(const std::uint8_t* bytes) {
    return static_cast<std::uint64_t>(readU32(bytes)) |
           (static_cast<std::uint64_t>(readU32(bytes + 4)) << 32);
}

inline double readF64(const std::uint8_t* bytes) {
    std::uint64_t bits = readU64(bytes);
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// The same at an offset into a span, or `fallback` when the bytes are not all there.
inline std::uint16_t readU16At(Bytes bytes, std::size_t offset, std::uint16_t fallback = 0) {
    return offset <= bytes.size() && bytes.size() - offset >= 2 ? readU16(bytes.data() + offset)
                                                                : fallback;
}

inline std::uint32_t readU32At(Bytes bytes, std::size_t offset, std::uint32_t fallback = 0) {
    return offset <= bytes.size() && bytes.size() - offset >= 4 ? readU32(bytes.data() + offset)
                                                                : fallback;
}

}  // namespace quillmark::engine
