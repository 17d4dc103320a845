#include "cli/CliApplication.h"

#include <QCoreApplication>

#include <cstdint>
#include <cstdlib>
#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

namespace {

// Loading a keychain of thousands of entries makes tens of thousands of small allocations
// and a few buffers of megabytes. On the heap's ordinary 4 KiB pages each first touch of
// a page is a page fault, about a third of a command's time at 10,000 entries. So the
// heap grows once by a large step, the large buffers come from it as well, and that step
// is marked for transparent huge pages: the memory used is then mapped 2 MiB at a time.
// Nothing is touched before it is used; where huge pages are off, the marking does
// nothing, and under another allocator (the sanitizers') the heap does not move and
// nothing is marked.
void prepareHeap()
{
    constexpr int step = 64 << 20;
    constexpr std::uintptr_t hugePage = std::uintptr_t(2) << 20;
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TOP_PAD, step);
    // The step stays: giving it back would undo the marking.
    mallopt(M_TRIM_THRESHOLD, 2 * step);
    const auto before = reinterpret_cast<std::uintptr_t>(sbrk(0));
    // More than is left at the top of the young heap, so the heap grows now.
    // (Through a volatile pointer: a compiler may drop a malloc whose block is only freed.)
    void* volatile growth = std::malloc(std::size_t(1) << 20);
    const auto after = reinterpret_cast<std::uintptr_t>(sbrk(0));
    std::free(growth);
    const std::uintptr_t start = (before + hugePage - 1) & ~(hugePage - 1);
    const std::uintptr_t end = after & ~(hugePage - 1);
    if (end > start) {
        madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
    }
}

} // namespace

int main(int argc, char** argv)
{
    prepareHeap();
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Keyloft"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KEYLOFT_VERSION));
    // The bytes as given: Qt's own list would turn bytes that are not UTF-8 into
    // replacement characters without a word.
    QByteArrayList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments.append(QByteArray(argv[i]));
    }
    return runCli(arguments);
}
