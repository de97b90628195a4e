// libzip over the workbook's bytes, read by ranges through a source of our own. Sizes from
// the zip directory are claims: they widen the inflate cap, and size an allocation only
// within kWholeInflateBytes.
#include "engine/container/zip_archive.h"

#include <isa-l/igzip_lib.h>
#include <libdeflate.h>
#include <zip.h>

#include <algorithm>
#include <cstring>

#include "engine/core/cancel.h"

namespace quillmark::engine {

// What libzip's source callback works on: the file, the position libzip has sought to, and
// the failure of the last read, so that a truncated or cancelled read keeps its kind through
// libzip's own error codes.
struct ZipSourceState {
    std::shared_ptr<const FileData> data;
    std::uint64_t offset = 0;
    zip_error_t error;
    std::optional<Failure> readFailure;
};

namespace {

zip_int64_t sourceCallback(void* user, void* buffer, zip_uint64_t length,
                           zip_source_cmd_t command) {
    auto& state = *static_cast<ZipSourceState*>(user);
    switch (command) {
        case ZIP_SOURCE_OPEN:
            state.offset = 0;
            return 0;
        case ZIP_SOURCE_READ: {
            auto got = state.data->read(state.offset, static_cast<std::uint8_t*>(buffer),
                                        static_cast<std::size_t>(length));
            if (!got) {
                state.readFailure = got.failure();
                zip_error_set(&state.error, ZIP_ER_READ, 0);
                return -1;
            }
            state.offset += got.value();
            return static_cast<zip_int64_t>(got.value());
        }
        case ZIP_SOURCE_CLOSE:
            return 0;
        case ZIP_SOURCE_STAT: {
            auto* stat = static_cast<zip_stat_t*>(buffer);
            zip_stat_init(stat);
            stat->size = state.data->size();
            stat->valid |= ZIP_STAT_SIZE;
            return sizeof(zip_stat_t);
        }
        case ZIP_SOURCE_ERROR:
            return zip_error_to_data(&state.error, buffer, length);
        case ZIP_SOURCE_FREE:
            return 0;
        case ZIP_SOURCE_SEEK: {
            zip_int64_t target = zip_source_seek_compute_offset(state.offset, state.data->size(),
                                                                buffer, length, &state.error);
            if (target < 0) return -1;
            state.offset = static_cast<std::uint64_t>(target);
            return 0;
        }
        case ZIP_SOURCE_TELL:
            return static_cast<zip_int64_t>(state.offset);
        case ZIP_SOURCE_SUPPORTS:
            return zip_source_make_command_bitmap(
                ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT,
                ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, ZIP_SOURCE_SEEK, ZIP_SOURCE_TELL,
                ZIP_SOURCE_SUPPORTS, -1);
        default:
            zip_error_set(&state.error, ZIP_ER_OPNOTSUPP, 0);
            return -1;
    }
}

Failure zipFailure(int code, std::string_view what, const ZipSourceState* source = nullptr) {
    if (code == ZIP_ER_READ && source && source->readFailure)
        return fail(source->readFailure->kind,
                    std::string(what) + ": " + source->readFailure->reason);
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

// ISA-L's inflate state carries its own history window (about 85 KB in all): one is kept per
// thread between parts, so that a folder of small workbooks does not allocate one per part.
std::unique_ptr<inflate_state>& spareInflater() {
    static thread_local std::unique_ptr<inflate_state> spare;
    return spare;
}

std::unique_ptr<inflate_state> takeInflater() {
    std::unique_ptr<inflate_state> state = std::move(spareInflater());
    if (!state) state = std::make_unique_for_overwrite<inflate_state>();
    isal_inflate_init(state.get());
    state->crc_flag = ISAL_DEFLATE;  // a zip entry's deflate data is raw: no header or trailer
    state->hist_bits = 0;            // the full 32 KiB window
    return state;
}

void giveBackInflater(std::unique_ptr<inflate_state> state) {
    if (state && !spareInflater()) spareInflater() = std::move(state);
}

std::string inflateFailureText(int status) {
    switch (status) {
        case ISAL_INVALID_BLOCK:
            return "invalid block";
        case ISAL_INVALID_SYMBOL:
            return "invalid code";
        case ISAL_INVALID_LOOKBACK:
            return "invalid distance too far back";
        case ISAL_NEED_DICT:
            return "needs a preset dictionary";
        default:
            return "bad data";
    }
}
}  // namespace

ZipStream::ZipStream(zip_file* file, Mode mode, std::uint64_t cap, const ZipSourceState* source,
                     std::uint64_t compressedSize, std::optional<std::uint64_t> declaredSize)
    : file_(file), mode_(mode), cap_(cap), source_(source), compressedSize_(compressedSize) {
    if (mode_ != Mode::Deflated) return;
    tryWhole_ = declaredSize && *declaredSize <= kWholeInflateBytes && compressedSize > 0 &&
                compressedSize <= kWholeInflateBytes;
    declaredSize_ = declaredSize.value_or(0);
    // Left unfilled: zeroing 64 KiB for every part cost more than opening it. (Made here
    // even for parts that inflate whole: freeing and remaking it per part let malloc give the
    // heap's top back and take it again for each small workbook, costing more in the kernel.)
    input_ = std::make_unique_for_overwrite<std::uint8_t[]>(kCompressedChunk);
}

ZipStream::~ZipStream() {
    giveBackInflater(std::move(inflater_));
    if (file_ != nullptr) zip_fclose(file_);
}

Outcome<std::size_t> ZipStream::readFromArchive(std::uint8_t* buffer, std::size_t capacity) {
    zip_int64_t got = zip_fread(file_, buffer, capacity);
    if (got < 0) {
        zip_error_t* error = zip_file_get_error(file_);
        return zipFailure(zip_error_code_zip(error), "cannot inflate part", source_);
    }
    return static_cast<std::size_t>(got);
}

// The next compressed bytes to stream: from those held for a whole inflate, else from libzip.
Status ZipStream::nextCompressedChunk() {
    inflate_state& stream = *inflater_;
    if (compressedAt_ < compressed_.size()) {
        std::size_t take = std::min(compressed_.size() - compressedAt_, kCompressedChunk);
        stream.next_in = compressed_.data() + compressedAt_;
        stream.avail_in = static_cast<std::uint32_t>(take);
        compressedAt_ += take;
        return Done{};
    }
    if (!compressed_.empty()) return fail(FailureKind::Truncated, "part ends mid-stream");
    auto got = readFromArchive(input_.get(), kCompressedChunk);
    if (!got) return got.failure();
    if (got.value() == 0) return fail(FailureKind::Truncated, "part ends mid-stream");
    stream.next_in = input_.get();
    stream.avail_in = static_cast<std::uint32_t>(got.value());
    return Done{};
}

// Reads the part's compressed bytes and inflates them in one call into a buffer of the size
// the directory declares. A size that lies, or data libdeflate refuses, leaves the compressed
// bytes to streaming, whose answers and reasons are the same as for any large part.
Status ZipStream::inflateWhole() {
    tryWhole_ = false;
    compressed_.resize(static_cast<std::size_t>(compressedSize_));
    std::size_t held = 0;
    while (held < compressed_.size()) {
        auto got = readFromArchive(compressed_.data() + held, compressed_.size() - held);
        if (!got) return got.failure();
        if (got.value() == 0) break;
        held += got.value();
    }
    compressed_.resize(held);
    if (held == 0) return fail(FailureKind::Truncated, "part ends mid-stream");
    static thread_local std::unique_ptr<libdeflate_decompressor, void (*)(libdeflate_decompressor*)>
        decompressor(libdeflate_alloc_decompressor(), libdeflate_free_decompressor);
    if (!decompressor) return Done{};
    inflated_.resize(static_cast<std::size_t>(declaredSize_));
    std::size_t produced = 0;
    libdeflate_result result =
        libdeflate_deflate_decompress(decompressor.get(), compressed_.data(), compressed_.size(),
                                      inflated_.data(), inflated_.size(), &produced);
    if (result != LIBDEFLATE_SUCCESS) {
        ByteBuffer().swap(inflated_);
        return Done{};
    }
    inflated_.resize(produced);
    ByteBuffer().swap(compressed_);
    whole_ = true;
    return Done{};
}

Outcome<std::size_t> ZipStream::readInflated(std::uint8_t* buffer, std::size_t capacity) {
    std::size_t take = std::min(capacity, inflated_.size() - inflatedAt_);
    if (take > 0) std::memcpy(buffer, inflated_.data() + inflatedAt_, take);
    inflatedAt_ += take;
    if (inflatedAt_ == inflated_.size()) {  // all handed out: the memory goes back at once
        ByteBuffer().swap(inflated_);
        inflatedAt_ = 0;
    }
    return take;
}

// The part's CRC is left unchecked: a search reads a part only until its first match, and a
// part that is damaged elsewhere fails to inflate or answers nothing, so the check would only
// cost time (about a sixth of reading a sheet).
Outcome<std::size_t> ZipStream::inflate(std::uint8_t* buffer, std::size_t capacity) {
    if (tryWhole_)
        if (Status status = inflateWhole(); !status) return status.failure();
    if (whole_) return readInflated(buffer, capacity);
    if (pendingFailure_) return *pendingFailure_;
    if (ended_ || capacity == 0) return std::size_t{0};
    if (!inflater_) inflater_ = takeInflater();
    inflate_state& stream = *inflater_;
    stream.next_out = buffer;
    stream.avail_out = static_cast<std::uint32_t>(std::min<std::size_t>(capacity, 1u << 30));
    auto failed = [&](Failure failure) -> Outcome<std::size_t> {
        const auto produced = static_cast<std::size_t>(stream.next_out - buffer);
        if (produced == 0) return failure;
        pendingFailure_ = std::move(failure);
        return produced;
    };
    // Input is fetched only once a call makes no progress without it: the state may hold
    // output from input it has already taken (a small read leaves some behind).
    while (stream.avail_out > 0) {
        const std::uint32_t inBefore = stream.avail_in, outBefore = stream.avail_out;
        int status = isal_inflate(&stream);
        if (status < 0 || status == ISAL_NEED_DICT)
            return failed(
                fail(FailureKind::Corrupt, "cannot inflate part: " + inflateFailureText(status)));
        if (stream.block_state == ISAL_BLOCK_FINISH) {
            ended_ = true;
            break;
        }
        if (stream.avail_in != inBefore || stream.avail_out != outBefore) continue;
        // No progress with input and room at hand would loop for ever: call it corrupt.
        if (stream.avail_in > 0)
            return failed(fail(FailureKind::Corrupt, "cannot inflate part: bad data"));
        if (Status next = nextCompressedChunk(); !next) return failed(next.failure());
    }
    return static_cast<std::size_t>(stream.next_out - buffer);
}

Outcome<std::size_t> ZipStream::read(std::uint8_t* buffer, std::size_t capacity) {
    if (cancelRequested()) return fail(FailureKind::Cancelled, "search cancelled");
    auto got =
        mode_ == Mode::Deflated ? inflate(buffer, capacity) : readFromArchive(buffer, capacity);
    if (!got) return got.failure();
    total_ += got.value();
    if (total_ > cap_) return fail(FailureKind::TooLarge, "part exceeds its inflate limit");
    return got;
}

Outcome<std::optional<ByteBuffer>> ZipStream::takeWhole() {
    if (mode_ != Mode::Deflated || !tryWhole_ || total_ > 0) return std::optional<ByteBuffer>();
    if (cancelRequested()) return fail(FailureKind::Cancelled, "search cancelled");
    if (Status status = inflateWhole(); !status) return status.failure();
    if (!whole_) return std::optional<ByteBuffer>();  // left to streaming
    total_ = inflated_.size();
    if (total_ > cap_) return fail(FailureKind::TooLarge, "part exceeds its inflate limit");
    ByteBuffer bytes;
    bytes.swap(inflated_);
    inflatedAt_ = 0;
    return std::optional<ByteBuffer>(std::move(bytes));
}

Outcome<std::unique_ptr<ZipArchive>> ZipArchive::open(std::shared_ptr<const FileData> data) {
    auto state = std::make_unique<ZipSourceState>();
    state->data = std::move(data);
    zip_error_init(&state->error);
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_function_create(sourceCallback, state.get(), &error);
    if (source == nullptr) {
        zip_error_fini(&error);
        zip_error_fini(&state->error);
        return fail(FailureKind::Corrupt, "cannot read zip");
    }
    zip_t* archive = zip_open_from_source(source, ZIP_RDONLY, &error);
    if (archive == nullptr) {
        Failure failure = zipFailure(zip_error_code_zip(&error), "not a readable zip", state.get());
        zip_source_free(source);
        zip_error_fini(&error);
        zip_error_fini(&state->error);
        return failure;
    }
    zip_error_fini(&error);
    return std::unique_ptr<ZipArchive>(new ZipArchive(std::move(state), archive));
}

ZipArchive::ZipArchive(std::unique_ptr<ZipSourceState> source, zip* archive)
    : source_(std::move(source)), archive_(archive) {}

ZipArchive::~ZipArchive() {
    zip_discard(archive_);
    zip_error_fini(&source_->error);
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
    if (file == nullptr)
        return zipFailure(zip_error_code_zip(zip_get_error(archive_)), wanted, source_.get());
    std::uint64_t compressed = (stat.valid & ZIP_STAT_COMP_SIZE) ? stat.comp_size : 0;
    std::optional<std::uint64_t> declared;
    if (stat.valid & ZIP_STAT_SIZE) declared = stat.size;
    return std::make_unique<ZipStream>(file, mode, inflateCapFor(compressed), source_.get(),
                                       compressed, declared);
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
