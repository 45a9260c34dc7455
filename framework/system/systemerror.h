// What a failed system call means, in the words of the user interface.
#pragma once

#include <string>

// A short phrase in the interface's language for an errno value, such as "磁盘已满" for
// ENOSPC; values without a phrase of their own give "系统错误（错误号 <number>）", not the system's
// English text.
std::string AfxSystemErrorPhrase(int errorNumber);
