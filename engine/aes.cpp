// The AES inverse cipher: key expansion, then InvShiftRows, InvSubBytes, AddRoundKey and
// InvMixColumns round by round. The S-boxes are computed once from GF(2^8) arithmetic.
#include "aes.h"

namespace quillmark::engine {
namespace {

std::uint8_t multiply(std::uint8_t a, std::uint8_t b) {
    std::uint8_t product = 0;
    while (b) {
        if (b & 1) product ^= a;
        a = static_cast<std::uint8_t>((a << 1) ^ ((a & 0x80) ? 0x1B : 0));
        b >>= 1;
    }
    return product;
}

struct SBoxes {
    std::uint8_t forward[256];
    std::uint8_t inverse[256];
    SBoxes() {
        for (int value = 0; value < 256; ++value) {
            // The multiplicative inverse, then the affine transformation.
            std::uint8_t inverseValue = 0;
            for (int candidate = 1; candidate < 256 && value != 0; ++candidate) {
                if (multiply(static_cast<std::uint8_t>(value),
                             static_cast<std::uint8_t>(candidate)) == 1) {
                    inverseValue = static_cast<std::uint8_t>(candidate);
                    break;
                }
            }
            std::uint8_t s = inverseValue;
            std::uint8_t result = 0x63;
            for (int i = 0; i < 5; ++i) {
                result ^= s;
                s = static_cast<std::uint8_t>((s << 1) | (s >> 7));
            }
            forward[value] = result;
            inverse[result] = static_cast<std::uint8_t>(value);
        }
    }
};

const SBoxes& sBoxes() {
    static const SBoxes boxes;
    return boxes;
}

}  // namespace

AesDecryptor::AesDecryptor(Bytes key) {
    std::size_t words = key.size() / 4;
    if (key.size() != 16 && key.size() != 24 && key.size() != 32) return;
    rounds_ = static_cast<int>(words) + 6;
    const SBoxes& boxes = sBoxes();
    std::size_t total = 4 * (static_cast<std::size_t>(rounds_) + 1);
    for (std::size_t i = 0; i < key.size(); ++i) roundKeys_[i] = key[i];
    std::uint8_t roundConstant = 1;
    for (std::size_t word = words; word < total; ++word) {
        std::uint8_t temp[4];
        for (int i = 0; i < 4; ++i) temp[i] = roundKeys_[4 * (word - 1) + i];
        if (word % words == 0) {
            std::uint8_t first = temp[0];
            temp[0] = static_cast<std::uint8_t>(boxes.forward[temp[1]] ^ roundConstant);
            temp[1] = boxes.forward[temp[2]];
            temp[2] = boxes.forward[temp[3]];
            temp[3] = boxes.forward[first];
            roundConstant = multiply(roundConstant, 2);
        } else if (words > 6 && word % words == 4) {
            for (auto& byte : temp) byte = boxes.forward[byte];
        }
        for (int i = 0; i < 4; ++i)
            roundKeys_[4 * word + i] = roundKeys_[4 * (word - words) + i] ^ temp[i];
    }
}

void AesDecryptor::decryptBlock(std::uint8_t* block) const {
    if (!valid()) return;
    const SBoxes& boxes = sBoxes();
    auto addRoundKey = [&](int round) {
        for (int i = 0; i < 16; ++i) block[i] ^= roundKeys_[16 * round + i];
    };
    auto inverseShiftAndSubstitute = [&] {
        std::uint8_t copy[16];
        for (int i = 0; i < 16; ++i) copy[i] = block[i];
        // Row r of the column-major state moves right by r columns.
        for (int column = 0; column < 4; ++column)
            for (int row = 0; row < 4; ++row)
                block[4 * ((column + row) % 4) + row] = boxes.inverse[copy[4 * column + row]];
    };
    addRoundKey(rounds_);
    for (int round = rounds_ - 1; round >= 0; --round) {
        inverseShiftAndSubstitute();
        addRoundKey(round);
        if (round == 0) break;
        for (int column = 0; column < 4; ++column) {
            std::uint8_t* c = block + 4 * column;
            std::uint8_t a0 = c[0], a1 = c[1], a2 = c[2], a3 = c[3];
            c[0] = multiply(a0, 14) ^ multiply(a1, 11) ^ multiply(a2, 13) ^ multiply(a3, 9);
            c[1] = multiply(a0, 9) ^ multiply(a1, 14) ^ multiply(a2, 11) ^ multiply(a3, 13);
            c[2] = multiply(a0, 13) ^ multiply(a1, 9) ^ multiply(a2, 14) ^ multiply(a3, 11);
            c[3] = multiply(a0, 11) ^ multiply(a1, 13) ^ multiply(a2, 9) ^ multiply(a3, 14);
        }
    }
}

}  // namespace quillmark::engine
