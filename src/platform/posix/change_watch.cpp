// The change watches: an inotify instance each, whose reports raise the flags through SIGIO.
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
#include <vector>

namespace posix {

namespace {

static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<int>::is_always_lock_free,
              "the flags and the descriptors are touched by a signal handler");

struct WatchState {
    std::atomic<bool> reported{true};  // also while nothing is watched
    std::atomic<int> descriptor{-1};   // the inotify instance, made once and kept: closing one costs
                                       // milliseconds, while the kernel waits for its readers
    std::string path;
    std::vector<int> watches;     // the watch descriptors now set in it
    std::string unwatchablePath;  // the last path no watch could be set for: not tried again
};

constexpr int kWatchCount = 2;
WatchState watches[kWatchCount];

WatchState& stateOf(Watch which) { return watches[which == Watch::profile ? 0 : 1]; }

// Raises every flag and silences every watch: one report is enough until a watch is set again.
void onReport(int) {
    int savedErrno = errno;
    for (WatchState& state : watches) {
        state.reported.store(true);
        int fd = state.descriptor.load();
        if (fd >= 0) ::fcntl(fd, F_SETFL, O_NONBLOCK);
    }
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
// a change of its attributes; folders are watched only for being moved or deleted. A watched
// folder's own folder is watched for its entries being moved or deleted instead of the folder
// itself, whose every deletion inside would otherwise pass through the watch.
constexpr std::uint32_t kFolder = IN_MOVE_SELF | IN_DELETE_SELF | IN_ONLYDIR | IN_DONT_FOLLOW;
constexpr std::uint32_t kHolder = kFolder | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE;
constexpr std::uint32_t kFile = IN_MODIFY | IN_ATTRIB | IN_MOVE_SELF | IN_DELETE_SELF | IN_DONT_FOLLOW;

// Every folder from "/" down to the one holding the last name, then, for a file, the file;
// a link anywhere fails. The watch descriptors go to `state`.
bool addWatches(int fd, const std::string& path, Watch which, WatchState& state) {
    auto add = [&](const std::string& name, std::uint32_t mask) {
        int watch = ::inotify_add_watch(fd, name.c_str(), mask);
        if (watch >= 0) state.watches.push_back(watch);
        return watch >= 0;
    };
    std::size_t slash = path.rfind('/');
    if (path.empty() || path.front() != '/' || slash + 1 == path.size()) return false;
    for (std::size_t end = 0; end <= slash; end = path.find('/', end + 1)) {
        std::string folder = end == 0 ? std::string("/") : path.substr(0, end);
        if (!add(folder, end == slash && which == Watch::folder ? kHolder : kFolder)) return false;
    }
    if (which == Watch::folder) return true;
    struct stat info;
    return add(path, kFile) && ::lstat(path.c_str(), &info) == 0 && !S_ISLNK(info.st_mode);
}

// The inotify instance of `state`, made the first time, with the reports it holds read away.
int emptyInstance(WatchState& state) {
    int fd = state.descriptor.load();
    if (fd < 0) {
        fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (fd < 0 || ::fcntl(fd, F_SETOWN, ::getpid()) != 0) {
            if (fd >= 0) ::close(fd);
            return -1;
        }
        state.descriptor.store(fd);
    }
    constexpr std::size_t kReportBytes = 4096;
    alignas(struct inotify_event) char reports[kReportBytes];
    while (::read(fd, reports, sizeof reports) > 0) {
    }
    return fd;
}

}  // namespace

bool watchPath(Watch which, const std::string& path) {
    if (watchedAndQuiet(which, path)) return true;
    stopWatching(which);
    WatchState& state = stateOf(which);
    if (path == state.unwatchablePath) return false;
    state.unwatchablePath = path;
    if (!signalReady()) return false;
    int fd = emptyInstance(state);
    if (fd < 0) return false;
    state.reported.store(false);
    // The signal is armed before the watches are added, so no report goes unsignalled.
    if (::fcntl(fd, F_SETFL, O_NONBLOCK | O_ASYNC) != 0 || !addWatches(fd, path, which, state)) {
        stopWatching(which);
        return false;
    }
    state.path = path;
    state.unwatchablePath.clear();
    return true;
}

bool watchedAndQuiet(Watch which, const std::string& path) {
    const WatchState& state = stateOf(which);
    return !state.reported.load() && state.descriptor.load() >= 0 && path == state.path;
}

void stopWatching(Watch which) {
    WatchState& state = stateOf(which);
    state.reported.store(true);
    state.path.clear();
    int fd = state.descriptor.load();
    if (fd < 0 || state.watches.empty()) return;
    // Silenced first: each removal is reported too.
    ::fcntl(fd, F_SETFL, O_NONBLOCK);
    for (int watch : state.watches) ::inotify_rm_watch(fd, watch);
    state.watches.clear();
}

}  // namespace posix
