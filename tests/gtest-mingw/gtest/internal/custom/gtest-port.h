// GoogleTest's port customisation for the MinGW-w64 compilers with native Windows threads,
// whose standard library has no std::mutex or std::condition_variable. GoogleTest needs them
// only for Notification, which lets its own thread tests start threads together; this one
// waits on an atomic flag instead. Found before the stock header by include order.
#pragma once

#include <atomic>

#define GTEST_HAS_NOTIFICATION_ 1

namespace testing::internal {

class Notification {
public:
    Notification() = default;
    Notification(const Notification&) = delete;
    Notification& operator=(const Notification&) = delete;

    void Notify() { notified_.store(true, std::memory_order_release); }
    void WaitForNotification() {
        while (!notified_.load(std::memory_order_acquire)) {
        }
    }

private:
    std::atomic<bool> notified_{false};
};

}  // namespace testing::internal
