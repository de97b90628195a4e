// libzip over the workbook's bytes in memory. Sizes from the zip directory are claims: they
// widen the inflate cap but never size an allocation.
#include "engine/container/zip_archive.h"

#include <zip.h>
#include <zlib.h>

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

namespace {
constexpr std::size_t kCompressedChunk = 1 << 16;
}

ZipStream::ZipStream(zip_file* file, Mode mode, std::uint64_t cap)
    : file_(file), mode_(mode), cap_(cap) {
    if (mode_ != Mode::Deflated) return;
    inflater_ = std::make_unique<z_stream_s>();
    input_ = std::make_unique<std::uint8_t[]>(kCompressedChunk);
    // A zip entry's deflate data is raw: no zlib header or trailer (negative window bits).
    if (inflateInit2(inflater_.get(), -MAX_WBITS) != Z_OK) inflater_.reset();
}

ZipStream::~ZipStream() {
    if (inflater_) inflateEnd(inflater_.get());
    if (file_ != nullptr) zip_fclose(file_);
}

Outcome<std::size_t> ZipStream::readFromArchive(std::uint8_t* buffer, std::size_t capacity) {
    zip_int64_t got = zip_fread(file_, buffer, capacity);
    if (got < 0) {
        zip_error_t* error = zip_file_get_error(file_);
        return zipFailure(zip_error_code_zip(error), "cannot inflate part");
    }
    return static_cast<std::size_t>(got);
}

// The part's CRC is left unchecked: a search reads a part only until its first match, and a
// part that is damaged elsewhere fails in zlib or answers nothing, so the check would only
// cost time (about a sixth of reading a sheet).
Outcome<std::size_t> ZipStream::inflate(std::uint8_t* buffer, std::size_t capacity) {
    if (!inflater_) return fail(FailureKind::TooLarge, "no memory to inflate part");
    if (ended_ || capacity == 0) return std::size_t{0};
    z_stream_s& stream = *inflater_;
    stream.next_out = buffer;
    stream.avail_out = static_cast<uInt>(std::min<std::size_t>(capacity, 1u << 30));
    while (stream.avail_out > 0) {
        if (stream.avail_in == 0) {
            auto got = readFromArchive(input_.get(), kCompressedChunk);
            if (!got) return got.failure();
            if (got.value() == 0) return fail(FailureKind::Truncated, "part ends mid-stream");
            stream.next_in = input_.get();
            stream.avail_in = static_cast<uInt>(got.value());
        }
        int status = ::inflate(&stream, Z_NO_FLUSH);
        if (status == Z_STREAM_END) {
            ended_ = true;
            break;
        }
        if (status == Z_MEM_ERROR) return fail(FailureKind::TooLarge, "no memory to inflate part");
        // No progress with input and room at hand would loop for ever: call it corrupt.
        if (status == Z_BUF_ERROR && stream.avail_in > 0) status = Z_DATA_ERROR;
        if (status != Z_OK && status != Z_BUF_ERROR)
            return fail(FailureKind::Corrupt, std::string("cannot inflate part: ") +
                                                  (stream.msg ? stream.msg : "bad data"));
    }
    return static_cast<std::size_t>(stream.next_out - buffer);
}

Outcome<std::size_t> ZipStream::read(std::uint8_t* buffer, std::size_t capacity) {
    auto got =
        mode_ == Mode::Deflated ? inflate(buffer, capacity) : readFromArchive(buffer, capacity);
    if (!got) return got.failure();
    total_ += got.value();
    if (total_ > cap_) return fail(FailureKind::TooLarge, "part exceeds its inflate limit");
    return got;
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

ZipArchive::~ZipArchive() {
    zip_discard(archive_);
}

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
    // Stored and deflated parts, nearly all there are, come out raw and are inflated here;
    // libzip inflates any other method.
    ZipStream::Mode mode = ZipStream::Mode::Inflated;
    if (stat.valid & ZIP_STAT_COMP_METHOD) {
        if (stat.comp_method == ZIP_CM_STORE) mode = ZipStream::Mode::Stored;
        if (stat.comp_method == ZIP_CM_DEFLATE) mode = ZipStream::Mode::Deflated;
    }
    zip_flags_t flags = mode == ZipStream::Mode::Inflated ? 0 : ZIP_FL_COMPRESSED;
    zip_file_t* file = zip_fopen_index(archive_, static_cast<zip_uint64_t>(index), flags);
    if (file == nullptr) return zipFailure(zip_error_code_zip(zip_get_error(archive_)), wanted);
    std::uint64_t compressed = (stat.valid & ZIP_STAT_COMP_SIZE) ? stat.comp_size : 0;
    return std::make_unique<ZipStream>(file, mode, inflateCapFor(compressed));
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
