#include "debugalloc.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace {

struct BlockRecord {
    const char* file;
    int line;
    std::size_t size;
    // Whether the block is a mapping of its own rather than a block of the heap.
    bool mapped;
    int sharedFd = -1;       // the memory file of a shared block's mapping
    std::size_t visible = 0; // of a shared block
};

// A shared block's mapping and its memory file, in which the block's visible bytes end at a
// page boundary.
struct SharedMapping {
    void* block = nullptr;
    std::size_t size = 0;
    std::size_t visible = 0;
    int fd = -1;

    std::byte* Base() const {
        return static_cast<std::byte*>(block) - AfxSharedBlockOffset(visible);
    }
};

struct BlockRegistry {
    std::mutex lock;
    std::unordered_map<const void*, BlockRecord> blocks;
    // The shared block freed last, kept for the next request of its size: an installed
    // step's result plane is asked for again at the same size each run, and clearing pages a
    // memory file already has costs a third of what the file's fresh pages cost.
    SharedMapping spare;
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

// Image planes are this large or larger. A plane's first touch costs one fault per page:
// in huge pages that is 512 times fewer faults than in small ones. The system hands out a
// mapping zeroed, and takes it back whole when it is released.
constexpr std::size_t kHugePageSize = std::size_t{2} << 20;
constexpr std::size_t kLargeBlockSize = kHugePageSize;

std::size_t MappedLength(std::size_t size) {
    return (size + kHugePageSize - 1) / kHugePageSize * kHugePageSize;
}

// A mapping aligned to a huge page, so that every huge page of it can be one: one huge page
// more is mapped and the unaligned head and tail are given back.
void* MapLargeBlock(std::size_t size) {
    if (size > SIZE_MAX - 2 * kHugePageSize)
        return nullptr;
    const std::size_t length = MappedLength(size);
    void* mapped = mmap(nullptr, length + kHugePageSize, PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED)
        return nullptr;
    auto* const start = static_cast<std::byte*>(mapped);
    const std::size_t head =
        (kHugePageSize - reinterpret_cast<std::uintptr_t>(start) % kHugePageSize) % kHugePageSize;
    if (head > 0)
        munmap(start, head);
    munmap(start + head + length, kHugePageSize - head);
    madvise(start + head, length, MADV_HUGEPAGE);
    return start + head;
}

void* Record(void* block, std::size_t size, bool mapped, const char* file, int line,
             int sharedFd = -1, std::size_t visible = 0) {
    if (block == nullptr)
        return nullptr;
    auto& registry = Registry();
    std::lock_guard guard(registry.lock);
    registry.blocks.emplace(
        block, BlockRecord{file ? file : "unknown", line, size, mapped, sharedFd, visible});
    return block;
}

// A large block comes zeroed whether or not that was asked for.
void* Allocate(std::size_t size, bool zeroed, const char* file, int line) {
    if (size >= kLargeBlockSize)
        return Record(MapLargeBlock(size), size, true, file, line);
    void* block = zeroed ? std::calloc(size == 0 ? 1 : size, 1) : std::malloc(size == 0 ? 1 : size);
    return Record(block, size, false, file, line);
}

// A mapping needs at least one byte, as malloc's blocks do here.
std::size_t MappedSize(std::size_t size) {
    return size == 0 ? 1 : size;
}

} // namespace

void* AfxDebugAlloc(std::size_t size, const char* file, int line) {
    return Allocate(size, false, file, line);
}

void* AfxDebugAllocZeroed(std::size_t size, const char* file, int line) {
    return Allocate(size, true, file, line);
}

namespace {

std::size_t PageSize() {
    static const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    return page;
}

std::size_t WholePages(std::size_t bytes) {
    return (bytes + PageSize() - 1) / PageSize() * PageSize();
}

std::size_t FileLength(const SharedMapping& mapping) {
    return WholePages(AfxSharedBlockOffset(mapping.visible) + MappedSize(mapping.size));
}

void Unmap(const SharedMapping& mapping) {
    munmap(mapping.Base(), FileLength(mapping));
    close(mapping.fd);
}

// The spare shared block if it has these sizes, cleared; nothing otherwise.
std::optional<SharedMapping> TakeSpare(std::size_t size, std::size_t visible) {
    SharedMapping spare;
    {
        auto& registry = Registry();
        std::lock_guard guard(registry.lock);
        if (!registry.spare.block || registry.spare.size != size ||
            registry.spare.visible != visible)
            return std::nullopt;
        spare = std::exchange(registry.spare, SharedMapping{});
    }
    // The bytes before the block too: a step that wrote there is told so by their change.
    std::memset(spare.Base(), 0, FileLength(spare));
    return spare;
}

std::optional<SharedMapping> MapNewShared(std::size_t size, std::size_t visible) {
    const int fd = memfd_create("vexlan-plane", MFD_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    SharedMapping mapping{nullptr, size, visible, fd};
    const std::size_t length = FileLength(mapping);
    void* base = MAP_FAILED;
    if (ftruncate(fd, static_cast<off_t>(length)) == 0)
        base = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (base == MAP_FAILED) {
        close(fd);
        return std::nullopt;
    }
    mapping.block = static_cast<std::byte*>(base) + AfxSharedBlockOffset(visible);
    return mapping;
}

// Keeps mapping as the spare, in place of the one before.
void KeepSpare(const SharedMapping& mapping) {
    SharedMapping before;
    {
        auto& registry = Registry();
        std::lock_guard guard(registry.lock);
        before = std::exchange(registry.spare, mapping);
    }
    if (before.block)
        Unmap(before);
}

} // namespace

void* AfxDebugAllocShared(std::size_t size, const char* file, int line, std::size_t visible) {
    visible = std::min(visible, size);
    if (size > SIZE_MAX / 2)
        return nullptr;
    std::optional<SharedMapping> mapping = TakeSpare(size, visible);
    if (!mapping)
        mapping = MapNewShared(size, visible);
    return mapping ? Record(mapping->block, size, true, file, line, mapping->fd, visible) : nullptr;
}

std::size_t AfxSharedVisibleEnd(std::size_t visible) {
    return WholePages(MappedSize(visible));
}

std::size_t AfxSharedBlockOffset(std::size_t visible) {
    return AfxSharedVisibleEnd(visible) - visible;
}

int AfxSharedBlockDescriptor(const void* block) {
    auto& registry = Registry();
    std::lock_guard guard(registry.lock);
    const auto found = registry.blocks.find(block);
    return found == registry.blocks.end() ? -1 : found->second.sharedFd;
}

bool AfxShareBlock(CByteBlock& block, std::size_t visible, const char* file, int line) {
    if (!block || AfxSharedBlockDescriptor(block.get()) >= 0)
        return true;
    std::size_t size = 0;
    {
        auto& registry = Registry();
        std::lock_guard guard(registry.lock);
        size = registry.blocks.at(block.get()).size;
    }
    CByteBlock shared(static_cast<std::uint8_t*>(AfxDebugAllocShared(size, file, line, visible)));
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
    if (record.sharedFd >= 0) {
        KeepSpare(SharedMapping{block, record.size, record.visible, record.sharedFd});
    } else if (record.mapped) {
        munmap(block, MappedLength(record.size));
    } else {
        std::free(block);
    }
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
