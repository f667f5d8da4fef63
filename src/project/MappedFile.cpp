#include "MappedFile.h"

#include "FileDescriptor.h"

#include <csignal>
#include <cstdint>
#include <fcntl.h>
#include <mutex>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillet {

namespace {

// Mappings alive at once that the fault handler covers; a file mapped while all are taken is
// read instead.
constexpr std::size_t kGuardedMappings = 16;

// What the fault handler knows of a mapping: plain atomics, as a signal handler may read them.
struct Guard {
    std::atomic<std::uintptr_t> begin{0}, end{0};
    std::atomic<bool> faulted{false};
    std::atomic<bool> taken{false};
};

Guard guards[kGuardedMappings];
struct sigaction previousAction;
std::uintptr_t pageSize = 4096;

void onBusError(int signal, siginfo_t* info, void* context)
{
    const auto address = reinterpret_cast<std::uintptr_t>(info->si_addr);
    for (Guard& guard : guards)
        if (address >= guard.begin.load() && address < guard.end.load()) {
            // A page of zeros where the lost page was (mmap is a plain system call here).
            void* page = reinterpret_cast<void*>(address & ~(pageSize - 1));
            if (::mmap(page, pageSize, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) != MAP_FAILED) {
                guard.faulted.store(true);
                return;
            }
        }
    if (previousAction.sa_flags & SA_SIGINFO) {
        previousAction.sa_sigaction(signal, info, context);
    } else if (previousAction.sa_handler != SIG_DFL && previousAction.sa_handler != SIG_IGN) {
        previousAction.sa_handler(signal);
    } else {
        // The fault is not ours: the default action when the instruction faults again.
        std::signal(SIGBUS, SIG_DFL);
    }
}

void installHandler()
{
    pageSize = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    struct sigaction action {};
    action.sa_sigaction = onBusError;
    action.sa_flags = SA_SIGINFO | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGBUS, &action, &previousAction);
}

} // namespace

std::unique_ptr<MappedFile> MappedFile::map(const std::string& path, std::size_t minimumBytes)
{
    static std::once_flag installed;
    std::call_once(installed, installHandler);
    const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat info {};
    if (!file.valid() || ::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size <= 0 ||
        static_cast<std::size_t>(info.st_size) < minimumBytes)
        return nullptr;
    std::size_t guard = 0;
    while (guard < kGuardedMappings && guards[guard].taken.exchange(true))
        ++guard;
    if (guard == kGuardedMappings)
        return nullptr;
    const auto size = static_cast<std::size_t>(info.st_size);
    void* data = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, file.get(), 0);
    if (data == MAP_FAILED) {
        guards[guard].taken.store(false);
        return nullptr;
    }
    ::madvise(data, size, MADV_WILLNEED);
    guards[guard].faulted.store(false);
    guards[guard].begin.store(reinterpret_cast<std::uintptr_t>(data));
    guards[guard].end.store(reinterpret_cast<std::uintptr_t>(data) + size);
    return std::unique_ptr<MappedFile>(new MappedFile(static_cast<const char*>(data), size, guard));
}

MappedFile::MappedFile(const char* data, std::size_t size, std::size_t guard) : data_(data), size_(size), guard_(guard)
{
}

MappedFile::~MappedFile()
{
    guards[guard_].end.store(0);
    guards[guard_].begin.store(0);
    ::munmap(const_cast<char*>(data_), size_);
    guards[guard_].taken.store(false);
}

bool MappedFile::truncated() const
{
    return guards[guard_].faulted.load();
}

} // namespace quillet
