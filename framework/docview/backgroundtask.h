// Work on a thread of its own, with what follows it run from the event loop, so that the window
// goes on meanwhile: a file being decoded, the step folders being read.
#pragma once

#include <functional>
#include <memory>

class CBackgroundTask {
public:
    // Starts work on its thread; done is called from the event loop once work has returned,
    // unless the task goes first. done may destroy the task.
    CBackgroundTask(std::function<void()> work, std::function<void()> done);
    // Waits for work to return; done is not called then.
    ~CBackgroundTask();
    CBackgroundTask(const CBackgroundTask&) = delete;
    CBackgroundTask& operator=(const CBackgroundTask&) = delete;

    // Waits for work to return; done is not called by the event loop after it.
    void Wait();

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};
