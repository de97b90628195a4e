// Standard encryption ([MS-OFFCRYPTO] 2.3.4.5 EncryptionInfo, 2.3.4.7 key derivation,
// 2.3.4.9 password verification): AES in ECB mode under a key derived from SHA-1 hashed
// 50,000 times over the salt and the password.
#include "engine/container/encrypted_package.h"

#include <algorithm>
#include <array>

#include "engine/container/aes.h"
#include "engine/container/digests.h"
#include "engine/core/byte_order.h"

namespace quillmark::engine {
namespace {

constexpr std::uint32_t kSpinCount = 50000;
constexpr std::uint32_t kAes128 = 0x660E, kAes192 = 0x660F, kAes256 = 0x6610;

Failure locked(const std::string& why) {
    return fail(FailureKind::Encrypted,
                "password-protected Office Open XML workbook (" + why + ")");
}

void appendU32(std::vector<std::uint8_t>& bytes, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// The key: the iterated hash, then the CryptDeriveKey expansion through 0x36 and 0x5C pads.
std::vector<std::uint8_t> deriveKey(Bytes salt, std::u16string_view password,
                                    std::size_t keyBytes) {
    std::vector<std::uint8_t> input(salt.begin(), salt.end());
    for (char16_t c : password) {
        input.push_back(static_cast<std::uint8_t>(c & 0xFF));
        input.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    Sha1Digest hash = sha1(input);
    std::vector<std::uint8_t> round(24);
    for (std::uint32_t i = 0; i < kSpinCount; ++i) {
        for (int b = 0; b < 4; ++b) round[b] = static_cast<std::uint8_t>(i >> (8 * b));
        std::copy(hash.begin(), hash.end(), round.begin() + 4);
        hash = sha1(round);
    }
    std::vector<std::uint8_t> final(hash.begin(), hash.end());
    appendU32(final, 0);  // block 0
    Sha1Digest finalHash = sha1(final);
    std::vector<std::uint8_t> key;
    for (std::uint8_t pad : {std::uint8_t{0x36}, std::uint8_t{0x5C}}) {
        std::array<std::uint8_t, 64> buffer;
        buffer.fill(pad);
        for (std::size_t i = 0; i < finalHash.size(); ++i) buffer[i] ^= finalHash[i];
        Sha1Digest part = sha1(buffer);
        key.insert(key.end(), part.begin(), part.end());
    }
    key.resize(keyBytes);
    return key;
}

}  // namespace

Outcome<std::vector<std::uint8_t>> decryptPackage(Bytes info, Bytes package,
                                                  std::u16string_view password) {
    if (info.size() < 8) return locked("encryption header cut short");
    std::uint16_t major = readU16(info.data());
    std::uint16_t minor = readU16(info.data() + 2);
    if (major == 4 && minor == 4) return locked("agile encryption");
    if (minor != 2 || major < 2 || major > 4) return locked("unknown encryption version");

    // Version, flags, header size, the EncryptionHeader, then the EncryptionVerifier.
    std::size_t headerSize = readU32At(info, 8);
    if (info.size() < 12 || headerSize < 32 || info.size() - 12 < headerSize)
        return locked("encryption header cut short");
    Bytes header = info.subspan(12, headerSize);
    std::uint32_t algorithm = readU32(header.data() + 8);
    std::uint32_t keyBits = readU32(header.data() + 16);
    if (algorithm != kAes128 && algorithm != kAes192 && algorithm != kAes256)
        return locked("not AES");
    if (keyBits != 128 && keyBits != 192 && keyBits != 256) return locked("unknown key size");
    Bytes verifier = info.subspan(12 + headerSize);
    if (verifier.size() < 4 + 16 + 16 + 4 + 32 || readU32(verifier.data()) != 16)
        return locked("password verifier cut short");

    std::vector<std::uint8_t> key = deriveKey(verifier.subspan(4, 16), password, keyBits / 8);
    AesDecryptor aes{Bytes(key)};
    std::array<std::uint8_t, 48> check;
    std::copy(verifier.begin() + 20, verifier.begin() + 36, check.begin());
    std::copy(verifier.begin() + 40, verifier.begin() + 72, check.begin() + 16);
    aes.decryptBlocks(check.data(), check.size());
    Sha1Digest expected = sha1(Bytes(check.data(), 16));
    if (!std::equal(expected.begin(), expected.end(), check.begin() + 16))
        return locked("not the default password");

    // EncryptedPackage: the package's size, then whole AES blocks.
    if (package.size() < 8) return locked("encrypted package cut short");
    std::uint64_t size = readU64(package.data());
    Bytes blocks = package.subspan(8);
    if (size > blocks.size()) return fail(FailureKind::Truncated, "encrypted package cut short");
    std::vector<std::uint8_t> plain(blocks.begin(), blocks.begin() + blocks.size() / 16 * 16);
    aes.decryptBlocks(plain.data(), plain.size());
    plain.resize(std::min<std::uint64_t>(size, plain.size()));
    return plain;
}

}  // namespace quillmark::engine
