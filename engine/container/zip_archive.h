// Reading parts of a zip package (OOXML, OpenDocument) with caps on what a part may inflate
// to, so that a zip bomb fails its own workbook instead of filling memory or time.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "engine/core/file_data.h"
#include "engine/core/outcome.h"

struct zip;
struct zip_file;
struct z_stream_s;

namespace quillmark::engine {

// Inflated bytes allowed for one part: generous for real sheets, fatal for bombs.
std::uint64_t inflateCapFor(std::uint64_t compressedSize);

// A part being inflated; read() returns 0 at its end.
class ZipStream {
  public:
    // How the part's bytes come out of libzip: inflated (and checked) by libzip, or as stored
    // in the archive, deflated or not, for this class to inflate itself.
    enum class Mode { Inflated, Stored, Deflated };

    ZipStream(zip_file* file, Mode mode, std::uint64_t cap);
    ~ZipStream();
    ZipStream(const ZipStream&) = delete;
    ZipStream& operator=(const ZipStream&) = delete;

    Outcome<std::size_t> read(std::uint8_t* buffer, std::size_t capacity);

  private:
    Outcome<std::size_t> readFromArchive(std::uint8_t* buffer, std::size_t capacity);
    Outcome<std::size_t> inflate(std::uint8_t* buffer, std::size_t capacity);

    zip_file* file_;
    Mode mode_;
    std::uint64_t cap_;
    std::uint64_t total_ = 0;
    // Deflated mode only: zlib's state and the compressed bytes it has not taken yet.
    std::unique_ptr<z_stream_s> inflater_;
    std::unique_ptr<std::uint8_t[]> input_;
    bool ended_ = false;
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
    ZipArchive(std::shared_ptr<const FileData> data, zip* archive)
        : data_(std::move(data)), archive_(archive) {}
    std::shared_ptr<const FileData> data_;  // libzip reads from these bytes in place
    zip* archive_;
};

// Whether the bytes start like a zip archive.
bool looksLikeZip(Bytes bytes);

}  // namespace quillmark::engine
