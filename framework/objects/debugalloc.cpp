#include "debugalloc.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <new>
#include <string_view>
#include <unordered_map>

namespace {

struct BlockRecord {
    const char* file;
    int line;
    std::size_t size;
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

void* Record(void* block, std::size_t size, const char* file, int line) {
    if (block == nullptr)
        return nullptr;
    auto& registry = Registry();
    std::lock_guard guard(registry.lock);
    registry.blocks.emplace(block, BlockRecord{file ? file : "unknown", line, size});
    return block;
}

} // namespace

void* AfxDebugAlloc(std::size_t size, const char* file, int line) {
    return Record(std::malloc(size == 0 ? 1 : size), size, file, line);
}

void* AfxDebugAllocZeroed(std::size_t size, const char* file, int line) {
    return Record(std::calloc(size == 0 ? 1 : size, 1), size, file, line);
}

void AfxDebugFree(void* block) {
    if (block == nullptr)
        return;
    {
        auto& registry = Registry();
        std::lock_guard guard(registry.lock);
        registry.blocks.erase(block);
    }
    std::free(block);
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
