// How to read a large workbook file by ranges: positioned reads into one bounded buffer, or a
// read-only mapping whose pages are released behind the reader. Each way reads the whole file
// once, in 1 MiB steps, and counts its newline bytes so no read can be optimised away; the
// table gives CPU time and peak resident memory, each way in a child process of its own.
//   bench_file_reads FILE
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr std::size_t kStep = std::size_t{1} << 20;

std::uint64_t countNewlines(const std::uint8_t* bytes, std::size_t length) {
    return static_cast<std::uint64_t>(std::count(bytes, bytes + length, '\n'));
}

std::uint64_t byPositionedReads(int descriptor, std::uint64_t size) {
    std::vector<std::uint8_t> buffer(kStep);
    std::uint64_t lines = 0;
    for (std::uint64_t at = 0; at < size;) {
        const ssize_t got = pread(descriptor, buffer.data(), kStep, static_cast<off_t>(at));
        if (got <= 0) break;
        lines += countNewlines(buffer.data(), static_cast<std::size_t>(got));
        at += static_cast<std::uint64_t>(got);
    }
    return lines;
}

// release: drop each step's pages from this process once read (MADV_DONTNEED); without it the
// touched pages stay resident until the mapping ends.
std::uint64_t byMapping(int descriptor, std::uint64_t size, bool release) {
    void* mapped = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, descriptor, 0);
    if (mapped == MAP_FAILED) return 0;
    madvise(mapped, size, MADV_SEQUENTIAL);
    const auto* bytes = static_cast<const std::uint8_t*>(mapped);
    std::uint64_t lines = 0;
    for (std::uint64_t at = 0; at < size; at += kStep) {
        const std::size_t length =
            static_cast<std::size_t>(std::min<std::uint64_t>(kStep, size - at));
        lines += countNewlines(bytes + at, length);
        if (release) madvise(const_cast<std::uint8_t*>(bytes + at), length, MADV_DONTNEED);
    }
    munmap(mapped, size);
    return lines;
}

void measure(const char* label, const char* path, int way) {
    const pid_t child = fork();
    if (child == 0) {
        const int descriptor = open(path, O_RDONLY);
        struct stat info {};
        if (descriptor < 0 || fstat(descriptor, &info) != 0) _exit(2);
        const auto size = static_cast<std::uint64_t>(info.st_size);
        const std::uint64_t lines =
            way == 0 ? byPositionedReads(descriptor, size) : byMapping(descriptor, size, way == 2);
        _exit(lines == 0 ? 1 : 0);
    }
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    const double cpu = usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
                       (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    std::printf("%-34s %8.2f %10.1f %s\n", label, cpu, usage.ru_maxrss / 1024.0,
                WIFEXITED(status) && WEXITSTATUS(status) == 0 ? "" : "(failed)");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_file_reads FILE\n");
        return 2;
    }
    std::printf("%-34s %8s %10s\n", "way", "cpu s", "peak MB");
    measure("pread, one 1 MiB buffer", argv[1], 0);
    measure("mmap, pages kept", argv[1], 1);
    measure("mmap, MADV_DONTNEED behind", argv[1], 2);
    return 0;
}
