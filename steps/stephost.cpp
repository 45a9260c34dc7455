// vexlan-step-host: the process of its own in which an installed step runs or is read.
//   vexlan-step-host PARENT_PID MEMORY_BYTES
// It is started ahead of the run (sealed, its parent is vexlan-seal, 1), with its end of the
// program's socket at fd 3 and an empty report file at fd 4, and waits there for what to do:
//   "planes WIDTH HEIGHT" with the gray and colour planes (read-only) and the result plane:
//       maps each between inaccessible pages and faults every page in, then says "ready";
//   "values V..."    the values of the step's parameters for the run, in the order of its
//                    declarations; without it the step gets its defaults;
//   "run STEPFILE"   runs the step on those planes, then ends;
//   "info STEPFILE"  writes the step's entry into the report, then ends.
// The socket's close ends it quietly. A refusal (status 3), an uncaught exception (status 4),
// a write before the result (status 6) and a call of exit in the step (status 7) are described
// in the report. The step may allocate MEMORY_BYTES beyond its planes (0: no limit).
#include "debugalloc.h"
#include "hostmessage.h"
#include "steplibrary.h"
#include "stepparameter.h"
#include "stepprocess.h"

#include <cxxabi.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fstream>
#include <memory>
#include <new>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr int kSocketFd = 3;
constexpr int kReportFd = 4;

// Inaccessible address space on each side of a plane: an index that runs past either end by
// up to this much faults instead of reading a neighbouring mapping.
constexpr std::size_t kGuardBytes = std::size_t{64} << 20;

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

// The name, the menu text, the prompt, then a line per parameter.
int WriteInfo(const CStepLibrary& library) {
    const vexlan_step_info& entry = *library.Entry();
    std::string info = std::string(entry.name) + '\n' + entry.menu_text + '\n' + entry.prompt;
    for (const CStepParameter& parameter : library.Parameters())
        info += '\n' + ParameterLine(parameter);
    WriteReport(info);
    return 0;
}

// A plane as the step sees it: its last byte is the last of a page, and inaccessible pages
// lie after it and before the page it starts in.
struct GuardedPlane {
    std::byte* fileStart = nullptr; // the page the plane starts in
    unsigned char* data = nullptr;
    std::size_t size = 0;
};

bool FileHolds(int fd, std::size_t length) {
    struct stat status {};
    return fstat(fd, &status) == 0 && status.st_size >= 0 &&
           static_cast<std::uint64_t>(status.st_size) >= length;
}

std::optional<GuardedPlane> MapGuarded(int fd, std::size_t size, int protection) {
    const std::size_t length = AfxSharedVisibleEnd(size);
    if (length > SIZE_MAX - 2 * kGuardBytes || !FileHolds(fd, length))
        return std::nullopt;
    void* area = mmap(nullptr, length + 2 * kGuardBytes, PROT_NONE,
                      MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (area == MAP_FAILED)
        return std::nullopt;
    auto* fileStart = static_cast<std::byte*>(area) + kGuardBytes;
    if (mmap(fileStart, length, protection, MAP_SHARED | MAP_FIXED, fd, 0) == MAP_FAILED)
        return std::nullopt;
    return GuardedPlane{
        fileStart, reinterpret_cast<unsigned char*>(fileStart + AfxSharedBlockOffset(size)), size};
}

// A new process's first touch of a page costs far more than the step's work on it: done
// while the program is idle, the run finds every page in place.
void FaultIn(const GuardedPlane& plane) {
    static const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    const std::size_t length = AfxSharedVisibleEnd(plane.size);
    volatile unsigned char sink = 0;
    for (std::size_t offset = 0; offset < length; offset += page)
        sink = sink ^ static_cast<unsigned char>(plane.fileStart[offset]);
}

struct Planes {
    int width = 0;
    int height = 0;
    GuardedPlane gray, color, result;
};

std::optional<Planes> MapPlanes(const CHostMessage& message) {
    std::istringstream words(message.text);
    std::string verb;
    Planes planes;
    words >> verb >> planes.width >> planes.height;
    const std::optional<std::size_t> size = PlaneSize(planes.width, planes.height);
    if (!words || message.fds.size() != 3 || !size || *size == 0 || *size > SIZE_MAX / 4)
        return std::nullopt;
    const auto gray = MapGuarded(message.fds[0], *size, PROT_READ);
    const auto color = MapGuarded(message.fds[1], 3 * *size, PROT_READ);
    const auto result = MapGuarded(message.fds[2], *size, PROT_READ | PROT_WRITE);
    for (int fd : message.fds)
        close(fd);
    if (!gray || !color || !result)
        return std::nullopt;
    planes.gray = *gray;
    planes.color = *color;
    planes.result = *result;
    for (const GuardedPlane* plane : {&planes.gray, &planes.color, &planes.result})
        FaultIn(*plane);
    return planes;
}

std::string CurrentExceptionType() {
    const std::type_info* type = abi::__cxa_current_exception_type();
    if (!type)
        return "未知类型";
    int status = 0;
    const std::unique_ptr<char, decltype(&std::free)> name(
        abi::__cxa_demangle(type->name(), nullptr, nullptr, &status), &std::free);
    return status == 0 && name ? name.get() : type->name();
}

// The bytes between the result's page start and the result itself start zeroed; a step that
// wrote there went before the result, which no inaccessible page can catch.
std::size_t BytesWrittenBefore(const GuardedPlane& plane) {
    const auto* begin = reinterpret_cast<const unsigned char*>(plane.fileStart);
    std::size_t written = 0;
    for (const unsigned char* byte = begin; byte < plane.data; ++byte)
        written += *byte != 0 ? 1 : 0;
    return written;
}

// What the step may allocate beyond its planes; 0 for no limit.
std::uint64_t g_memoryBytes = 0;

#if !defined(__SANITIZE_ADDRESS__)
// The address space the host has now, planes and guards included.
std::uint64_t AddressSpaceBytes() {
    std::ifstream statm("/proc/self/statm");
    std::uint64_t pages = 0;
    statm >> pages;
    return pages * static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE));
}
#endif

// From here on the step's allocations fail, as a std::bad_alloc or a null pointer, once they
// pass the limit. Under AddressSanitizer, whose shadow memory takes terabytes of address
// space, its own allocator keeps the limit (__asan_default_options).
void LimitMemory() {
#if !defined(__SANITIZE_ADDRESS__)
    if (g_memoryBytes == 0)
        return;
    const rlim_t limit = AddressSpaceBytes() + g_memoryBytes;
    const rlimit addressSpace{limit, limit};
    setrlimit(RLIMIT_AS, &addressSpace);
#endif
}

std::string MemoryNote() {
    return g_memoryBytes == 0
               ? ""
               : "（步骤能分配的内存上限为 " + std::to_string(g_memoryBytes >> 20) + " MiB）";
}

// Set while the step runs: an exit it calls ends the host as what it is, a step that did
// not finish, never as a step that returned.
bool g_stepRunning = false;

void OnExit(int status, void*) {
    if (!g_stepRunning)
        return;
    WriteReport(std::to_string(status));
    _exit(kStepHostCalledExit);
}

// Marks the step's run, also when it leaves by an exception.
struct StepRunning {
    StepRunning() { g_stepRunning = true; }
    ~StepRunning() { g_stepRunning = false; }
    StepRunning(const StepRunning&) = delete;
    StepRunning& operator=(const StepRunning&) = delete;
};

int Run(const CStepLibrary& library, const Planes& planes,
        const std::optional<std::vector<double>>& values) {
    const vexlan_image image{planes.width,
                             planes.height,
                             planes.gray.data,
                             planes.color.data,
                             planes.result.data,
                             nullptr,
                             0};
    on_exit(OnExit, nullptr);
    LimitMemory();
    try {
        const StepRunning running;
        if (const std::optional<std::string> problem =
                library.Run(image, values.value_or(DefaultValues(library.Parameters()))))
            return Refuse(*problem);
    } catch (const std::bad_alloc& exception) {
        WriteReport(exception.what() + MemoryNote());
        return kStepHostThrew;
    } catch (const std::exception& exception) {
        WriteReport(exception.what());
        return kStepHostThrew;
    } catch (...) {
        WriteReport("一个 " + CurrentExceptionType() + " 类型的值");
        return kStepHostThrew;
    }
    if (const std::size_t written = BytesWrittenBefore(planes.result)) {
        WriteReport(std::to_string(written));
        return kStepHostWroteBefore;
    }
    return 0;
}

// The step file named after the verb, opened; a refusal is written to the report.
std::unique_ptr<CStepLibrary> OpenStep(const std::string& text, const std::string& verb) {
    auto library = std::make_unique<CStepLibrary>(text.substr(verb.size() + 1));
    if (!library->Entry())
        WriteReport(library->Problem());
    return library;
}

int Serve() {
    std::optional<Planes> planes;
    std::optional<std::vector<double>> values;
    while (const std::optional<CHostMessage> message = ReceiveHostMessage(kSocketFd)) {
        if (message->text.starts_with("planes ")) {
            if (planes || !(planes = MapPlanes(*message)))
                return Refuse("无法映射共享的图像");
            SendHostMessage(kSocketFd, "ready");
        } else if (message->text.starts_with("values ")) {
            if (!(values = ParseValuesLine(std::string_view(message->text).substr(7))))
                return kStepHostUsage;
        } else if (message->text.starts_with("info ")) {
            const auto library = OpenStep(message->text, "info");
            return library->Entry() ? WriteInfo(*library) : kStepHostRefused;
        } else if (message->text.starts_with("run ") && planes) {
            const auto library = OpenStep(message->text, "run");
            return library->Entry() ? Run(*library, *planes, values) : kStepHostRefused;
        } else {
            return kStepHostUsage;
        }
    }
    return 0;
}

} // namespace

// Under AddressSanitizer a step's fault must still end the host by its signal, which is what
// the program reports; the sanitizer's own handler would end it with status 1 instead.
// A step's allocation past its limit fails inside the step, as without the sanitizer.
extern "C" const char* __asan_default_options() {
    return "handle_segv=0:handle_sigbus=0:handle_sigfpe=0:handle_sigill=0:handle_abort=0:"
           "allocator_may_return_null=1:max_allocation_size_mb=2048";
}

int main(int argc, char** argv) {
    if (argc != 3)
        return kStepHostUsage;
    g_memoryBytes = std::strtoull(argv[2], nullptr, 10);
    // A step that loops must not outlive a program or runner that was killed.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != std::atoi(argv[1]))
        return kStepHostUsage;
    return Serve();
}
