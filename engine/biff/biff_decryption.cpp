// FILEPASS methods ([MS-OFFCRYPTO] 2.3.5 RC4 CryptoAPI, 2.3.6 RC4, 2.3.7 XOR obfuscation):
// key derivation, password verification, then the record data of the whole workbook stream
// transformed in place.
#include "engine/biff/biff_decryption.h"

#include <nettle/arcfour.h>

#include <algorithm>
#include <array>
#include <functional>
#include <memory>

#include "engine/container/digests.h"
#include "engine/core/byte_order.h"

namespace quillmark::engine::biff {
namespace {

constexpr std::size_t kRc4BlockBytes = 1024;  // the key changes every 1024 stream bytes

// Records that stay in the clear in an encrypted stream ([MS-XLS] 2.2.10): BOF, FILEPASS,
// USREXCL, FILELOCK, INTERFACEHDR, RRDINFO, RRDHEAD.
bool neverEncrypted(std::uint16_t type) {
    switch (type) {
        case 0x0809:
        case 0x002F:
        case 0x0194:
        case 0x0195:
        case 0x00E1:
        case 0x0196:
        case 0x0138:
            return true;
        default:
            return false;
    }
}

Failure encrypted(const char* method) {
    return fail(FailureKind::Encrypted,
                std::string("workbook is password-protected (") + method + ")");
}

std::vector<std::uint8_t> utf16Le(std::u16string_view text) {
    std::vector<std::uint8_t> bytes;
    for (char16_t c : text) {
        bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    return bytes;
}

// Decrypts bytes in place from the start of the key stream `key` gives. Every RC4 key here is
// cut from a digest, so it holds 5 to 20 bytes: well inside the 1 to 256 Nettle accepts.
void rc4Decrypt(const std::vector<std::uint8_t>& key, std::uint8_t* data, std::size_t length) {
    arcfour_ctx cipher;
    arcfour_set_key(&cipher, key.size(), key.data());
    arcfour_crypt(&cipher, length, data, data);
}

// Transforms the data bytes of one record, given where they sit in the stream.
class RecordCipher {
  public:
    virtual ~RecordCipher() = default;
    virtual void apply(std::uint8_t* data, std::size_t length, std::uint64_t streamOffset,
                       std::size_t recordLength) = 0;
};

// RC4 keyed per 1024-byte block of the stream: the key stream runs over the whole stream,
// record headers and clear records included, so a byte's key depends on its position alone.
class BlockRc4 : public RecordCipher {
  public:
    explicit BlockRc4(std::function<std::vector<std::uint8_t>(std::uint32_t)> keyForBlock)
        : keyForBlock_(std::move(keyForBlock)) {}

    void apply(std::uint8_t* data, std::size_t length, std::uint64_t streamOffset,
               std::size_t) override {
        for (std::size_t done = 0; done < length;) {
            std::size_t offset = streamOffset + done;
            seek(offset);
            std::size_t run = std::min(length - done, kRc4BlockBytes - offset % kRc4BlockBytes);
            arcfour_crypt(&cipher_, run, data + done, data + done);
            position_ += run;
            done += run;
        }
    }

  private:
    void seek(std::size_t offset) {
        std::size_t block = offset / kRc4BlockBytes;
        if (!keyed_ || block != block_ || offset < position_) {
            std::vector<std::uint8_t> key = keyForBlock_(static_cast<std::uint32_t>(block));
            arcfour_set_key(&cipher_, key.size(), key.data());
            keyed_ = true;
            block_ = block;
            position_ = block * kRc4BlockBytes;
        }
        // Bytes in the clear (record headers, clear records) still use up key stream.
        std::array<std::uint8_t, 64> discarded{};
        while (position_ < offset) {
            std::size_t skip = std::min(offset - position_, discarded.size());
            arcfour_crypt(&cipher_, skip, discarded.data(), discarded.data());
            position_ += skip;
        }
    }

    std::function<std::vector<std::uint8_t>(std::uint32_t)> keyForBlock_;
    arcfour_ctx cipher_;
    bool keyed_ = false;
    std::size_t block_ = 0;
    std::size_t position_ = 0;  // the stream offset the key stream stands at
};

// ---- RC4 ([MS-OFFCRYPTO] 2.3.6): MD5 of the password, mixed with the salt. ----

std::unique_ptr<RecordCipher> rc4Cipher(Bytes header, std::u16string_view password) {
    // Version (4 bytes), salt, encrypted verifier, encrypted verifier hash (16 bytes each).
    if (header.size() < 52) return nullptr;
    Bytes salt = header.subspan(4, 16);
    Md5Digest passwordHash = md5(utf16Le(password));
    std::vector<std::uint8_t> mixed;
    for (int i = 0; i < 16; ++i) {
        mixed.insert(mixed.end(), passwordHash.begin(), passwordHash.begin() + 5);
        mixed.insert(mixed.end(), salt.begin(), salt.end());
    }
    Md5Digest intermediate = md5(mixed);
    auto keyForBlock = [intermediate](std::uint32_t block) {
        std::vector<std::uint8_t> input(intermediate.begin(), intermediate.begin() + 5);
        for (int i = 0; i < 4; ++i) input.push_back(static_cast<std::uint8_t>(block >> (8 * i)));
        Md5Digest key = md5(input);
        return std::vector<std::uint8_t>(key.begin(), key.end());
    };
    // The verifier decrypts, with the key of block 0, to bytes whose MD5 follows it.
    std::array<std::uint8_t, 32> verifier;
    std::copy(header.begin() + 20, header.begin() + 52, verifier.begin());
    rc4Decrypt(keyForBlock(0), verifier.data(), verifier.size());
    Md5Digest verifierHash = md5(Bytes(verifier.data(), 16));
    if (!std::equal(verifierHash.begin(), verifierHash.end(), verifier.begin() + 16))
        return nullptr;
    return std::make_unique<BlockRc4>(keyForBlock);
}

// ---- RC4 CryptoAPI ([MS-OFFCRYPTO] 2.3.5): SHA-1 of salt and password. ----

std::unique_ptr<RecordCipher> cryptoApiCipher(Bytes header, std::u16string_view password) {
    // Version (4), flags (4), header size (4), the EncryptionHeader, then the verifier: salt
    // size, salt, encrypted verifier, verifier hash size, encrypted verifier hash.
    if (header.size() < 12) return nullptr;
    std::size_t headerSize = readU32(header.data() + 8);
    if (headerSize < 32 || header.size() - 12 < headerSize) return nullptr;
    Bytes encryptionHeader = header.subspan(12, headerSize);
    std::uint32_t keyBits = readU32(encryptionHeader.data() + 16);
    if (keyBits == 0) keyBits = 40;
    if (keyBits < 40 || keyBits > 128 || keyBits % 8 != 0) return nullptr;
    Bytes verifier = header.subspan(12 + headerSize);
    if (verifier.size() < 4) return nullptr;
    std::size_t saltSize = readU32(verifier.data());
    if (saltSize != 16 || verifier.size() < 4 + 16 + 16 + 4 + 20) return nullptr;
    Bytes salt = verifier.subspan(4, 16);

    std::vector<std::uint8_t> input(salt.begin(), salt.end());
    std::vector<std::uint8_t> passwordBytes = utf16Le(password);
    input.insert(input.end(), passwordBytes.begin(), passwordBytes.end());
    Sha1Digest passwordHash = sha1(input);
    std::size_t keyBytes = keyBits / 8;
    auto keyForBlock = [passwordHash, keyBytes](std::uint32_t block) {
        std::vector<std::uint8_t> blockInput(passwordHash.begin(), passwordHash.end());
        for (int i = 0; i < 4; ++i)
            blockInput.push_back(static_cast<std::uint8_t>(block >> (8 * i)));
        Sha1Digest digest = sha1(blockInput);
        std::vector<std::uint8_t> key(digest.begin(), digest.begin() + keyBytes);
        // A 40-bit key is used as 128 bits, the rest zeros.
        if (keyBytes == 5) key.resize(16, 0);
        return key;
    };
    std::array<std::uint8_t, 36> sealed;
    std::copy(verifier.begin() + 20, verifier.begin() + 36, sealed.begin());
    std::copy(verifier.begin() + 40, verifier.begin() + 60, sealed.begin() + 16);
    rc4Decrypt(keyForBlock(0), sealed.data(), sealed.size());
    Sha1Digest verifierHash = sha1(Bytes(sealed.data(), 16));
    if (!std::equal(verifierHash.begin(), verifierHash.end(), sealed.begin() + 16)) return nullptr;
    return std::make_unique<BlockRc4>(keyForBlock);
}

// ---- XOR obfuscation ([MS-OFFCRYPTO] 2.3.7.1-2.3.7.3). ----

constexpr std::uint16_t kInitialCode[15] = {0xE1F0, 0x1D0F, 0xCC9C, 0x84C0, 0x110C,
                                            0x0E10, 0xF1CE, 0x313E, 0x1872, 0xE139,
                                            0xD40F, 0x84F9, 0x280C, 0xA96A, 0x4EC3};
constexpr std::uint16_t kXorMatrix[105] = {
    0xAEFC, 0x4DD9, 0x9BB2, 0x2745, 0x4E8A, 0x9D14, 0x2A09, 0x7B61, 0xF6C2, 0xFDA5, 0xEB6B, 0xC6F7,
    0x9DCF, 0x2BBF, 0x4563, 0x8AC6, 0x05AD, 0x0B5A, 0x16B4, 0x2D68, 0x5AD0, 0x0375, 0x06EA, 0x0DD4,
    0x1BA8, 0x3750, 0x6EA0, 0xDD40, 0xD849, 0xA0B3, 0x5147, 0xA28E, 0x553D, 0xAA7A, 0x44D5, 0x6F45,
    0xDE8A, 0xAD35, 0x4A4B, 0x9496, 0x390D, 0x721A, 0xEB23, 0xC667, 0x9CEF, 0x29FF, 0x53FE, 0xA7FC,
    0x5FD9, 0x47D3, 0x8FA6, 0x0F6D, 0x1EDA, 0x3DB4, 0x7B68, 0xF6D0, 0xB861, 0x60E3, 0xC1C6, 0x93AD,
    0x377B, 0x6EF6, 0xDDEC, 0x45A0, 0x8B40, 0x06A1, 0x0D42, 0x1A84, 0x3508, 0x6A10, 0xAA51, 0x4483,
    0x8906, 0x022D, 0x045A, 0x08B4, 0x1168, 0x76B4, 0xED68, 0xCAF1, 0x85C3, 0x1BA7, 0x374E, 0x6E9C,
    0x3730, 0x6E60, 0xDCC0, 0xA9A1, 0x4363, 0x86C6, 0x1DAD, 0x3331, 0x6662, 0xCCC4, 0x89A9, 0x0373,
    0x06E6, 0x0DCC, 0x1021, 0x2042, 0x4084, 0x8108, 0x1231, 0x2462, 0x48C4};
constexpr std::uint8_t kPadArray[15] = {0xBB, 0xFF, 0xFF, 0xBA, 0xFF, 0xFF, 0xB9, 0x80,
                                        0x00, 0xBE, 0x0F, 0x00, 0xBF, 0x0F, 0x00};

// The password as the single bytes XOR obfuscation works on: at most 15, each character's low
// byte, or its high byte when the low one is zero.
std::vector<std::uint8_t> xorPasswordBytes(std::u16string_view password) {
    std::vector<std::uint8_t> bytes;
    for (char16_t c : password.substr(0, 15)) {
        std::uint8_t low = static_cast<std::uint8_t>(c & 0xFF);
        bytes.push_back(low != 0 ? low : static_cast<std::uint8_t>(c >> 8));
    }
    return bytes;
}

std::uint16_t xorKey(const std::vector<std::uint8_t>& password) {
    std::uint16_t key = kInitialCode[password.size() - 1];
    int element = 0x68;
    for (auto it = password.rbegin(); it != password.rend(); ++it) {
        std::uint8_t character = *it;
        for (int bit = 0; bit < 7; ++bit, --element) {
            if (character & 0x40) key ^= kXorMatrix[element];
            character = static_cast<std::uint8_t>(character << 1);
        }
    }
    return key;
}

std::uint16_t xorVerifier(const std::vector<std::uint8_t>& password) {
    std::vector<std::uint8_t> bytes{static_cast<std::uint8_t>(password.size())};
    bytes.insert(bytes.end(), password.begin(), password.end());
    std::uint16_t verifier = 0;
    for (auto it = bytes.rbegin(); it != bytes.rend(); ++it) {
        std::uint16_t carry = (verifier & 0x4000) ? 1 : 0;
        verifier = static_cast<std::uint16_t>((((verifier << 1) & 0x7FFF) | carry) ^ *it);
    }
    return verifier ^ 0xCE4B;
}

std::uint8_t xorRotateRight(std::uint8_t byte, std::uint8_t key) {
    std::uint8_t value = byte ^ key;
    return static_cast<std::uint8_t>((value >> 1) | (value << 7));
}

std::array<std::uint8_t, 16> xorArray(const std::vector<std::uint8_t>& password) {
    std::uint16_t key = xorKey(password);
    auto high = static_cast<std::uint8_t>(key >> 8);
    auto low = static_cast<std::uint8_t>(key & 0xFF);
    std::array<std::uint8_t, 16> array{};
    std::size_t index = password.size();
    if (index % 2 == 1) {
        array[index] = xorRotateRight(kPadArray[0], high);
        --index;
        array[index] = xorRotateRight(password.back(), low);
    }
    while (index > 0) {
        --index;
        array[index] = xorRotateRight(password[index], high);
        --index;
        array[index] = xorRotateRight(password[index], low);
    }
    // The rest, from the end, from the pad bytes; pairs always fill it exactly.
    int position = 15;
    for (int pad = 15 - static_cast<int>(password.size()); pad > 0; pad -= 2, position -= 2) {
        array[position] = xorRotateRight(kPadArray[pad], high);
        array[position - 1] = xorRotateRight(kPadArray[pad - 1], low);
    }
    return array;
}

// Each record's bytes are XORed from the array position its own offset and length give,
// then rotated back ([MS-OFFCRYPTO] 2.3.7.3 DecryptData_Method1).
class XorObfuscation : public RecordCipher {
  public:
    explicit XorObfuscation(std::array<std::uint8_t, 16> array) : array_(array) {}

    void apply(std::uint8_t* data, std::size_t length, std::uint64_t streamOffset,
               std::size_t recordLength) override {
        std::size_t index = (streamOffset + recordLength) % 16;
        for (std::size_t i = 0; i < length; ++i) {
            std::uint8_t value = data[i] ^ array_[index];
            data[i] = static_cast<std::uint8_t>((value >> 5) | (value << 3));
            index = (index + 1) % 16;
        }
    }

  private:
    std::array<std::uint8_t, 16> array_;
};

std::unique_ptr<RecordCipher> xorCipher(Bytes data, std::u16string_view password) {
    // XORObfuscation: the key and the password verifier, 16 bits each.
    if (data.size() < 4 || password.empty()) return nullptr;
    std::vector<std::uint8_t> bytes = xorPasswordBytes(password);
    if (xorKey(bytes) != readU16(data.data()) || xorVerifier(bytes) != readU16(data.data() + 2))
        return nullptr;
    return std::make_unique<XorObfuscation>(xorArray(bytes));
}

// Decrypts every record after FILEPASS, in every substream. BOUNDSHEET keeps its sheet
// position (its first four bytes) in the clear.
class StreamDecrypter final : public RecordDecrypter {
  public:
    StreamDecrypter(std::unique_ptr<RecordCipher> cipher, std::uint64_t start)
        : cipher_(std::move(cipher)), start_(start) {}

    void decrypt(std::uint16_t type, std::uint64_t recordOffset, std::uint8_t* data,
                 std::size_t length) override {
        if (recordOffset < start_ || neverEncrypted(type)) return;
        std::size_t clear = type == record::BoundSheet ? std::min<std::size_t>(4, length) : 0;
        cipher_->apply(data + clear, length - clear, recordOffset + 4 + clear, length);
    }

  private:
    std::unique_ptr<RecordCipher> cipher_;
    std::uint64_t start_;
};

}  // namespace

Outcome<std::unique_ptr<RecordDecrypter>> decrypterFor(const FilePass& filePass, Version version,
                                                       std::u16string_view password) {
    Bytes data = filePass.data;
    std::unique_ptr<RecordCipher> cipher;
    const char* method;
    if (version != Version::Biff8) {
        method = "XOR obfuscation";  // BIFF5 and older know no other method
        cipher = xorCipher(data, password);
    } else if (readU16At(data, 0) == 0) {
        method = "XOR obfuscation";
        cipher = xorCipher(data.subspan(std::min<std::size_t>(2, data.size())), password);
    } else if (readU16At(data, 2) == 1) {
        method = "RC4 encryption";
        cipher = rc4Cipher(data.subspan(std::min<std::size_t>(2, data.size())), password);
    } else {
        method = "RC4 CryptoAPI encryption";
        cipher = cryptoApiCipher(data.subspan(std::min<std::size_t>(2, data.size())), password);
    }
    if (!cipher) return encrypted(method);
    return std::unique_ptr<RecordDecrypter>(
        std::make_unique<StreamDecrypter>(std::move(cipher), filePass.end));
}

}  // namespace quillmark::engine::biff
