#include "posix_file_source.h"

#include "file_presence.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <mutex>

namespace korvex {
namespace {

// The window this thread is reading; the fault comes on the thread that touched the bytes.
struct ThreadView {
    void* base = nullptr;
    std::size_t size = 0;
    volatile sig_atomic_t faulted = 0;
};
thread_local ThreadView t_view;
struct sigaction g_previousBusAction;

void OnBusError(int signal, siginfo_t* info, void* context)
{
    ThreadView& view = t_view;
    const auto address = reinterpret_cast<std::uintptr_t>(info->si_addr);
    const auto base = reinterpret_cast<std::uintptr_t>(view.base);
    // Zero pages over the window, so the code that faulted runs on to the end of its piece.
    if (view.base != nullptr && !view.faulted && address >= base && address - base < view.size &&
        ::mmap(view.base, view.size, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) != MAP_FAILED) {
        view.faulted = 1;
        return;
    }
    // Not ours: whoever handled it before does, or the system's default.
    if (g_previousBusAction.sa_flags & SA_SIGINFO) {
        if (g_previousBusAction.sa_sigaction != nullptr) return g_previousBusAction.sa_sigaction(signal, info, context);
    } else if (g_previousBusAction.sa_handler != SIG_DFL && g_previousBusAction.sa_handler != SIG_IGN) {
        return g_previousBusAction.sa_handler(signal);
    }
    ::sigaction(SIGBUS, &g_previousBusAction, nullptr);  // the fault comes again, to that
}

bool InstallBusGuard()
{
    static std::once_flag once;
    static bool installed = false;
    std::call_once(once, [] {
        struct sigaction action = {};
        action.sa_sigaction = OnBusError;
        action.sa_flags = SA_SIGINFO | SA_NODEFER;
        sigemptyset(&action.sa_mask);
        installed = ::sigaction(SIGBUS, &action, &g_previousBusAction) == 0;
    });
    return installed;
}

}  // namespace

PosixFileSource::~PosixFileSource()
{
    if (m_file >= 0) ::close(m_file);
}

bool PosixFileSource::Open(const char* path)
{
    if (korvex::NotOnThisDevice(path)) {
        m_notOnThisDevice = true;
        m_error = 0;
        return false;
    }
    struct stat status;
    m_file = ::open(path, O_RDONLY | O_CLOEXEC);
    if (m_file < 0 || ::fstat(m_file, &status) != 0) {
        m_error = errno;
        return false;
    }
    if (S_ISDIR(status.st_mode)) {
        m_error = EISDIR;
        return false;
    }
    m_size = static_cast<std::uint64_t>(status.st_size);
    ::posix_fadvise(m_file, 0, 0, POSIX_FADV_SEQUENTIAL);
    return true;
}

bool PosixFileSource::ReadAt(std::uint64_t offset, void* buffer, std::size_t count)
{
    auto* out = static_cast<unsigned char*>(buffer);
    while (count > 0) {
        const ssize_t got = ::pread(m_file, out, count, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            m_error = got < 0 ? errno : EIO;
            return false;
        }
        out += got;
        offset += static_cast<std::uint64_t>(got);
        count -= static_cast<std::size_t>(got);
    }
    return true;
}

namespace {

// One pass's views of the file: each window mapped while it is handed on, under the bus
// fault guard.
class PosixViews final : public ByteSource::Views {
public:
    explicit PosixViews(int file) : m_file(file) {}

    ByteSource::ViewPass Window(std::uint64_t offset, std::size_t count, ByteSink& sink) override
    {
        void* base = ::mmap(nullptr, count, PROT_READ, MAP_SHARED, m_file, static_cast<off_t>(offset));
        if (base == MAP_FAILED) return ByteSource::ViewPass::kNotMapped;
        ::madvise(base, count, MADV_SEQUENTIAL);
        ThreadView& view = t_view;
        view.size = count;
        view.faulted = 0;
        view.base = base;
        sink.Take(offset, static_cast<const unsigned char*>(base), count);
        const bool faulted = view.faulted != 0;
        view.base = nullptr;
        ::munmap(base, count);
        return faulted ? ByteSource::ViewPass::kFaulted : ByteSource::ViewPass::kDone;
    }

private:
    int m_file;
};

}  // namespace

std::unique_ptr<ByteSource::Views> PosixFileSource::OpenViews()
{
    if (!InstallBusGuard()) return nullptr;
    return std::make_unique<PosixViews>(m_file);
}

}  // namespace korvex
