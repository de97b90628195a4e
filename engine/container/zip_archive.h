// Reading parts of a zip package (OOXML, OpenDocument) with caps on what a part may inflate
// to, so that a zip bomb fails its own workbook instead of filling memory or time. libzip
// reads the central directory and each part's bytes from the file by ranges.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/core/byte_buffer.h"
#include "engine/core/file_data.h"
#include "engine/core/outcome.h"

struct zip;
struct zip_file;
struct inflate_state;
struct libdeflate_decompressor;

namespace quillmark::engine {

// Inflated bytes allowed for one part: generous for real sheets, fatal for bombs.
std::uint64_t inflateCapFor(std::uint64_t compressedSize);

// Parts that declare at most this many inflated bytes (and hold at most as many compressed)
// are inflated whole, in one call, which is about twice as fast as inflating chunk by chunk;
// larger parts stream through ISA-L's inflate in 64 KiB chunks of compressed bytes.
inline constexpr std::uint64_t kWholeInflateBytes = 16u << 20;

struct ZipSourceState;

// A part being inflated; read() returns 0 at its end.
class ZipStream {
  public:
    // How the part's bytes come out of libzip: inflated (and checked) by libzip, or as stored
    // in the archive, deflated or not, for this class to inflate itself.
    enum class Mode { Inflated, Stored, Deflated };

    // `declaredSize` is the central directory's inflated size, when it gives one.
    ZipStream(zip_file* file, Mode mode, std::uint64_t cap, const ZipSourceState* source,
              std::uint64_t compressedSize, std::optional<std::uint64_t> declaredSize);
    ~ZipStream();
    ZipStream(const ZipStream&) = delete;
    ZipStream& operator=(const ZipStream&) = delete;

    Outcome<std::size_t> read(std::uint8_t* buffer, std::size_t capacity);

    // Before the first read: when the part is one that inflates whole, its inflated bytes,
    // taken out of the stream (which then reads as ended), so that a reader that passes over
    // the part more than once inflates it once. Otherwise nothing, and read() streams it.
    Outcome<std::optional<ByteBuffer>> takeWhole();

  private:
    Outcome<std::size_t> readFromArchive(std::uint8_t* buffer, std::size_t capacity);
    Outcome<std::size_t> inflate(std::uint8_t* buffer, std::size_t capacity);
    Status nextCompressedChunk();
    Status inflateWhole();
    Outcome<std::size_t> readInflated(std::uint8_t* buffer, std::size_t capacity);

    zip_file* file_;
    Mode mode_;
    std::uint64_t cap_;
    std::uint64_t total_ = 0;
    const ZipSourceState* source_;
    // Deflated mode only, once a part streams: the inflate state (one kept per thread between
    // parts) and the compressed bytes it has not taken yet.
    std::unique_ptr<inflate_state> inflater_;
    std::unique_ptr<std::uint8_t[]> input_;
    bool ended_ = false;
    // A failure met after some bytes of a read were inflated: those bytes are handed out
    // first, the failure at the next read, so what a reader sees before damage does not
    // depend on how much it asked for at a time.
    std::optional<Failure> pendingFailure_;
    // A part inflated whole: its compressed bytes (kept for streaming should libdeflate refuse
    // them) and what they inflated to, handed out from `inflatedAt_`.
    bool tryWhole_ = false;
    std::uint64_t compressedSize_ = 0;
    std::uint64_t declaredSize_ = 0;
    ByteBuffer compressed_;
    std::size_t compressedAt_ = 0;
    ByteBuffer inflated_;
    std::size_t inflatedAt_ = 0;
    bool whole_ = false;
};

class ZipArchive {
  public:
    static Outcome<std::unique_ptr<ZipArchive>> open(std::shared_ptr<const FileData> data);
    ~ZipArchive();
    ZipArchive(const ZipArchive&) = delete;
    ZipArchive& operator=(const ZipArchive&) = delete;

    // The part's name as stored, looked up without regard to letter case (OOXML part names
    // are case-insensitive); a leading "/" is ignored.
    std::optional<std::string> find(std::string_view name) const;
    bool contains(std::string_view name) const { return find(name).has_value(); }

    Outcome<std::unique_ptr<ZipStream>> openPart(std::string_view name) const;
    // A whole small part in memory (workbook lists, relationships); fails past maxBytes.
    Outcome<std::string> readPart(std::string_view name, std::size_t maxBytes = 64u << 20) const;

  private:
    ZipArchive(std::unique_ptr<ZipSourceState> source, zip* archive);
    std::unique_ptr<ZipSourceState> source_;  // what libzip reads the file's bytes through
    zip* archive_;
};

// Whether the bytes start like a zip archive.
bool looksLikeZip(Bytes bytes);

}  // namespace quillmark::engine
