// libzip over the workbook's bytes in memory. Sizes from the zip directory are claims: they
// widen the inflate cap but never size an allocation.
#include "zip_archive.h"

#include <zip.h>

#include <algorithm>

namespace quillmark::engine {
namespace {

Failure zipFailure(int code, std::string_view what) {
    FailureKind kind = FailureKind::Corrupt;
    if (code == ZIP_ER_NOZIP || code == ZIP_ER_EOF) kind = FailureKind::Truncated;
    if (code == ZIP_ER_ENCRNOTSUPP || code == ZIP_ER_NOPASSWD || code == ZIP_ER_WRONGPASSWD)
        kind = FailureKind::Encrypted;
    if (code == ZIP_ER_COMPNOTSUPP) kind = FailureKind::Unsupported;
    zip_error_t error;
    zip_error_init_with_code(&error, code);
    std::string reason = std::string(what) + ": " + zip_error_strerror(&error);
    zip_error_fini(&error);
    return fail(kind, reason);
}

std::string_view withoutLeadingSlash(std::string_view name) {
    while (!name.empty() && name.front() == '/') name.remove_prefix(1);
    return name;
}

}  // namespace

std::uint64_t inflateCapFor(std::uint64_t compressedSize) {
    // Real sheet parts deflate 10 to 25 times (the corpus' highest is 23); a hundred leaves
    // room for odd writers while a bomb of several gigabytes stops after a few seconds' work.
    constexpr std::uint64_t kFloor = 64ull << 20;
    constexpr std::uint64_t kCeiling = 4ull << 30;
    constexpr std::uint64_t kMaxRatio = 100;
    return std::clamp<std::uint64_t>(compressedSize * kMaxRatio, kFloor, kCeiling);
}

bool looksLikeZip(Bytes bytes) {
    return bytes.size() >= 4 && bytes[0] == 'P' && bytes[1] == 'K' &&
           ((bytes[2] == 3 && bytes[3] == 4) || (bytes[2] == 5 && bytes[3] == 6));
}

ZipStream::~ZipStream() {
    if (file_ != nullptr) zip_fclose(file_);
}

Outcome<std::size_t> ZipStream::read(std::uint8_t* buffer, std::size_t capacity) {
    zip_int64_t got = zip_fread(file_, buffer, capacity);
    if (got < 0) {
        zip_error_t* error = zip_file_get_error(file_);
        return zipFailure(zip_error_code_zip(error), "cannot inflate part");
    }
    total_ += static_cast<std::uint64_t>(got);
    if (total_ > cap_) return fail(FailureKind::TooLarge, "part inflates past its cap");
    return static_cast<std::size_t>(got);
}

Outcome<std::unique_ptr<ZipArchive>> ZipArchive::open(std::shared_ptr<const FileData> data) {
    Bytes bytes = data->bytes();
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &error);
    if (source == nullptr) {
        zip_error_fini(&error);
        return fail(FailureKind::Corrupt, "cannot read zip");
    }
    zip_t* archive = zip_open_from_source(source, ZIP_RDONLY, &error);
    if (archive == nullptr) {
        Failure failure = zipFailure(zip_error_code_zip(&error), "not a readable zip");
        zip_source_free(source);
        zip_error_fini(&error);
        return failure;
    }
    zip_error_fini(&error);
    return std::unique_ptr<ZipArchive>(new ZipArchive(std::move(data), archive));
}

ZipArchive::~ZipArchive() { zip_discard(archive_); }

std::optional<std::string> ZipArchive::find(std::string_view name) const {
    std::string wanted(withoutLeadingSlash(name));
    zip_int64_t index = zip_name_locate(archive_, wanted.c_str(), ZIP_FL_NOCASE | ZIP_FL_ENC_RAW);
    if (index < 0) return std::nullopt;
    const char* stored = zip_get_name(archive_, static_cast<zip_uint64_t>(index), ZIP_FL_ENC_RAW);
    if (stored == nullptr) return std::nullopt;
    return std::string(stored);
}

Outcome<std::unique_ptr<ZipStream>> ZipArchive::openPart(std::string_view name) const {
    std::string wanted(withoutLeadingSlash(name));
    zip_int64_t index = zip_name_locate(archive_, wanted.c_str(), ZIP_FL_NOCASE | ZIP_FL_ENC_RAW);
    if (index < 0) return fail(FailureKind::Corrupt, "missing part " + wanted);
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(archive_, static_cast<zip_uint64_t>(index), 0, &stat) != 0)
        return fail(FailureKind::Corrupt, "unreadable entry " + wanted);
    if ((stat.valid & ZIP_STAT_ENCRYPTION_METHOD) && stat.encryption_method != ZIP_EM_NONE)
        return fail(FailureKind::Encrypted, "encrypted part " + wanted);
    zip_file_t* file = zip_fopen_index(archive_, static_cast<zip_uint64_t>(index), 0);
    if (file == nullptr) return zipFailure(zip_error_code_zip(zip_get_error(archive_)), wanted);
    std::uint64_t compressed = (stat.valid & ZIP_STAT_COMP_SIZE) ? stat.comp_size : 0;
    return std::make_unique<ZipStream>(file, inflateCapFor(compressed));
}

Outcome<std::string> ZipArchive::readPart(std::string_view name, std::size_t maxBytes) const {
    auto stream = openPart(name);
    if (!stream) return stream.failure();
    std::string text;
    std::uint8_t chunk[1 << 15];
    for (;;) {
        auto got = stream.value()->read(chunk, sizeof chunk);
        if (!got) return got.failure();
        if (got.value() == 0) break;
        if (text.size() + got.value() > maxBytes)
            return fail(FailureKind::TooLarge, "part " + std::string(name) + " too large");
        text.append(reinterpret_cast<const char*>(chunk), got.value());
    }
    return text;
}

}  // namespace quillmark::engine
