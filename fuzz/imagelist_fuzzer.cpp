// Feeds arbitrary bytes to the list reader as a file, and checks that whatever it accepts
// fits the view's fixed buffers.
#include "imagelist.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace {

bool FitsTheView(const CImageList& list) {
    if (list.count < 1 || list.count > 999 || list.names.size() != std::size_t(list.count))
        return false;
    if (list.directory.empty() || list.directory.size() > kImageListMaxDirectory)
        return false;
    for (const std::string& name : list.names)
        if (name.empty() || name.size() > kImageListMaxName)
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // fmemopen refuses an empty buffer, and the reader never writes through the stream.
    std::string bytes(reinterpret_cast<const char*>(data), size);
    bytes.push_back('\n');
    std::FILE* file = fmemopen(bytes.data(), bytes.size(), "rb");
    if (!file)
        return 0;
    std::string problem;
    const std::optional<CImageList> list = ReadImageList(file, problem);
    std::fclose(file);
    if (list ? !FitsTheView(*list) : problem.empty())
        __builtin_trap();
    return 0;
}
