// What the program and a step host say to each other over their socket: one line of text per
// message, with the descriptors of the shared planes passed along it.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

struct CHostMessage {
    std::string text;
    std::vector<int> fds; // received ones are the receiver's to close
};

// False when the peer is gone; never raises SIGPIPE.
bool SendHostMessage(int socket, const std::string& text, std::span<const int> fds = {});
// Nothing when the peer is gone or the message is malformed.
std::optional<CHostMessage> ReceiveHostMessage(int socket);
