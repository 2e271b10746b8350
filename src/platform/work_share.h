#pragma once
// Sharing a loop between the calling thread and one helper thread, for items that are independent of each
// other and cost mostly system calls or reading (a directory's entries, say). The caller keeps every
// write to shared state for itself, after the loop, in its own order: results come out as on one core.
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

namespace korvel::platform {

// Whether work should be shared with a second thread: not when KORVEL_THREADS is 1, nor on a single core.
bool useSecondCore();

class WorkShare {
  public:
    // Starts the helper thread; when no thread can be had, every loop runs on the caller alone.
    WorkShare();
    ~WorkShare();
    WorkShare(const WorkShare&) = delete;
    WorkShare& operator=(const WorkShare&) = delete;

    // Calls work(i) once for every i below "count", on this thread and the helper, and returns when every
    // call has ended. The first exception a call throws is thrown here, after the others ended; the items
    // not yet started then are not started.
    void forEach(std::size_t count, const std::function<void(std::size_t)>& work);

  private:
    void helperLoop();
    // Takes items until none is left or a call has thrown.
    void takeItems();

    std::mutex mutex_;
    std::condition_variable changed_;
    const std::function<void(std::size_t)>* work_ = nullptr;
    std::size_t count_ = 0;
    std::size_t next_ = 0;               // the next item to start
    std::atomic<std::size_t> round_{0};  // bumped for each loop, so that the helper joins each once
    bool helperBusy_ = false;            // the helper is inside the current loop
    bool stop_ = false;
    std::exception_ptr failure_;
    std::thread helper_;
};

}  // namespace korvel::platform
