#include "backgroundtask.h"

#include "descriptorwatch.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>
#include <thread>

struct CBackgroundTask::Impl {
    // Becomes readable when work has returned.
    int ended = eventfd(0, EFD_CLOEXEC);
    std::unique_ptr<CDescriptorWatch> watch;
    std::thread thread;

    ~Impl() {
        if (thread.joinable())
            thread.join();
        watch.reset();
        if (ended >= 0)
            close(ended);
    }
};

CBackgroundTask::CBackgroundTask(std::function<void()> work, std::function<void()> done)
    : m_impl(std::make_unique<Impl>()) {
    const int ended = m_impl->ended;
    m_impl->watch = std::make_unique<CDescriptorWatch>(ended, std::move(done));
    m_impl->thread = std::thread([ended, work = std::move(work)] {
        work();
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = write(ended, &one, sizeof one);
    });
}

CBackgroundTask::~CBackgroundTask() = default;

void CBackgroundTask::Wait() {
    if (m_impl->thread.joinable())
        m_impl->thread.join();
    m_impl->watch.reset();
}
