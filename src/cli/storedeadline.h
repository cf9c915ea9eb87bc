#pragma once

#include <QtGlobal>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace quarvet::cli {

// A store that does not answer (a database whose network went quiet in the middle of an
// answer) must not hold the command for ever: past the deadline it ends, saying so. Ending
// within a transaction is as safe as being killed: the record is whole or not there.
inline constexpr unsigned storeDeadlineSeconds = 120;

[[noreturn]] void storeDeadlinePassed();

// An upgrade that chains a store's earlier records takes a minute at a lab's scale: said on
// standard error before it begins, its share shown there when it is a terminal, and each
// report starting the store's deadline afresh. Its words are told, not kept: one that cannot
// be written costs the save nothing.
void showUpgradeProgress(qint64 done, qint64 total);

// A watch beside the command: paused while the output waits for a slow reader, since the
// store is not at fault then. Pausing and resuming cost no system call, so a listing can do
// it for every record.
class StoreDeadline {
public:
    // `passed` is what happens past the deadline: the command's end, but for tests.
    explicit StoreDeadline(
        std::chrono::milliseconds limit = std::chrono::seconds(storeDeadlineSeconds),
        void (*passed)() = storeDeadlinePassed)
        : limit_(limit.count()), passed_(passed), watcher_([this] { watch(); })
    {
        current().store(this);
    }
    ~StoreDeadline()
    {
        StoreDeadline* self = this;
        current().compare_exchange_strong(self, nullptr);
        {
            const std::lock_guard lock(mutex_);
            done_ = true;
        }
        wake_.notify_one();
        watcher_.join();
    }
    StoreDeadline(const StoreDeadline&) = delete;
    StoreDeadline& operator=(const StoreDeadline&) = delete;

    void pause() { paused_.store(true, std::memory_order_relaxed); }
    void resume()
    {
        since_.store(now(), std::memory_order_relaxed);
        paused_.store(false, std::memory_order_relaxed);
    }

    // Work that tells how far it has come (an upgrade chaining a store's records) is no store
    // that does not answer: each step it reports starts the deadline afresh.
    static void progressed()
    {
        if (StoreDeadline* deadline = current().load())
            deadline->since_.store(now(), std::memory_order_relaxed);
    }

private:
    static std::atomic<StoreDeadline*>& current()
    {
        static std::atomic<StoreDeadline*> watching{nullptr};
        return watching;
    }
    static std::int64_t now()
    {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
    void watch()
    {
        std::unique_lock lock(mutex_);
        while (!wake_.wait_for(lock, std::chrono::milliseconds(250), [this] { return done_; }))
            if (!paused_.load(std::memory_order_relaxed) &&
                now() - since_.load(std::memory_order_relaxed) > limit_) {
                passed_();
                return;
            }
    }

    const std::int64_t limit_;
    void (*const passed_)();
    std::atomic<std::int64_t> since_{now()};
    std::atomic<bool> paused_{false};
    std::mutex mutex_;
    std::condition_variable wake_;
    bool done_ = false;
    std::thread watcher_; // last: it starts watching once everything above is there
};

} // namespace quarvet::cli
