// Positioned reads (pread) of an open file, and the same over bytes in memory. Positioned
// reads rather than a mapping: a mapped file that is cut while we read it faults the process,
// where a read just comes back short, and the figures in bench/README.md show no speed lost.
#include "engine/core/file_data.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "engine/core/cancel.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace quillmark::engine {
namespace {

class MemoryData final : public FileData {
  public:
    explicit MemoryData(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}
    std::uint64_t size() const override { return bytes_.size(); }

  private:
    Outcome<std::size_t> readWithin(std::uint64_t offset, std::uint8_t* buffer,
                                    std::size_t length) const override {
        if (length > 0) std::memcpy(buffer, bytes_.data() + offset, length);
        return length;
    }
    std::vector<std::uint8_t> bytes_;
};

#ifndef _WIN32
class OpenFile final : public FileData {
  public:
    OpenFile(int descriptor, std::uint64_t size) : descriptor_(descriptor), size_(size) {}
    ~OpenFile() override { ::close(descriptor_); }
    std::uint64_t size() const override { return size_; }

  private:
    Outcome<std::size_t> readWithin(std::uint64_t offset, std::uint8_t* buffer,
                                    std::size_t length) const override {
        std::size_t done = 0;
        while (done < length) {
            ssize_t got = ::pread(descriptor_, buffer + done, length - done,
                                  static_cast<off_t>(offset + done));
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) return fail(FailureKind::Unreadable, std::strerror(errno));
            if (got == 0) break;  // the file shrank since it was opened
            done += static_cast<std::size_t>(got);
        }
        return done;
    }
    int descriptor_;
    std::uint64_t size_;
};
#endif

}  // namespace

Outcome<std::size_t> FileData::read(std::uint64_t offset, std::uint8_t* buffer,
                                    std::size_t length) const {
    if (cancelRequested()) return fail(FailureKind::Cancelled, "search cancelled");
    std::uint64_t total = size();
    if (offset >= total || length == 0) return std::size_t{0};
    std::size_t wanted = static_cast<std::size_t>(std::min<std::uint64_t>(length, total - offset));
    auto got = readWithin(offset, buffer, wanted);
    if (got && got.value() < wanted)
        return fail(FailureKind::Truncated, "the file was cut short while it was being read");
    return got;
}

Status FileData::readExactly(std::uint64_t offset, std::uint8_t* buffer, std::size_t length) const {
    auto got = read(offset, buffer, length);
    if (!got) return got.failure();
    if (got.value() < length) return fail(FailureKind::Truncated, "the file ends too soon");
    return Done{};
}

Outcome<std::vector<std::uint8_t>> FileData::head(std::size_t limit) const {
    std::vector<std::uint8_t> bytes(
        static_cast<std::size_t>(std::min<std::uint64_t>(limit, size())));
    auto got = read(0, bytes.data(), bytes.size());
    if (!got) return got.failure();
    bytes.resize(got.value());
    return bytes;
}

Outcome<std::size_t> FileCursor::read(std::uint8_t* buffer, std::size_t capacity) {
    if (offset_ >= end_) return std::size_t{0};
    std::size_t wanted =
        static_cast<std::size_t>(std::min<std::uint64_t>(capacity, end_ - offset_));
    auto got = file_.read(offset_, buffer, wanted);
    if (!got) return got.failure();
    if (got.value() < wanted) return fail(FailureKind::Truncated, "the file ends too soon");
    offset_ += got.value();
    return got;
}

std::shared_ptr<const FileData> memoryData(std::vector<std::uint8_t> bytes) {
    return std::make_shared<MemoryData>(std::move(bytes));
}

#ifndef _WIN32
Outcome<std::shared_ptr<const FileData>> loadFile(const std::string& path) {
    // O_NONBLOCK so that a FIFO that slipped through cannot block the open.
    int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (descriptor < 0) return fail(FailureKind::Unreadable, std::strerror(errno));
    struct stat info {};
    if (fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(descriptor);
        return fail(FailureKind::Unreadable, "not a regular file");
    }
    std::uint64_t size = info.st_size > 0 ? static_cast<std::uint64_t>(info.st_size) : 0;
    return std::shared_ptr<const FileData>(std::make_shared<OpenFile>(descriptor, size));
}
#endif

}  // namespace quillmark::engine
