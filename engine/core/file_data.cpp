// Loading a workbook's bytes. The read goes by what the file really holds, not by the size
// stat reported, so a file that shrinks or grows meanwhile is read as it now is.
#include "engine/core/file_data.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

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
    Bytes bytes() const override { return {bytes_.data(), bytes_.size()}; }

  private:
    std::vector<std::uint8_t> bytes_;
};

}  // namespace

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
    std::vector<std::uint8_t> bytes;
    bytes.reserve(std::min<std::size_t>(static_cast<std::size_t>(info.st_size), kMaxFileBytes));
    std::uint8_t chunk[1 << 16];
    for (;;) {
        ssize_t got = ::read(descriptor, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            int error = errno;
            ::close(descriptor);
            return fail(FailureKind::Unreadable, std::strerror(error));
        }
        if (got == 0) break;
        if (bytes.size() + static_cast<std::size_t>(got) > kMaxFileBytes) {
            ::close(descriptor);
            return fail(FailureKind::TooLarge, "file larger than 1 GiB");
        }
        bytes.insert(bytes.end(), chunk, chunk + got);
    }
    ::close(descriptor);
    return std::shared_ptr<const FileData>(memoryData(std::move(bytes)));
}
#endif

}  // namespace quillmark::engine
