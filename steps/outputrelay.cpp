#include "outputrelay.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <string>
#include <utility>

namespace {

bool WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = write(fd, data, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

} // namespace

COutputRelay::COutputRelay(std::uint64_t limitBytes) : m_limit(limitBytes) {
    if (!Relays())
        return;
    for (auto& ends : m_pipes)
        if (pipe2(ends, O_CLOEXEC) == 0)
            fcntl(ends[0], F_SETFL, O_NONBLOCK);
}

COutputRelay::~COutputRelay() {
    for (auto& ends : m_pipes)
        for (int& fd : ends)
            if (fd >= 0)
                close(fd);
}

void COutputRelay::CloseProgramEnds() {
    for (auto& ends : m_pipes)
        if (ends[1] >= 0)
            close(std::exchange(ends[1], -1));
}

int COutputRelay::Watched(pollfd* watched) {
    int count = 0;
    for (const auto& ends : m_pipes)
        if (ends[0] >= 0)
            watched[count++] = {ends[0], POLLIN, 0};
    return count;
}

void COutputRelay::Pass(const pollfd* watched, int count) {
    for (int i = 0; i < count; ++i)
        if (watched[i].revents & (POLLIN | POLLHUP | POLLERR))
            PassFrom(watched[i].fd == m_pipes[0][0] ? 1 : 2);
}

void COutputRelay::PassWhatIsLeft() {
    for (int stream : {1, 2})
        for (int rounds = 0; m_pipes[stream - 1][0] >= 0 && rounds < 64; ++rounds)
            PassFrom(stream);
}

void COutputRelay::PassFrom(int stream) {
    int& readEnd = m_pipes[stream - 1][0];
    std::array<char, 65536> buffer{};
    const ssize_t got = read(readEnd, buffer.data(), buffer.size());
    if (got < 0 && (errno == EAGAIN || errno == EINTR))
        return;
    if (got <= 0) {
        close(std::exchange(readEnd, -1));
        return;
    }
    const auto size = static_cast<std::uint64_t>(got);
    const std::uint64_t passed = std::min(size, m_limit - m_passed);
    WriteAll(stream, buffer.data(), passed);
    m_passed += passed;
    if (passed < size && !m_noted) {
        m_noted = true;
        const std::string note = "\n[vexlan-seal：输出超过了 " + std::to_string(m_limit >> 10) +
                                 " KiB 的上限，其余部分没有显示]\n";
        WriteAll(STDERR_FILENO, note.data(), note.size());
    }
}
