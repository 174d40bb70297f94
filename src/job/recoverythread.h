#pragma once

// The recovery worker: one thread per job. At most one runs at a time; the
// job driver starts it only while busy is clear and joins the previous one
// (which has already cleared busy as its last step) before a new start.

#include <functional>
#include <thread>

namespace ravelin::job {

class CRecoveryThread {
public:
    CRecoveryThread() = default;
    ~CRecoveryThread() { Join(); }

    CRecoveryThread(const CRecoveryThread&) = delete;
    CRecoveryThread& operator=(const CRecoveryThread&) = delete;

    // Runs entry on a new thread; joins the previous thread first.
    void Start(std::function<void()> entry)
    {
        Join();
        thread_ = std::thread(std::move(entry));
    }
    // Waits for the thread; does nothing on the thread itself or when none runs.
    void Join()
    {
        if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id())
            thread_.join();
    }
    bool OnWorker() const { return thread_.get_id() == std::this_thread::get_id(); }

private:
    std::thread thread_;
};

}  // namespace ravelin::job
