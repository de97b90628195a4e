// Large buffers go back to the system when freed, however many of that size came before:
// otherwise each search job would keep its largest document's worth of memory twice over.
#include <unistd.h>

#include <QtTest>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "platform/memory_release.h"

namespace {

long residentKilobytes() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

}  // namespace

class TestMemoryRelease : public QObject {
    Q_OBJECT

  private slots:
    void largeBuffersGoBackWhenFreed() {
#if !defined(__GLIBC__) || defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
        QSKIP("only glibc's own allocator has this policy");
#endif
        quillmark::platform::releaseLargeBuffersAtOnce();
        constexpr std::size_t kSize = std::size_t{24} << 20;
        const long before = residentKilobytes();
        for (int round = 0; round < 3; ++round) {
            auto* buffer = static_cast<char*>(std::malloc(kSize));
            QVERIFY(buffer != nullptr);
            std::memset(buffer, 1, kSize);
            asm volatile("" : : "r"(buffer) : "memory");  // the buffer is used, not elided
            std::free(buffer);
        }
        QVERIFY2(residentKilobytes() - before < 4096,
                 qPrintable(QString("%1 KB more").arg(residentKilobytes() - before)));
    }
};

QTEST_GUILESS_MAIN(TestMemoryRelease)
#include "test_memory_release.moc"
