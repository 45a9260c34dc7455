// Calls a function from the event loop at a steady interval while it exists, for what the
// window shows of work that goes on elsewhere (a file being decoded).
#pragma once

#include <chrono>
#include <functional>
#include <memory>

class CTicker {
public:
    CTicker(std::chrono::milliseconds interval, std::function<void()> tick);
    ~CTicker();
    CTicker(const CTicker&) = delete;
    CTicker& operator=(const CTicker&) = delete;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};
