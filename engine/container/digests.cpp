// The digests come from Nettle; only its one-shot use is wrapped here, so that callers hash a
// span in one expression.
#include "engine/container/digests.h"

#include <nettle/md5.h>
#include <nettle/sha1.h>

namespace quillmark::engine {
namespace {

// Every Nettle hash is used the same way: init, update, digest on a context of its own type.
template <typename Digest, typename Context>
Digest digestOf(Bytes data, void (*init)(Context*),
                void (*update)(Context*, std::size_t, const std::uint8_t*),
                void (*finish)(Context*, std::size_t, std::uint8_t*)) {
    Context context;
    init(&context);
    update(&context, data.size(), data.data());
    Digest digest;
    finish(&context, digest.size(), digest.data());
    return digest;
}

}  // namespace

static_assert(MD5_DIGEST_SIZE == std::tuple_size_v<Md5Digest>);
static_assert(SHA1_DIGEST_SIZE == std::tuple_size_v<Sha1Digest>);

Md5Digest md5(Bytes data) {
    return digestOf<Md5Digest>(data, md5_init, md5_update, md5_digest);
}

Sha1Digest sha1(Bytes data) {
    return digestOf<Sha1Digest>(data, sha1_init, sha1_update, sha1_digest);
}

}  // namespace quillmark::engine
