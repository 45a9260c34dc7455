#include "sealview.h"

#include "systemerror.h"

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Where the listed view is put together before it becomes the root.
constexpr char kNewRoot[] = "/tmp";
constexpr char kOldRoot[] = "/.oldroot";

constexpr std::array kDevices = {"null", "zero", "full", "random", "urandom"};

// What a compiler and the programs beside Vexlan's need of the system: its programs and
// libraries, the library cache and the alternatives that name the compiler.
constexpr std::array kSystemPaths = {"/usr",
                                     "/bin",
                                     "/sbin",
                                     "/lib",
                                     "/lib32",
                                     "/lib64",
                                     "/libx32",
                                     "/etc/alternatives",
                                     "/etc/ld.so.cache",
                                     "/etc/ld.so.conf",
                                     "/etc/ld.so.conf.d"};

class SetupError {
public:
    SetupError(std::string what, int error) : m_text(what + "：" + AfxSystemErrorPhrase(error)) {}
    const std::string& Text() const { return m_text; }

private:
    std::string m_text;
};

void Check(bool done, const std::string& what) {
    if (!done)
        throw SetupError(what, errno);
}

class Descriptor {
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor() {
        if (m_fd >= 0)
            close(m_fd);
    }
    Descriptor(Descriptor&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    Descriptor& operator=(Descriptor&&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

// A copy of the mount tree at path, not yet attached anywhere; read-only unless writable.
// Nothing for a path that does not exist.
std::optional<Descriptor> DetachedCopy(const std::string& path, bool writable) {
    Descriptor tree(
        open_tree(AT_FDCWD, path.c_str(), OPEN_TREE_CLONE | OPEN_TREE_CLOEXEC | AT_RECURSIVE));
    if (tree.get() < 0 && errno == ENOENT)
        return std::nullopt;
    Check(tree.get() >= 0, "复制 " + path);
    mount_attr attributes{};
    attributes.attr_set = MOUNT_ATTR_NOSUID | (writable ? 0 : MOUNT_ATTR_RDONLY);
    Check(mount_setattr(tree.get(), "", AT_EMPTY_PATH | AT_RECURSIVE, &attributes,
                        sizeof attributes) == 0,
          "设置 " + path + " 的挂载属性");
    return tree;
}

void Attach(const Descriptor& tree, const std::string& at) {
    Check(move_mount(tree.get(), "", AT_FDCWD, at.c_str(), MOVE_MOUNT_F_EMPTY_PATH) == 0,
          "挂载 " + at);
}

// An empty directory or file at path for a mount of that kind, with the folders above it.
void MakeMountPoint(const std::string& path, bool directory) {
    std::error_code error;
    fs::create_directories(directory ? fs::path(path) : fs::path(path).parent_path(), error);
    if (!directory && !fs::exists(path, error))
        Descriptor(open(path.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644));
}

void MountTmpfs(const std::string& at, unsigned long flags, const std::string& options) {
    Check(mount("tmpfs", at.c_str(), "tmpfs", flags, options.c_str()) == 0, "挂载 " + at);
}

void MakeReadOnly(const std::string& at, unsigned long flags) {
    Check(mount(nullptr, at.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY | flags, nullptr) ==
              0,
          "把 " + at + " 设为只读");
}

std::vector<Descriptor> CopyDevices() {
    std::vector<Descriptor> devices;
    for (const char* name : kDevices)
        if (std::optional<Descriptor> device = DetachedCopy(std::string("/dev/") + name, true))
            devices.push_back(std::move(*device));
        else
            throw SetupError(std::string("找不到 /dev/") + name, ENOENT);
    return devices;
}

void MountDevices(const std::string& at, const std::vector<Descriptor>& devices) {
    MountTmpfs(at, MS_NOSUID | MS_NOEXEC, "mode=0755,size=64k");
    MakeMountPoint(at + "/shm", true);
    for (std::size_t i = 0; i < devices.size(); ++i) {
        const std::string node = at + "/" + kDevices[i];
        MakeMountPoint(node, false);
        Attach(devices[i], node);
    }
    const std::pair<const char*, const char*> links[] = {{"fd", "/proc/self/fd"},
                                                         {"stdin", "/proc/self/fd/0"},
                                                         {"stdout", "/proc/self/fd/1"},
                                                         {"stderr", "/proc/self/fd/2"}};
    for (const auto& [name, target] : links)
        Check(symlink(target, (at + "/" + name).c_str()) == 0, "建立 " + at + "/" + name);
    MakeReadOnly(at, MS_NOSUID | MS_NOEXEC);
}

// The run's own processes. Where the system refuses a process list of its own (a container
// that hides parts of its own), an empty folder takes its place: never the caller's.
void MountProcesses(const std::string& at) {
    if (mount("proc", at.c_str(), "proc", MS_NOSUID | MS_NODEV | MS_NOEXEC, nullptr) != 0)
        MountTmpfs(at, MS_NOSUID | MS_NODEV | MS_NOEXEC | MS_RDONLY, "mode=0555,size=4k");
}

void MountTemporaryFolder(const std::string& at, std::uint64_t bytes) {
    MountTmpfs(at, MS_NOSUID | MS_NODEV,
               "mode=1777" + (bytes > 0 ? ",size=" + std::to_string(bytes) : std::string()));
}

// A mount point as /proc/self/mountinfo writes it, with its octal escapes ("\040" a space).
std::string Unescaped(const std::string& field) {
    std::string path;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            path += static_cast<char>(std::stoi(field.substr(i + 1, 3), nullptr, 8));
            i += 3;
        } else {
            path += field[i];
        }
    }
    return path;
}

// The mounts below folder, not those below them, as copies to put back where they were.
std::vector<std::pair<std::string, Descriptor>> CopySubmounts(const std::string& folder) {
    std::vector<std::string> points;
    std::ifstream mounts("/proc/self/mountinfo");
    for (std::string line; std::getline(mounts, line);) {
        std::istringstream fields(line);
        std::string id, parent, device, root, point;
        fields >> id >> parent >> device >> root >> point;
        point = Unescaped(point);
        if (point.starts_with(folder + "/"))
            points.push_back(point);
    }
    std::ranges::sort(points);
    std::vector<std::pair<std::string, Descriptor>> copies;
    for (const std::string& point : points)
        if (copies.empty() || !point.starts_with(copies.back().first + "/"))
            if (std::optional<Descriptor> tree = DetachedCopy(point, false))
                copies.emplace_back(point, std::move(*tree));
    return copies;
}

// /tmp as the user has it, and writable, but what is written stays in /dev/shm, the run's own
// space, and goes with it. Where the system allows no such layer, /tmp is that space itself.
// What is mounted below /tmp (the files a student's seal shows there) is put back on top.
void MountPrivateTmp(std::uint64_t bytes) {
    const std::vector<std::pair<std::string, Descriptor>> submounts = CopySubmounts("/tmp");
    MountTemporaryFolder("/dev/shm", bytes);
    const std::string upper = "/dev/shm/.tmp", work = "/dev/shm/.tmp-work";
    Check(mkdir(upper.c_str(), 01777) == 0 && mkdir(work.c_str(), 0700) == 0 &&
              chmod(upper.c_str(), 01777) == 0,
          "建立 " + upper);
    const std::string layers = "lowerdir=/tmp,upperdir=" + upper + ",workdir=" + work;
    if (mount("overlay", "/tmp", "overlay", MS_NOSUID | MS_NODEV,
              (layers + ",userxattr").c_str()) != 0 &&
        mount("overlay", "/tmp", "overlay", MS_NOSUID | MS_NODEV, layers.c_str()) != 0)
        MountTemporaryFolder("/tmp", bytes);
    for (const auto& [point, tree] : submounts) {
        struct stat status {};
        Check(fstat(tree.get(), &status) == 0, "读取 " + point);
        MakeMountPoint(point, S_ISDIR(status.st_mode));
        Attach(tree, point);
    }
}

void BuildWholeSystem(const CSealPolicy& policy) {
    const std::vector<Descriptor> devices = CopyDevices();
    mount_attr readOnly{};
    readOnly.attr_set = MOUNT_ATTR_RDONLY | MOUNT_ATTR_NOSUID;
    Check(mount_setattr(AT_FDCWD, "/", AT_RECURSIVE, &readOnly, sizeof readOnly) == 0,
          "把文件系统设为只读");
    MountDevices("/dev", devices);
    MountProcesses("/proc");
    MountPrivateTmp(policy.limits.fileBytes);
    std::error_code error;
    if (fs::is_directory("/run", error))
        MountTmpfs("/run", MS_NOSUID | MS_NODEV | MS_NOEXEC | MS_RDONLY, "mode=0755,size=4k");
}

struct ListedPath {
    std::string path;
    Descriptor tree;
    bool directory;
};

std::vector<ListedPath> CopyListedPaths(const CSealPolicy& policy) {
    std::vector<std::pair<std::string, bool>> wanted; // path, writable
    for (const char* path : kSystemPaths)
        wanted.emplace_back(path, false);
    for (const std::string& path : policy.readable)
        wanted.emplace_back(path, false);
    for (const std::string& path : policy.writable)
        wanted.emplace_back(path, true);
    // A folder before what lies in it, which is then mounted over its copy.
    std::ranges::sort(wanted);
    std::vector<ListedPath> listed;
    for (const auto& [path, writable] : wanted)
        if (std::optional<Descriptor> tree = DetachedCopy(path, writable)) {
            struct stat status {};
            Check(fstat(tree->get(), &status) == 0, "读取 " + path);
            listed.push_back({path, std::move(*tree), S_ISDIR(status.st_mode)});
        }
    return listed;
}

// Makes the folder that holds the listed view the root, and lets the old root go.
void EnterNewRoot() {
    const std::string oldRoot = std::string(kNewRoot) + kOldRoot;
    Check(mkdir(oldRoot.c_str(), 0700) == 0, "建立 " + oldRoot);
    Check(syscall(SYS_pivot_root, kNewRoot, oldRoot.c_str()) == 0, "切换根目录");
    Check(chdir("/") == 0, "进入新的根目录");
    Check(umount2(kOldRoot, MNT_DETACH) == 0, "卸载原来的根目录");
    rmdir(kOldRoot);
}

void BuildListed(const CSealPolicy& policy) {
    std::array<char, PATH_MAX> cwd{};
    const bool hasCwd = getcwd(cwd.data(), cwd.size()) != nullptr;
    const std::vector<Descriptor> devices = CopyDevices();
    const std::vector<ListedPath> listed = CopyListedPaths(policy);
    const std::string root = kNewRoot;
    MountTmpfs(root, MS_NOSUID | MS_NODEV, "mode=0755,size=1m");
    for (const char* folder : {"/dev", "/proc", "/tmp"})
        MakeMountPoint(root + folder, true);
    MountDevices(root + "/dev", devices);
    MountProcesses(root + "/proc");
    MountTemporaryFolder(root + "/tmp", policy.limits.fileBytes);
    for (const ListedPath& entry : listed) {
        MakeMountPoint(root + entry.path, entry.directory);
        Attach(entry.tree, root + entry.path);
    }
    // The working directory stays where it was, an empty folder unless something is listed
    // there: paths relative to it (drive D:) mean what they meant.
    if (hasCwd)
        MakeMountPoint(root + cwd.data(), true);
    EnterNewRoot();
    MakeReadOnly("/", MS_NOSUID | MS_NODEV);
    if (!hasCwd || chdir(cwd.data()) != 0)
        Check(chdir("/") == 0, "进入新的根目录");
}

} // namespace

std::optional<std::string> BuildSealView(const CSealPolicy& policy) {
    try {
        // Nothing done here may reach the caller's mounts.
        Check(mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0, "隔离挂载点");
        if (policy.view == CSealPolicy::View::Listed)
            BuildListed(policy);
        else
            BuildWholeSystem(policy);
        return std::nullopt;
    } catch (const SetupError& error) {
        return error.Text();
    }
}
