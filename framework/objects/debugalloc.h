// The debug allocator: every block records the source file and line that asked for it, so
// tests can count what an object owns and a debug build can name the blocks it leaks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Allocates size bytes (0 is allowed) and records file and line; returns null when the
// memory is not there. The block's content is not initialised.
void* AfxDebugAlloc(std::size_t size, const char* file, int line);
// The same for a block whose bytes are all zero. A block of 2 MiB or more, such as an image
// plane, is a mapping of its own in huge pages: it comes zeroed either way, its first touch
// costs few faults, and its release gives the memory back to the system at once.
void* AfxDebugAllocZeroed(std::size_t size, const char* file, int line);
// The same in memory that another process can map: a block of zeros backed by a file of its
// own in memory, which AfxSharedBlockDescriptor names. Costs a system call and a mapping, so
// it is for planes that another process works on; the last one freed is kept, cleared and
// given out again for the next request of its sizes. The block's first `visible` bytes (all
// of it unless told) end where a page of the file ends, so another process can map exactly
// those between inaccessible pages (AfxSharedBlockOffset); the bytes before them are zero.
void* AfxDebugAllocShared(std::size_t size, const char* file, int line,
                          std::size_t visible = SIZE_MAX);
// The descriptor of a block from AfxDebugAllocShared, or -1 for any other pointer. It stays
// the block's own: it is closed when the block is freed.
int AfxSharedBlockDescriptor(const void* block);
// Where a shared block whose first visible bytes are seen starts in its memory file; those
// bytes end at the page boundary at AfxSharedVisibleEnd(visible).
std::size_t AfxSharedBlockOffset(std::size_t visible);
std::size_t AfxSharedVisibleEnd(std::size_t visible);
void AfxDebugFree(void* block);

struct CLiveBlock {
    std::string file;
    int line = 0;
    std::size_t size = 0;
};

// Live blocks whose recorded source file has this stem ("vexlanview" matches
// ".../vexlanview.cpp"); all live blocks for an empty stem.
std::size_t AfxLiveBlockCount(const std::string& stem = {});
std::vector<CLiveBlock> AfxLiveBlocks(const std::string& stem = {});

// Writes one line per live block to standard error; returns how many there were.
std::size_t AfxDumpLiveBlocks();

struct CDebugFree {
    void operator()(std::uint8_t* block) const { AfxDebugFree(block); }
    void operator()(char* block) const { AfxDebugFree(block); }
};

// An owned byte block from the debug allocator; empty when absent.
using CByteBlock = std::unique_ptr<std::uint8_t[], CDebugFree>;
using CCharBlock = std::unique_ptr<char[], CDebugFree>;
// A byte block that more than one owner may hold; released with its last owner.
using CSharedByteBlock = std::shared_ptr<std::uint8_t[]>;

inline CByteBlock AfxAllocBytes(std::size_t size, const char* file, int line) {
    return CByteBlock(static_cast<std::uint8_t*>(AfxDebugAlloc(size, file, line)));
}
inline CByteBlock AfxAllocZeroedBytes(std::size_t size, const char* file, int line) {
    return CByteBlock(static_cast<std::uint8_t*>(AfxDebugAllocZeroed(size, file, line)));
}
inline CByteBlock AfxAllocSharedBytes(std::size_t size, const char* file, int line,
                                      std::size_t visible = SIZE_MAX) {
    return CByteBlock(static_cast<std::uint8_t*>(AfxDebugAllocShared(size, file, line, visible)));
}
inline CCharBlock AfxAllocChars(std::size_t size, const char* file, int line) {
    return CCharBlock(static_cast<char*>(AfxDebugAlloc(size, file, line)));
}

#define DEBUG_NEW_BYTES(size) AfxAllocBytes((size), __FILE__, __LINE__)
#define DEBUG_NEW_ZEROED_BYTES(size) AfxAllocZeroedBytes((size), __FILE__, __LINE__)
// Moves block into shared memory, as AfxDebugAllocShared gives it with these visible bytes,
// with its bytes and its size; false, with block as it was, when there is no memory for it. A
// shared block stays as it is.
bool AfxShareBlock(CByteBlock& block, std::size_t visible, const char* file, int line);

#define DEBUG_SHARE_BYTES(block, visible) AfxShareBlock((block), (visible), __FILE__, __LINE__)
#define DEBUG_NEW_SHARED_BYTES(size) AfxAllocSharedBytes((size), __FILE__, __LINE__)
#define DEBUG_NEW_SHARED_PLANE(size, visible)                                                      \
    AfxAllocSharedBytes((size), __FILE__, __LINE__, (visible))
#define DEBUG_NEW_CHARS(size) AfxAllocChars((size), __FILE__, __LINE__)
