#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>

namespace velmora::engine {

// A one-shot signal that a worker thread raises as its very last act, and
// that the thread which started it waits on: with a plain Wait(), or, on a
// GUI thread, inside its own message loop woken through OnSignalled().
class CompletionSignal {
public:
    // Raises the signal (once; later calls do nothing) and runs the
    // notification, if one is set, on this thread.
    void Signal();

    bool IsSignalled() const;

    // Blocks until the signal is raised.
    void Wait() const;

    // Sets the notification that Signal() runs; runs it at once when the
    // signal is already raised. An empty function removes it. Setting and
    // running are serialised, so after SetNotification({}) returns the old
    // notification is not running and never will: a waiter may then destroy
    // what its notification refers to.
    void SetNotification(std::function<void()> notification);

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable raised_;
    bool signalled_ = false;
    std::function<void()> notification_;
};

}  // namespace velmora::engine
