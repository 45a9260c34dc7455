// vexlan-step-host: the process of its own in which an installed step runs.
//   vexlan-step-host info STEPFILE              entry into the report (fd 3)
//   vexlan-step-host run STEPFILE WIDTH HEIGHT  gray from fd 4 and colour from fd 5 (both
//                                               read-only), result to fd 6
// A refusal (status 3) or an uncaught exception (status 4) is described in the report.
#include "steplibrary.h"
#include "stepprocess.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <exception>
#include <string>

namespace {

constexpr int kReportFd = 3;
constexpr int kGrayFd = 4;
constexpr int kColorFd = 5;
constexpr int kResultFd = 6;

void WriteReport(const std::string& text) {
    std::size_t written = 0;
    while (written < text.size()) {
        const ssize_t n = write(kReportFd, text.data() + written, text.size() - written);
        if (n <= 0)
            return;
        written += static_cast<std::size_t>(n);
    }
}

int Refuse(const std::string& problem) {
    WriteReport(problem);
    return kStepHostRefused;
}

int WriteInfo(const vexlan_step_info& entry) {
    WriteReport(std::string(entry.name) + '\n' + entry.menu_text + '\n' + entry.prompt);
    return 0;
}

// The image's pages are mapped as the step reads them, many at a fault; the result's are
// made at once, since a step writes all of them.
void* MapPlanes(int fd, std::size_t size, int protection) {
    const int populate = protection & PROT_WRITE ? MAP_POPULATE : 0;
    void* plane = mmap(nullptr, size, protection, MAP_SHARED | populate, fd, 0);
    return plane == MAP_FAILED ? nullptr : plane;
}

int Run(const vexlan_step_info& entry, int width, int height) {
    const std::optional<std::size_t> size = PlaneSize(width, height);
    if (!size || *size == 0 || *size > SIZE_MAX / 4)
        return Refuse("图像大小不对");
    const auto* gray = static_cast<const unsigned char*>(MapPlanes(kGrayFd, *size, PROT_READ));
    const auto* color =
        static_cast<const unsigned char*>(MapPlanes(kColorFd, 3 * *size, PROT_READ));
    auto* result = static_cast<unsigned char*>(MapPlanes(kResultFd, *size, PROT_READ | PROT_WRITE));
    if (!gray || !color || !result)
        return Refuse("无法映射共享的图像");
    const vexlan_image image{width, height, gray, color, result};
    try {
        entry.run(&image);
    } catch (const std::exception& exception) {
        WriteReport(exception.what());
        return kStepHostThrew;
    } catch (...) {
        return kStepHostThrew;
    }
    return 0;
}

} // namespace

// Under AddressSanitizer a step's fault must still end the host by its signal, which is what
// the program reports; the sanitizer's own handler would end it with status 1 instead.
extern "C" const char* __asan_default_options() {
    return "handle_segv=0:handle_sigbus=0:handle_sigfpe=0:handle_sigill=0:handle_abort=0";
}

int main(int argc, char** argv) {
    const std::string mode = argc > 2 ? argv[1] : "";
    if (mode != "info" && !(mode == "run" && argc == 5))
        return kStepHostUsage;
    const CStepLibrary library(argv[2]);
    if (!library.Entry())
        return Refuse(library.Problem());
    if (mode == "info")
        return WriteInfo(*library.Entry());
    return Run(*library.Entry(), std::atoi(argv[3]), std::atoi(argv[4]));
}
