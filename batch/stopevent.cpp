#include "stopevent.h"

#include <cstdint>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

CStopEvent::CStopEvent() : m_descriptor(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

CStopEvent::~CStopEvent() {
    if (m_descriptor >= 0)
        close(m_descriptor);
}

void CStopEvent::Set() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = write(m_descriptor, &one, sizeof one);
}

bool CStopEvent::IsSet() const {
    pollfd ready{m_descriptor, POLLIN, 0};
    return poll(&ready, 1, 0) > 0;
}
