// The change watch: one inotify instance whose reports raise a flag through SIGIO.
#include "platform/posix/change_watch.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <fcntl.h>
#include <pthread.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace posix {

namespace {

static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<int>::is_always_lock_free,
              "the flag and the descriptor are touched by a signal handler");

std::atomic<bool> reported{true};  // also while nothing is watched
std::atomic<int> watchDescriptor{-1};
std::string watchedPath;
std::string unwatchablePath;  // the last path no watch could be set for: not tried again

// Raises the flag and silences the watch: one report is enough until it is set again.
void onReport(int) {
    int savedErrno = errno;
    reported.store(true);
    int fd = watchDescriptor.load();
    if (fd >= 0) ::fcntl(fd, F_SETFL, O_NONBLOCK);
    errno = savedErrno;
}

// True when SIGIO reaches onReport: it is installed unless the signal has another handler
// already, and the signal must not be blocked.
bool signalReady() {
    struct sigaction current{};
    if (::sigaction(SIGIO, nullptr, &current) != 0) return false;
    bool ours = (current.sa_flags & SA_SIGINFO) == 0 && current.sa_handler == onReport;
    if (!ours) {
        bool unclaimed = (current.sa_flags & SA_SIGINFO) == 0 &&
                         (current.sa_handler == SIG_DFL || current.sa_handler == SIG_IGN);
        if (!unclaimed) return false;
        struct sigaction wanted{};
        wanted.sa_handler = onReport;
        sigemptyset(&wanted.sa_mask);
        wanted.sa_flags = SA_RESTART;
        if (::sigaction(SIGIO, &wanted, nullptr) != 0) return false;
    }
    sigset_t blocked;
    return ::pthread_sigmask(SIG_BLOCK, nullptr, &blocked) == 0 && sigismember(&blocked, SIGIO) == 0;
}

// A replacement by rename or a deletion changes the file's link count, which is reported as
// a change of its attributes; its folders are watched only for being moved or deleted.
constexpr std::uint32_t kFolder = IN_MOVE_SELF | IN_DELETE_SELF | IN_ONLYDIR | IN_DONT_FOLLOW;
constexpr std::uint32_t kFile = IN_MODIFY | IN_ATTRIB | IN_MOVE_SELF | IN_DELETE_SELF | IN_DONT_FOLLOW;

// Every folder from "/" down to the file's own, then the file; a link anywhere fails.
bool addWatches(int fd, const std::string& path) {
    std::size_t slash = path.rfind('/');
    if (path.empty() || path.front() != '/' || slash + 1 == path.size()) return false;
    for (std::size_t end = 0; end <= slash; end = path.find('/', end + 1)) {
        std::string folder = end == 0 ? std::string("/") : path.substr(0, end);
        if (::inotify_add_watch(fd, folder.c_str(), kFolder) < 0) return false;
    }
    struct stat info;
    return ::inotify_add_watch(fd, path.c_str(), kFile) >= 0 && ::lstat(path.c_str(), &info) == 0 &&
           !S_ISLNK(info.st_mode);
}

}  // namespace

bool watchFile(const std::string& path) {
    if (watchedAndQuiet(path)) return true;
    stopWatching();
    if (path == unwatchablePath) return false;
    unwatchablePath = path;
    if (!signalReady()) return false;
    int fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd < 0) return false;
    watchDescriptor.store(fd);
    reported.store(false);
    // The signal is armed before the watches are added, so no report goes unsignalled.
    bool armed = ::fcntl(fd, F_SETOWN, ::getpid()) == 0 && ::fcntl(fd, F_SETFL, O_NONBLOCK | O_ASYNC) == 0 &&
                 addWatches(fd, path);
    if (!armed) {
        stopWatching();
        return false;
    }
    watchedPath = path;
    unwatchablePath.clear();
    return true;
}

bool watchedAndQuiet(const std::string& path) {
    return !reported.load() && watchDescriptor.load() >= 0 && path == watchedPath;
}

void stopWatching() {
    reported.store(true);
    int fd = watchDescriptor.exchange(-1);
    if (fd >= 0) ::close(fd);
    watchedPath.clear();
}

}  // namespace posix
