// The digests come from Nettle; only its one-shot use is wrapped here, so that callers hash a
// span in one expression.
#include "digests.h"

#include <nettle/md5.h>
#include <nettle/sha1.h>

namespace quillmark::engine {

static_assert(MD5_DIGEST_SIZE == std::tuple_size_v<Md5Digest>);
static_assert(SHA1_DIGEST_SIZE == std::tuple_size_v<Sha1Digest>);

Md5Digest md5(Bytes data) {
    md5_ctx context;
    md5_init(&context);
    md5_update(&context, data.size(), data.data());
    Md5Digest digest;
    md5_digest(&context, digest.size(), digest.data());
    return digest;
}

Sha1Digest sha1(Bytes data) {
    sha1_ctx context;
    sha1_init(&context);
    sha1_update(&context, data.size(), data.data());
    Sha1Digest digest;
    sha1_digest(&context, digest.size(), digest.data());
    return digest;
}

}  // namespace quillmark::engine
