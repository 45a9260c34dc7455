// Watches folders and the files in them: changed() runs, once for a burst of changes, when
// a file is added, replaced, rewritten or removed. A folder that does not exist yet is made.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

class CFolderWatch {
public:
    explicit CFolderWatch(std::function<void()> changed);
    ~CFolderWatch();
    CFolderWatch(const CFolderWatch&) = delete;
    CFolderWatch& operator=(const CFolderWatch&) = delete;

    // Watches these host folders and their files, in place of those watched before.
    void Watch(const std::vector<std::string>& folders);

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};
