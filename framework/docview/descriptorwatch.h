// Runs a callback from the event loop when a descriptor becomes readable, for example a
// process's descriptor when the process ends, so the window goes on meanwhile.
#pragma once

#include <functional>
#include <memory>

class CDescriptorWatch {
public:
    CDescriptorWatch(int fd, std::function<void()> readable);
    ~CDescriptorWatch();
    CDescriptorWatch(const CDescriptorWatch&) = delete;
    CDescriptorWatch& operator=(const CDescriptorWatch&) = delete;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};
