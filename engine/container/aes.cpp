// The key schedule is one of Nettle's three fixed-size AES contexts, chosen by key length.
#include "engine/container/aes.h"

#include <nettle/aes.h>

#include <variant>

namespace quillmark::engine {
namespace {

void decrypt(const aes128_ctx& context, std::size_t length, std::uint8_t* data) {
    aes128_decrypt(&context, length, data, data);
}
void decrypt(const aes192_ctx& context, std::size_t length, std::uint8_t* data) {
    aes192_decrypt(&context, length, data, data);
}
void decrypt(const aes256_ctx& context, std::size_t length, std::uint8_t* data) {
    aes256_decrypt(&context, length, data, data);
}

}  // namespace

struct AesDecryptor::KeySchedule {
    std::variant<aes128_ctx, aes192_ctx, aes256_ctx> context;
};

AesDecryptor::AesDecryptor(Bytes key) {
    switch (key.size()) {
        case AES128_KEY_SIZE:
            schedule_.reset(new KeySchedule{aes128_ctx{}});
            aes128_set_decrypt_key(&std::get<aes128_ctx>(schedule_->context), key.data());
            break;
        case AES192_KEY_SIZE:
            schedule_.reset(new KeySchedule{aes192_ctx{}});
            aes192_set_decrypt_key(&std::get<aes192_ctx>(schedule_->context), key.data());
            break;
        case AES256_KEY_SIZE:
            schedule_.reset(new KeySchedule{aes256_ctx{}});
            aes256_set_decrypt_key(&std::get<aes256_ctx>(schedule_->context), key.data());
            break;
        default:
            break;
    }
}

AesDecryptor::~AesDecryptor() = default;

void AesDecryptor::decryptBlocks(std::uint8_t* data, std::size_t length) const {
    if (!schedule_) return;
    std::visit([&](const auto& context) { decrypt(context, length, data); }, schedule_->context);
}

}  // namespace quillmark::engine
