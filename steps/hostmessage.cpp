#include "hostmessage.h"

#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

namespace {

// A message carries at most the three planes.
constexpr std::size_t kMaxFds = 3;
constexpr std::size_t kMaxText = 8192;

union ControlBuffer {
    std::array<char, CMSG_SPACE(sizeof(int) * kMaxFds)> bytes;
    cmsghdr alignment;
};

} // namespace

bool SendHostMessage(int socket, const std::string& text, std::span<const int> fds) {
    if (fds.size() > kMaxFds || text.size() > kMaxText)
        return false;
    iovec part{const_cast<char*>(text.data()), text.size()};
    msghdr message{};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    ControlBuffer control{};
    if (!fds.empty()) {
        message.msg_control = control.bytes.data();
        message.msg_controllen = CMSG_SPACE(sizeof(int) * fds.size());
        cmsghdr* header = CMSG_FIRSTHDR(&message);
        header->cmsg_level = SOL_SOCKET;
        header->cmsg_type = SCM_RIGHTS;
        header->cmsg_len = CMSG_LEN(sizeof(int) * fds.size());
        std::memcpy(CMSG_DATA(header), fds.data(), sizeof(int) * fds.size());
    }
    ssize_t sent = 0;
    while ((sent = sendmsg(socket, &message, MSG_NOSIGNAL)) < 0 && errno == EINTR) {
    }
    return sent == static_cast<ssize_t>(text.size());
}

std::optional<CHostMessage> ReceiveHostMessage(int socket) {
    std::array<char, kMaxText> text{};
    iovec part{text.data(), text.size()};
    msghdr message{};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    ControlBuffer control{};
    message.msg_control = control.bytes.data();
    message.msg_controllen = control.bytes.size();
    ssize_t received = 0;
    while ((received = recvmsg(socket, &message, MSG_CMSG_CLOEXEC)) < 0 && errno == EINTR) {
    }
    if (received <= 0)
        return std::nullopt;
    CHostMessage result{std::string(text.data(), static_cast<std::size_t>(received)), {}};
    for (cmsghdr* header = CMSG_FIRSTHDR(&message); header; header = CMSG_NXTHDR(&message, header))
        if (header->cmsg_level == SOL_SOCKET && header->cmsg_type == SCM_RIGHTS) {
            const std::size_t count = (header->cmsg_len - CMSG_LEN(0)) / sizeof(int);
            result.fds.resize(count);
            std::memcpy(result.fds.data(), CMSG_DATA(header), sizeof(int) * count);
        }
    if (message.msg_flags & (MSG_TRUNC | MSG_CTRUNC)) {
        for (int fd : result.fds)
            close(fd);
        return std::nullopt;
    }
    return result;
}
