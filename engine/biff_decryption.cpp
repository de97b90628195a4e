// FILEPASS methods: XOR obfuscation, RC4, RC4 CryptoAPI.
#include "biff_decryption.h"

#include "byte_order.h"

namespace quillmark::engine::biff {
namespace {

std::string describeMethod(Bytes data, Version version) {
    if (version != Version::Biff8 || data.size() < 2) return "XOR obfuscation";
    std::uint16_t type = readU16(data.data());
    if (type == 0) return "XOR obfuscation";
    std::uint16_t major = readU16At(data, 2);
    if (major == 1) return "RC4 encryption";
    return "RC4 CryptoAPI encryption";
}

}  // namespace

Status decryptWithDefaultPassword(std::vector<std::uint8_t>&, const Record& filePass,
                                  Version version) {
    return fail(FailureKind::Encrypted,
                "workbook is password-protected (" + describeMethod(filePass.data, version) + ")");
}

}  // namespace quillmark::engine::biff
