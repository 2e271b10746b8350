#include "platform/work_share.h"

#include <cstdlib>
#include <system_error>
#include <utility>

namespace korvel::platform {

namespace {
// How many times the helper looks for the next loop before it sleeps: some tens of microseconds.
constexpr int kSpins = 2000;

// Tells the core that this is a wait loop (cheaper for the other hardware thread, and no system call).
inline void relax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#elif defined(__aarch64__)
    asm volatile("yield");
#else
    std::this_thread::yield();
#endif
}
}  // namespace

bool useSecondCore() {
    if (const char* threads = std::getenv("KORVEL_THREADS"); threads && *threads)
        return std::strtol(threads, nullptr, 10) != 1;
    return std::thread::hardware_concurrency() > 1;
}

WorkShare::WorkShare() {
    if (!useSecondCore()) return;
    try {
        helper_ = std::thread([this] { helperLoop(); });
    } catch (const std::system_error&) {
        // No second thread to be had: the caller does every item.
    }
}

WorkShare::~WorkShare() {
    if (!helper_.joinable()) return;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    helper_.join();
}

void WorkShare::takeItems() {
    for (;;) {
        std::size_t item = 0;
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            if (failure_ || next_ >= count_) return;
            item = next_++;
        }
        try {
            (*work_)(item);
        } catch (...) {
            const std::lock_guard<std::mutex> lock(mutex_);
            if (!failure_) failure_ = std::current_exception();
            return;
        }
    }
}

void WorkShare::helperLoop() {
    std::size_t joined = 0;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        // Loops tend to come one right after another (a directory, then the next): waiting awake a little
        // while saves being woken for each, which can cost as much as a small loop itself.
        lock.unlock();
        for (int spin = 0; spin < kSpins && round_.load(std::memory_order_relaxed) == joined; ++spin)
            relax();
        lock.lock();
        changed_.wait(lock, [&] { return stop_ || round_ != joined; });
        if (stop_) return;
        joined = round_;
        helperBusy_ = true;
        lock.unlock();
        takeItems();
        lock.lock();
        helperBusy_ = false;
        changed_.notify_all();
    }
}

void WorkShare::forEach(std::size_t count, const std::function<void(std::size_t)>& work) {
    if (!helper_.joinable() || count < 2) {
        for (std::size_t i = 0; i < count; ++i)
            work(i);
        return;
    }
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        work_ = &work;
        count_ = count;
        next_ = 0;
        failure_ = nullptr;
        ++round_;
    }
    changed_.notify_all();
    takeItems();
    std::exception_ptr failure;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        // A helper that wakes late finds nothing left, and never the work of a loop that has returned.
        count_ = 0;
        changed_.wait(lock, [&] { return !helperBusy_; });
        work_ = nullptr;
        failure = std::exchange(failure_, nullptr);
    }
    if (failure) std::rethrow_exception(failure);
}

}  // namespace korvel::platform
