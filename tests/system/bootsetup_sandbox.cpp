#include "tests/system/bootsetup_sandbox.h"

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "tests/support/files.h"

namespace bootsetup_sandbox {

namespace fs = std::filesystem;

namespace {

const std::string source_dir = TARNVALE_SOURCE_DIR;
const std::string bin_dir = TARNVALE_BIN_DIR;
const std::string shim_path = TARNVALE_SANDBOX_SHIM;

const int namespace_flags = CLONE_NEWPID | CLONE_NEWNS | CLONE_NEWNET | CLONE_NEWUTS;
const char* const namespace_kinds[] = {"pid", "mnt", "net", "uts"};

using test_files::slurp;
using test_files::spill;

std::string trim(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return text;
}

std::string quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::string namespace_id(pid_t pid, const char* kind) {
    char link[256] = {0};
    std::string path = "/proc/" + (pid ? std::to_string(pid) : std::string("self")) + "/ns/" + kind;
    ssize_t n = readlink(path.c_str(), link, sizeof link - 1);
    return n > 0 ? std::string(link, static_cast<std::size_t>(n)) : std::string();
}

// Everything the child needs, made before the clone so that the child only
// makes system calls.
struct child_plan {
    std::string root;
    std::string console_slave;                 // host path of the pty's slave
    std::string console_node;                  // its place in the machine's /dev
    std::vector<std::string> read_only_binds;  // host directories bound at the same place in root
    std::vector<std::string> argv;
    std::vector<std::string> envp;
    std::array<std::string, 4> parent_namespaces;
    int hold_read = -1;  // when held: the init waits for a byte here
    int hold_write = -1;
};

[[noreturn]] void refuse(const char* why) {
    dprintf(2, "sandbox: refusing to start: %s\n", why);
    _exit(125);
}

[[noreturn]] void give_up(const char* step) {
    dprintf(2, "sandbox: %s: %s\n", step, strerror(errno));
    _exit(126);
}

int child_main(void* argument) {
    const child_plan& plan = *static_cast<const child_plan*>(argument);

    // The machine runs only as process 1 of namespaces of its own: a reboot
    // or a mount in it must never reach the host.
    if (getpid() != 1) refuse("not process 1 of a new PID namespace");
    for (std::size_t i = 0; i < 4; ++i) {
        std::string mine = namespace_id(0, namespace_kinds[i]);
        if (mine.empty() || mine == plan.parent_namespaces[i]) refuse(namespace_kinds[i]);
    }
    if (plan.hold_read >= 0) {
        // Released by one byte; the end of the pipe means the test is gone.
        close(plan.hold_write);
        char go = 0;
        ssize_t n;
        while ((n = read(plan.hold_read, &go, 1)) < 0 && errno == EINTR) {
        }
        if (n != 1) refuse("never released");
        close(plan.hold_read);
    }

    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) give_up("private mounts");
    const char* root = plan.root.c_str();
    if (mount(root, root, nullptr, MS_BIND, nullptr) != 0) give_up("root");
    for (const std::string& directory : plan.read_only_binds) {
        std::string target = plan.root + directory;
        if (mount(directory.c_str(), target.c_str(), nullptr, MS_BIND | MS_REC, nullptr) != 0)
            give_up(directory.c_str());
        if (mount(nullptr, target.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) != 0)
            give_up(directory.c_str());
    }
    std::string console_target = plan.root + plan.console_node;
    if (mount(plan.console_slave.c_str(), console_target.c_str(), nullptr, MS_BIND, nullptr) != 0)
        give_up("console");

    if (setsid() < 0) give_up("setsid");
    int console = open(plan.console_slave.c_str(), O_RDWR);
    if (console < 0 || ioctl(console, TIOCSCTTY, 0) != 0) give_up("console");
    dup2(console, 0);
    dup2(console, 1);
    dup2(console, 2);
    syscall(SYS_close_range, 3, ~0u, 0);

    if (chdir(root) != 0) give_up("chdir");
    if (syscall(SYS_pivot_root, ".", ".") != 0) give_up("pivot_root");
    if (umount2(".", MNT_DETACH) != 0) give_up("old root");
    if (chdir("/") != 0) give_up("chdir");
    if (sethostname("sandbox", 7) != 0) give_up("hostname");

    std::vector<char*> argv, envp;
    for (const std::string& a : plan.argv) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    for (const std::string& e : plan.envp) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    execve("/sbin/bootsetup", argv.data(), envp.data());
    give_up("exec /sbin/bootsetup");
}

std::string check_tools() {
    const char* const needed[] = {"/usr/sbin/sfdisk",  "/usr/bin/partx",   "/usr/sbin/mke2fs",
                                  "/usr/sbin/debugfs", "/usr/bin/fuseiso", "/usr/bin/genisoimage",
                                  "/bin/bash-static",  "/usr/bin/unshare", "/dev/fuse",
                                  "/dev/loop-control"};
    for (const char* path : needed)
        if (access(path, F_OK) != 0)
            return std::string(path) + " is missing (scripts/setup-packages)";
    for (const std::string& built : {bin_dir + "/bootsetup", bin_dir + "/installer", shim_path})
        if (access(built.c_str(), R_OK) != 0) return built + " is not built";
    return "";
}

std::string check_namespaces() {
    pid_t pid = fork();
    if (pid == 0) _exit(unshare(namespace_flags) == 0 ? 0 : 1);
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0)
        return "cannot make PID, mount, network and UTS namespaces here";
    return "";
}

}  // namespace

std::string unavailable_reason() {
    static const std::string reason = [] {
        if (geteuid() != 0) return std::string("needs root");
        std::string why = check_tools();
        return why.empty() ? check_namespaces() : why;
    }();
    return reason;
}

int shell(const std::string& command, std::string* out) {
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return -1;
    std::string text;
    char buffer[4096];
    std::size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, n);
    int status = pclose(pipe);
    if (out) *out = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool extract_file_system(const std::string& device, const std::string& destination) {
    fs::create_directories(destination);
    std::string script = "mount --make-rprivate / && d=$(mktemp -d) && mount -o ro " +
                         quote(device) + " \"$d\" && { cp -a \"$d\"/. " + quote(destination) +
                         "; rc=$?; umount \"$d\"; rmdir \"$d\"; exit $rc; }";
    return shell("unshare -m sh -c " + quote(script) + " 2>&1") == 0;
}

// ---- loop_disk

loop_disk::loop_disk(const std::string& image, geometry shape) : image_(image), shape_(shape) {
    { std::ofstream create(image, std::ios::binary | std::ios::trunc); }
    std::error_code error;
    fs::resize_file(image, shape.bytes(), error);
    if (error) {
        failure_ = "cannot make " + image + ": " + error.message();
        return;
    }
    std::string out;
    if (shell("losetup -P -f --show " + quote(image) + " 2>&1", &out) != 0) {
        failure_ = "losetup: " + trim(out);
        return;
    }
    device_ = trim(out);
}

loop_disk::~loop_disk() {
    if (!device_.empty()) shell("losetup -d " + quote(device_) + " 2>/dev/null");
}

std::string loop_disk::name() const {
    return device_.substr(device_.rfind('/') + 1);
}

std::string loop_disk::numbers() const {
    return trim(slurp("/sys/block/" + name() + "/dev"));
}

std::string loop_disk::partition_numbers(int n) const {
    return trim(slurp("/sys/block/" + name() + "/" + name() + "p" + std::to_string(n) + "/dev"));
}

std::string loop_disk::partition(int n) const {
    return partition_numbers(n).empty() ? std::string() : device_ + "p" + std::to_string(n);
}

bool loop_disk::rescan() const {
    return shell("partx -u " + quote(device_) + " >/dev/null 2>&1") == 0;
}

bool loop_disk::write_table(const std::string& sfdisk_input) const {
    std::string command = "printf %s " + quote(sfdisk_input) +
                          " | sfdisk -q --no-reread --no-tell-kernel " + quote(device_) +
                          " >/dev/null 2>&1";
    return shell(command) == 0 && rescan();
}

// ---- machine

machine::machine() {
    char pattern[] = "/tmp/tarnvale-machine-XXXXXX";
    if (!mkdtemp(pattern)) {
        failure_ = std::string("mkdtemp: ") + strerror(errno);
        return;
    }
    work_ = pattern;
    root_ = work_ + "/root";
    if (!prepare_root() && failure_.empty()) failure_ = "cannot prepare the machine's root";
}

machine::~machine() {
    if (init_ > 0 && !ended_) {
        kill(init_, SIGKILL);
        if (reader_.joinable()) {
            std::unique_lock<std::mutex> hold(lock_);
            grew_.wait_for(hold, std::chrono::seconds(10), [this] { return ended_; });
        }
    }
    {
        std::lock_guard<std::mutex> hold(lock_);
        stop_reader_ = true;
    }
    if (reader_.joinable()) reader_.join();
    if (hold_ >= 0) close(hold_);
    if (master_ >= 0) close(master_);
    if (slave_ >= 0) close(slave_);
    // Only the machine's own namespace ever held mounts below the root, and
    // it is gone with its last process; still, never remove through a mount.
    struct stat top, usr;
    bool mounted = stat(work_.c_str(), &top) == 0 && stat((root_ + "/usr").c_str(), &usr) == 0 &&
                   usr.st_dev != top.st_dev;
    if (!work_.empty() && !mounted && !getenv("TARNVALE_KEEP_MACHINE")) {
        std::error_code ignored;
        fs::remove_all(work_, ignored);
    }
}

std::string machine::path(const std::string& inside) const {
    return root_ + inside;
}

bool machine::prepare_root() {
    std::error_code error;
    for (const char* directory :
         {"/dev", "/sbin", "/proc", "/floppy", "/mnt", "/tmp", "/etc", "/.sandbox/media"})
        fs::create_directories(root_ + directory, error);
    // The host's programs and libraries: links where the host has links into
    // /usr, read-only binds (made by the child) where it has directories.
    for (const char* directory : {"/bin", "/lib", "/lib64", "/lib32", "/usr"}) {
        struct stat host;
        if (lstat(directory, &host) != 0) continue;
        if (S_ISLNK(host.st_mode)) {
            fs::copy_symlink(directory, root_ + directory, error);
        } else {
            fs::create_directories(root_ + directory, error);
            read_only_binds_.push_back(directory);
        }
    }
    fs::create_symlink("/usr/sbin/mke2fs", root_ + "/sbin/mke2fs", error);
    fs::copy_file(bin_dir + "/installer", root_ + "/sbin/installer", error);
    fs::copy_file(source_dir + "/tests/system/sandbox/sfdisk", root_ + "/sbin/sfdisk", error);
    fs::copy_file(source_dir + "/tests/system/sandbox/insmod", root_ + "/sbin/insmod", error);
    fs::copy_file(shim_path, root_ + "/.sandbox/mount_shim.so", error);
    if (access("/etc/mke2fs.conf", R_OK) == 0)
        fs::copy_file("/etc/mke2fs.conf", root_ + "/etc/mke2fs.conf", error);
    if (error) {
        failure_ = "preparing the root: " + error.message();
        return false;
    }
    return add_node("/dev/null", S_IFCHR, "1:3") && add_node("/dev/fuse", S_IFCHR, "10:229") &&
           spill(root_ + "/dev/tty9", "") && write_media_map();
}

bool machine::add_node(const std::string& name, mode_t kind, const std::string& numbers) {
    unsigned major_number = 0, minor_number = 0;
    if (sscanf(numbers.c_str(), "%u:%u", &major_number, &minor_number) != 2) {
        failure_ = "no device numbers for " + name;
        return false;
    }
    std::string node = root_ + name;
    unlink(node.c_str());
    if (mknod(node.c_str(), kind | 0660, makedev(major_number, minor_number)) != 0) {
        failure_ = "mknod " + name + ": " + strerror(errno);
        return false;
    }
    return true;
}

bool machine::set_disk(const loop_disk& disk) {
    if (!disk.ready()) {
        failure_ = disk.failure();
        return false;
    }
    loop_name_ = disk.name();
    std::ostringstream config;
    config << "disk=/dev/hda\nloop=" << disk.name() << "\ncylinders=" << disk.shape().cylinders
           << "\nheads=" << disk.shape().heads << "\nsectors=" << disk.shape().sectors << "\n";
    if (!spill(root_ + "/.sandbox/disk", config.str()) ||
        !add_node("/dev/hda", S_IFBLK, disk.numbers()))
        return false;
    for (int n = 1; n <= 4; ++n) {
        std::string numbers = disk.partition_numbers(n);
        if (!numbers.empty() && !add_node("/dev/hda" + std::to_string(n), S_IFBLK, numbers))
            return false;
    }
    return true;
}

bool machine::write_file(const std::string& inside, const std::string& bytes, unsigned mode) {
    std::string file = root_ + inside;
    std::error_code ignored;
    fs::create_directories(fs::path(file).parent_path(), ignored);
    if (!spill(file, bytes) || chmod(file.c_str(), mode) != 0) {
        failure_ = "cannot write " + inside;
        return false;
    }
    return true;
}

bool machine::write_media_map() {
    std::string table;
    for (const std::string& line : media_) table += line + "\n";
    // Replaced in one step, so that a mount never reads half a table.
    std::string next = root_ + "/.sandbox/media.map.next";
    return spill(next, table) && rename(next.c_str(), (root_ + "/.sandbox/media.map").c_str()) == 0;
}

namespace {

// A medium's drive: a plain file in the private /dev (what is written to
// it, such as a boot sector, stays there for the test to read).
bool make_drive(const std::string& node) {
    if (access(node.c_str(), F_OK) == 0) return true;
    return spill(node, "");
}

std::string drive_label(const std::string& device) {
    return device.substr(device.rfind('/') + 1);
}

}  // namespace

bool machine::add_iso_medium(const std::string& device, const std::string& tree) {
    std::string inside = "/.sandbox/media/" + drive_label(device) + ".iso";
    std::string out;
    if (shell("genisoimage -quiet -R -J -o " + quote(root_ + inside) + " " + quote(tree) + " 2>&1",
              &out) != 0) {
        failure_ = "genisoimage: " + trim(out);
        return false;
    }
    if (!make_drive(root_ + device)) return false;
    std::erase_if(media_,
                  [&](const std::string& line) { return line.rfind(device + " ", 0) == 0; });
    media_.push_back(device + " iso9660 " + inside);
    return write_media_map();
}

bool machine::set_vfat_medium(const std::string& device, const std::string& tree) {
    std::erase_if(media_,
                  [&](const std::string& line) { return line.rfind(device + " ", 0) == 0; });
    if (!make_drive(root_ + device)) return false;
    if (!tree.empty()) {
        static int serial = 0;
        std::string inside =
            "/.sandbox/media/" + drive_label(device) + "-" + std::to_string(++serial);
        std::error_code error;
        fs::copy(tree, root_ + inside, fs::copy_options::recursive, error);
        if (error) {
            failure_ = "copying " + tree + ": " + error.message();
            return false;
        }
        media_.push_back(device + " vfat " + inside);
    }
    return write_media_map();
}

bool machine::start(const options& how) {
    if (!failure_.empty()) return false;
    if (init_ > 0) {
        failure_ = "already started";
        return false;
    }
    std::error_code error;
    std::string program = how.program.empty() ? bin_dir + "/bootsetup" : how.program;
    fs::copy_file(program, root_ + "/sbin/bootsetup", fs::copy_options::overwrite_existing, error);
    if (error) {
        failure_ = "copying " + program + ": " + error.message();
        return false;
    }

    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char slave_name[128];
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0 ||
        ptsname_r(master_, slave_name, sizeof slave_name) != 0) {
        failure_ = std::string("pseudo-terminal: ") + strerror(errno);
        return false;
    }
    // Kept open here, so that the console outlives the machine's last
    // process and its final output can still be read.
    slave_ = open(slave_name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios settings;
    if (slave_ < 0 || tcgetattr(slave_, &settings) != 0) {
        failure_ = std::string("pseudo-terminal: ") + strerror(errno);
        return false;
    }
    // The test reads the very bytes the programs write: no "\r" added.
    settings.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    tcsetattr(slave_, TCSANOW, &settings);
    winsize size = {};
    size.ws_row = 25;
    size.ws_col = 80;
    ioctl(slave_, TIOCSWINSZ, &size);
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);

    child_plan plan;
    plan.root = root_;
    plan.console_slave = slave_name;
    plan.console_node = how.serial_console ? "/dev/ttyS0" : "/dev/tty0";
    if (!spill(root_ + plan.console_node, "")) {
        failure_ = "cannot make the console node";
        return false;
    }
    plan.read_only_binds = read_only_binds_;
    plan.argv.push_back(how.argv0);
    for (const std::string& a : how.arguments) plan.argv.push_back(a);
    plan.envp = {"LD_PRELOAD=/.sandbox/mount_shim.so", "PATH=/sbin:/usr/sbin:/usr/bin:/bin",
                 "HOME=/", "TERM=linux"};
    for (std::size_t i = 0; i < 4; ++i)
        plan.parent_namespaces[i] = namespace_id(0, namespace_kinds[i]);
    if (how.held) {
        int ends[2];
        if (pipe2(ends, O_CLOEXEC) != 0) {
            failure_ = std::string("pipe: ") + strerror(errno);
            return false;
        }
        plan.hold_read = ends[0];
        plan.hold_write = ends[1];
    }

    static std::vector<char> stack(1 << 20);
    init_ = clone(child_main, stack.data() + stack.size(), namespace_flags | SIGCHLD, &plan);
    if (plan.hold_read >= 0) close(plan.hold_read);
    hold_ = plan.hold_write;
    if (init_ < 0) {
        failure_ = std::string("clone: ") + strerror(errno);
        return false;
    }
    reading_ = true;
    reader_ = std::thread([this] { read_console(); });
    return true;
}

bool machine::release() {
    if (hold_ < 0) return false;
    const char go = 1;
    bool sent = write(hold_, &go, 1) == 1;
    close(hold_);
    hold_ = -1;
    return sent;
}

bool machine::power_off() {
    if (!running()) return false;
    return kill(init_, SIGKILL) == 0;
}

void machine::read_console() {
    char buffer[4096];
    bool drained_after_end = false;
    for (;;) {
        pollfd p = {master_, POLLIN, 0};
        poll(&p, 1, 50);
        ssize_t n;
        bool got = false;
        while ((n = read(master_, buffer, sizeof buffer)) > 0) {
            std::lock_guard<std::mutex> hold(lock_);
            output_.append(buffer, static_cast<std::size_t>(n));
            got = true;
        }
        std::lock_guard<std::mutex> hold(lock_);
        if (!ended_) {
            int status = 0;
            if (waitpid(init_, &status, WNOHANG) == init_) {
                ended_ = true;
                status_ = status;
            }
        } else if (!got) {
            drained_after_end = true;
        }
        if (got || drained_after_end) grew_.notify_all();
        if (drained_after_end || stop_reader_) {
            reading_ = false;
            grew_.notify_all();
            return;
        }
    }
}

bool machine::expect(const std::string& text, int timeout_ms) {
    std::unique_lock<std::mutex> hold(lock_);
    std::size_t found = std::string::npos;
    grew_.wait_for(hold, std::chrono::milliseconds(timeout_ms), [&] {
        found = output_.find(text, mark_);
        return found != std::string::npos || !reading_;
    });
    if (found == std::string::npos) found = output_.find(text, mark_);
    if (found == std::string::npos) return false;
    previous_mark_ = mark_;
    mark_ = found + text.size();
    return true;
}

void machine::send(const std::string& keys) {
    std::size_t done = 0;
    while (done < keys.size()) {
        ssize_t n = write(master_, keys.data() + done, keys.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return;
        } else {
            usleep(1000);
        }
    }
}

std::string machine::screen() const {
    std::lock_guard<std::mutex> hold(lock_);
    return output_;
}

std::string machine::unread() const {
    std::lock_guard<std::mutex> hold(lock_);
    return output_.substr(mark_);
}

std::string machine::last_expected() const {
    std::lock_guard<std::mutex> hold(lock_);
    return output_.substr(previous_mark_, mark_ - previous_mark_);
}

bool machine::wait(int timeout_ms, int* status) {
    std::unique_lock<std::mutex> hold(lock_);
    bool done = grew_.wait_for(hold, std::chrono::milliseconds(timeout_ms),
                               [this] { return ended_ && !reading_; });
    if (done && status) *status = status_;
    return done;
}

bool machine::running() const {
    std::lock_guard<std::mutex> hold(lock_);
    return init_ > 0 && !ended_;
}

bool machine::rebooted() const {
    std::lock_guard<std::mutex> hold(lock_);
    return ended_ && WIFSIGNALED(status_) && WTERMSIG(status_) == SIGHUP;
}

bool machine::interrupt() {
    if (!running()) return false;
    // The worker is init's child that runs bootsetup (file systems in user
    // space that init adopted are children too).
    std::istringstream children(
        slurp("/proc/" + std::to_string(init_) + "/task/" + std::to_string(init_) + "/children"));
    pid_t child;
    while (children >> child) {
        if (trim(slurp("/proc/" + std::to_string(child) + "/comm")) == "bootsetup")
            return kill(child, SIGINT) == 0;
    }
    return kill(init_, SIGINT) == 0;
}

std::string machine::hidden_console() const {
    return slurp(root_ + "/dev/tty9");
}
std::string machine::insmod_log() const {
    return slurp(root_ + "/.sandbox/insmod.log");
}
std::string machine::sfdisk_log() const {
    return slurp(root_ + "/.sandbox/sfdisk.log");
}
std::string machine::mounts_log() const {
    return slurp(root_ + "/.sandbox/mounts.log");
}

}  // namespace bootsetup_sandbox
