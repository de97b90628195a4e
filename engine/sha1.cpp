// SHA-1: 64-byte blocks, an 80-word schedule, big-endian words and length.
#include "sha1.h"

#include <vector>

namespace quillmark::engine {
namespace {

std::uint32_t rotateLeft(std::uint32_t value, int count) {
    return (value << count) | (value >> (32 - count));
}

void processBlock(const std::uint8_t* block, std::uint32_t state[5]) {
    std::uint32_t words[80];
    for (int i = 0; i < 16; ++i)
        words[i] = (static_cast<std::uint32_t>(block[4 * i]) << 24) | (block[4 * i + 1] << 16) |
                   (block[4 * i + 2] << 8) | block[4 * i + 3];
    for (int i = 16; i < 80; ++i)
        words[i] = rotateLeft(words[i - 3] ^ words[i - 8] ^ words[i - 14] ^ words[i - 16], 1);
    std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3], e = state[4];
    for (int i = 0; i < 80; ++i) {
        std::uint32_t f, k;
        if (i < 20) {
            f = (b & c) | (~b & d);
            k = 0x5A827999;
        } else if (i < 40) {
            f = b ^ c ^ d;
            k = 0x6ED9EBA1;
        } else if (i < 60) {
            f = (b & c) | (b & d) | (c & d);
            k = 0x8F1BBCDC;
        } else {
            f = b ^ c ^ d;
            k = 0xCA62C1D6;
        }
        std::uint32_t next = rotateLeft(a, 5) + f + e + k + words[i];
        e = d;
        d = c;
        c = rotateLeft(b, 30);
        b = a;
        a = next;
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
    state[4] += e;
}

}  // namespace

Sha1Digest sha1(Bytes data) {
    std::uint32_t state[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
    std::size_t whole = data.size() / 64 * 64;
    for (std::size_t offset = 0; offset < whole; offset += 64)
        processBlock(data.data() + offset, state);

    std::vector<std::uint8_t> tail(data.begin() + whole, data.end());
    tail.push_back(0x80);
    while (tail.size() % 64 != 56) tail.push_back(0);
    std::uint64_t bits = static_cast<std::uint64_t>(data.size()) * 8;
    for (int i = 7; i >= 0; --i) tail.push_back(static_cast<std::uint8_t>(bits >> (8 * i)));
    for (std::size_t offset = 0; offset < tail.size(); offset += 64)
        processBlock(tail.data() + offset, state);

    Sha1Digest digest;
    for (int i = 0; i < 20; ++i)
        digest[i] = static_cast<std::uint8_t>(state[i / 4] >> (24 - 8 * (i % 4)));
    return digest;
}

}  // namespace quillmark::engine
