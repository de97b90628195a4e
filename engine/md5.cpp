// MD5 as RFC 1321 describes it: 64-byte blocks, four rounds of sixteen steps.
#include "md5.h"

#include <cmath>
#include <vector>

namespace quillmark::engine {
namespace {

constexpr std::uint32_t kShifts[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
                                       5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
                                       4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                                       6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};

// The sine table: the integer part of 2^32 * |sin(i + 1)|.
struct SineTable {
    std::uint32_t values[64];
    SineTable() {
        for (int i = 0; i < 64; ++i)
            values[i] =
                static_cast<std::uint32_t>(std::floor(std::fabs(std::sin(i + 1.0)) * 4294967296.0));
    }
};

std::uint32_t rotateLeft(std::uint32_t value, std::uint32_t count) {
    return (value << count) | (value >> (32 - count));
}

void processBlock(const std::uint8_t* block, std::uint32_t state[4]) {
    static const SineTable sine;
    std::uint32_t words[16];
    for (int i = 0; i < 16; ++i)
        words[i] = block[4 * i] | (block[4 * i + 1] << 8) | (block[4 * i + 2] << 16) |
                   (static_cast<std::uint32_t>(block[4 * i + 3]) << 24);
    std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    for (int i = 0; i < 64; ++i) {
        std::uint32_t f;
        int g;
        if (i < 16) {
            f = (b & c) | (~b & d);
            g = i;
        } else if (i < 32) {
            f = (d & b) | (~d & c);
            g = (5 * i + 1) % 16;
        } else if (i < 48) {
            f = b ^ c ^ d;
            g = (3 * i + 5) % 16;
        } else {
            f = c ^ (b | ~d);
            g = (7 * i) % 16;
        }
        std::uint32_t next = d;
        d = c;
        c = b;
        b = b + rotateLeft(a + f + sine.values[i] + words[g], kShifts[i]);
        a = next;
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
}

}  // namespace

Md5Digest md5(Bytes data) {
    std::uint32_t state[4] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476};
    std::size_t whole = data.size() / 64 * 64;
    for (std::size_t offset = 0; offset < whole; offset += 64)
        processBlock(data.data() + offset, state);

    // The tail, a 0x80 byte, zeros, and the length in bits as a 64-bit little-endian number.
    std::vector<std::uint8_t> tail(data.begin() + whole, data.end());
    tail.push_back(0x80);
    while (tail.size() % 64 != 56) tail.push_back(0);
    std::uint64_t bits = static_cast<std::uint64_t>(data.size()) * 8;
    for (int i = 0; i < 8; ++i) tail.push_back(static_cast<std::uint8_t>(bits >> (8 * i)));
    for (std::size_t offset = 0; offset < tail.size(); offset += 64)
        processBlock(tail.data() + offset, state);

    Md5Digest digest;
    for (int i = 0; i < 16; ++i)
        digest[i] = static_cast<std::uint8_t>(state[i / 4] >> (8 * (i % 4)));
    return digest;
}

}  // namespace quillmark::engine
