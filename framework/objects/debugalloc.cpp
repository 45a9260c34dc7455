#include "debugalloc.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <string_view>
#include <unordered_map>

namespace {

struct BlockRecord {
    const char* file;
    int line;
    std::size_t size;
    int sharedFd = -1; // the memory file of a shared block, mapped rather than allocated
};

struct BlockRegistry {
    std::mutex lock;
    std::unordered_map<const void*, BlockRecord> blocks;
};

BlockRegistry& Registry() {
    // Never destroyed: blocks may be released by destructors of other static objects.
    static auto* registry = new BlockRegistry;
    return *registry;
}

std::string_view StemOf(std::string_view path) {
    const auto slash = path.find_last_of("/\\");
    if (slash != std::string_view::npos)
        path.remove_prefix(slash + 1);
    const auto dot = path.find('.');
    return dot == std::string_view::npos ? path : path.substr(0, dot);
}

bool Matches(const BlockRecord& record, std::string_view stem) {
    return stem.empty() || StemOf(record.file) == stem;
}

void* Record(void* block, std::size_t size, const char* file, int line, int sharedFd = -1) {
    if (block == nullptr)
        return nullptr;
    auto& registry = Registry();
    std::lock_guard guard(registry.lock);
    registry.blocks.emplace(block, BlockRecord{file ? file : "unknown", line, size, sharedFd});
    return block;
}

// A mapping needs at least one byte, as malloc's blocks do here.
std::size_t MappedSize(std::size_t size) {
    return size == 0 ? 1 : size;
}

} // namespace

void* AfxDebugAlloc(std::size_t size, const char* file, int line) {
    return Record(std::malloc(size == 0 ? 1 : size), size, file, line);
}

void* AfxDebugAllocZeroed(std::size_t size, const char* file, int line) {
    return Record(std::calloc(size == 0 ? 1 : size, 1), size, file, line);
}

void* AfxDebugAllocShared(std::size_t size, const char* file, int line) {
    const int fd = memfd_create("vexlan-plane", MFD_CLOEXEC);
    if (fd < 0)
        return nullptr;
    void* block = MAP_FAILED;
    if (ftruncate(fd, static_cast<off_t>(MappedSize(size))) == 0)
        block = mmap(nullptr, MappedSize(size), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (block == MAP_FAILED) {
        close(fd);
        return nullptr;
    }
    return Record(block, size, file, line, fd);
}

int AfxSharedBlockDescriptor(const void* block) {
    auto& registry = Registry();
    std::lock_guard guard(registry.lock);
    const auto found = registry.blocks.find(block);
    return found == registry.blocks.end() ? -1 : found->second.sharedFd;
}

bool AfxShareBlock(CByteBlock& block, const char* file, int line) {
    if (!block || AfxSharedBlockDescriptor(block.get()) >= 0)
        return true;
    std::size_t size = 0;
    {
        auto& registry = Registry();
        std::lock_guard guard(registry.lock);
        size = registry.blocks.at(block.get()).size;
    }
    CByteBlock shared(static_cast<std::uint8_t*>(AfxDebugAllocShared(size, file, line)));
    if (!shared)
        return false;
    std::memcpy(shared.get(), block.get(), size);
    block = std::move(shared);
    return true;
}

void AfxDebugFree(void* block) {
    if (block == nullptr)
        return;
    BlockRecord record{};
    {
        auto& registry = Registry();
        std::lock_guard guard(registry.lock);
        const auto found = registry.blocks.find(block);
        if (found != registry.blocks.end()) {
            record = found->second;
            registry.blocks.erase(found);
        }
    }
    if (record.sharedFd < 0) {
        std::free(block);
        return;
    }
    munmap(block, MappedSize(record.size));
    close(record.sharedFd);
}

std::vector<CLiveBlock> AfxLiveBlocks(const std::string& stem) {
    auto& registry = Registry();
    std::lock_guard guard(registry.lock);
    std::vector<CLiveBlock> live;
    for (const auto& [block, record] : registry.blocks)
        if (Matches(record, stem))
            live.push_back({record.file, record.line, record.size});
    return live;
}

std::size_t AfxLiveBlockCount(const std::string& stem) {
    return AfxLiveBlocks(stem).size();
}

std::size_t AfxDumpLiveBlocks() {
    const auto live = AfxLiveBlocks();
    for (const auto& block : live)
        std::fprintf(stderr, "%s(%d): leaked block of %zu bytes\n", block.file.c_str(), block.line,
                     block.size);
    return live.size();
}
