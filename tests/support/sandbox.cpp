#include "tests/support/sandbox.h"

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <thread>

namespace sandbox {

namespace {

// The keeper and the run children report a failed step through this pipe as
// text and then die; the parent turns the text into failure().
[[noreturn]] void die(int report, const std::string& what) {
    std::string text = what + ": " + std::strerror(errno);
    if (report >= 0) {
        (void)write(report, text.data(), text.size());
    }
    _exit(127);
}

// A child that never reaches exec keeps every descriptor it inherited; the
// write ends of other sandboxes' control pipes among them would keep those
// keepers alive forever.
void close_inherited(std::initializer_list<int> keep) {
    const int limit = static_cast<int>(sysconf(_SC_OPEN_MAX));
    for (int fd = 3; fd < limit && fd < 65536; ++fd) {
        bool kept = false;
        for (int k : keep) kept = kept || k == fd;
        if (!kept) close(fd);
    }
}

bool make_dir(const std::string& path, mode_t mode) {
    if (mkdir(path.c_str(), mode) != 0 && errno != EEXIST) return false;
    return chmod(path.c_str(), mode) == 0;
}

// Gives a directory inside the namespace the host's view of one of the
// system folders: the same symbolic link when the host has one (merged
// /usr), else a read-only bind.
bool mirror_system_dir(const std::string& host, const std::string& target) {
    struct stat st;
    if (lstat(host.c_str(), &st) != 0) return true;
    if (S_ISLNK(st.st_mode)) {
        char link[4096];
        ssize_t n = readlink(host.c_str(), link, sizeof link - 1);
        if (n < 0) return false;
        link[n] = '\0';
        return symlink(link, target.c_str()) == 0;
    }
    if (!make_dir(target, 0755)) return false;
    if (mount(host.c_str(), target.c_str(), nullptr, MS_BIND | MS_REC, nullptr) != 0) return false;
    return mount(nullptr, target.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) == 0;
}

bool make_null_device(const std::string& dir) {
    if (!make_dir(dir, 0755)) return false;
    const std::string node = dir + "/null";
    return mknod(node.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0 &&
           chmod(node.c_str(), 0666) == 0;
}

// Both the jail and the scratch root get their own /proc: a program that
// never gets past the jail (a failed chroot, a usage line) still finds it,
// as the leak checker of a sanitizer build needs at exit.
bool lay_out_system(const std::string& dir) {
    for (const char* name : {"usr", "bin", "lib", "lib64", "sbin"}) {
        if (!mirror_system_dir(std::string("/") + name, dir + "/" + name)) return false;
    }
    if (!make_dir(dir + "/proc", 0555)) return false;
    if (mount("proc", (dir + "/proc").c_str(), "proc", MS_NOSUID | MS_NODEV | MS_NOEXEC, nullptr) !=
        0) {
        return false;
    }
    return make_null_device(dir + "/dev");
}

// Runs in the keeper: the private namespace and everything mounted in it.
void build_namespace(const std::string& base, const std::string& bin_dir, std::size_t fs_bytes,
                     int report) {
    if (unshare(CLONE_NEWNS) != 0) die(report, "unshare");
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        die(report, "make-rprivate /");
    const std::string size = "size=" + std::to_string(fs_bytes) + ",mode=755";
    if (mount("tarnvale-sandbox", base.c_str(), "tmpfs", 0, size.c_str()) != 0)
        die(report, "mount tmpfs");
    if (!lay_out_system(base)) die(report, "jail system folders");
    const std::string tools = base + "/tools";
    if (!make_dir(tools, 0755)) die(report, "mkdir tools");
    if (mount(bin_dir.c_str(), tools.c_str(), nullptr, MS_BIND, nullptr) != 0)
        die(report, "bind tools");
    if (mount(nullptr, tools.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) != 0) {
        die(report, "read-only tools");
    }
    const std::string root = base + "/root";
    if (!make_dir(root, 0755) || !lay_out_system(root)) die(report, "root system folders");
    if (!make_dir(root + "/tmp", 01777)) die(report, "mkdir tmp");
    if (!make_dir(root + "/var", 0755) || !make_dir(root + "/var/pdb", 0755))
        die(report, "mkdir var/pdb");
}

std::string read_all(int fd) {
    std::string text;
    char chunk[4096];
    lseek(fd, 0, SEEK_SET);
    for (;;) {
        ssize_t n = read(fd, chunk, sizeof chunk);
        if (n <= 0) break;
        text.append(chunk, static_cast<std::size_t>(n));
    }
    return text;
}

// State letter and user+system seconds of a live process, from /proc.
void sample_process(pid_t pid, char& state, double& cpu) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(in, line);
    const std::size_t close = line.rfind(')');
    if (close == std::string::npos) return;
    std::istringstream fields(line.substr(close + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    for (int i = 3; fields >> field; ++i) {
        if (i == 3) state = field[0];
        if (i == 14) utime = std::stoull(field);
        if (i == 15) {
            stime = std::stoull(field);
            break;
        }
    }
    cpu = static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// Copies one file into a pipe; runs in a child of the program's process.
[[noreturn]] void feed(int source, int pipe_end) {
    signal(SIGPIPE, SIG_IGN);
    char chunk[65536];
    for (;;) {
        ssize_t n = read(source, chunk, sizeof chunk);
        if (n <= 0) break;
        for (ssize_t done = 0; done < n;) {
            ssize_t w = write(pipe_end, chunk + done, static_cast<std::size_t>(n - done));
            if (w <= 0) _exit(0);
            done += w;
        }
    }
    _exit(0);
}

}  // namespace

std::string unavailable_reason() {
    static std::string reason = [] {
        if (geteuid() != 0) return std::string("system tests need root");
        pid_t child = fork();
        if (child == 0) {
            if (unshare(CLONE_NEWNS) != 0) _exit(1);
            if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) _exit(2);
            _exit(0);
        }
        int status = 0;
        if (child < 0 || waitpid(child, &status, 0) != child) return std::string("fork failed");
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            return std::string("mount namespaces are not available");
        }
        return std::string();
    }();
    return reason;
}

scratch_root::scratch_root(const std::string& bin_dir, std::size_t fs_bytes) : bin_dir_(bin_dir) {
    failure_ = unavailable_reason();
    if (!failure_.empty()) return;
    char pattern[] = "/tmp/tarnvale-sandbox-XXXXXX";
    if (!mkdtemp(pattern)) {
        failure_ = "mkdtemp failed";
        return;
    }
    base_ = pattern;
    int report[2], control[2];
    if (pipe2(report, O_CLOEXEC) != 0 || pipe2(control, O_CLOEXEC) != 0) {
        failure_ = "pipe failed";
        return;
    }
    pid_t keeper = fork();
    if (keeper == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        close_inherited({report[1], control[0]});
        build_namespace(base_, bin_dir_, fs_bytes, report[1]);
        ssize_t ready = write(report[1], "", 1);
        (void)ready;
        close(report[1]);
        char byte;
        while (read(control[0], &byte, 1) > 0) {
        }
        _exit(0);
    }
    close(report[1]);
    close(control[0]);
    std::string message = read_all(report[0]);
    close(report[0]);
    if (keeper < 0 || message != std::string(1, '\0')) {
        failure_ = keeper < 0 ? "fork failed" : "sandbox: " + message;
        close(control[1]);
        if (keeper > 0) waitpid(keeper, nullptr, 0);
        return;
    }
    keeper_ = keeper;
    keeper_control_ = control[1];
    namespace_fd_ =
        open(("/proc/" + std::to_string(keeper_) + "/ns/mnt").c_str(), O_RDONLY | O_CLOEXEC);
    if (namespace_fd_ < 0) failure_ = "no namespace handle";
}

scratch_root::~scratch_root() {
    for (const pending& p : pending_) finish(p.pid, 0);
    for (pid_t holder : std::vector<pid_t>(holders_)) release(holder);
    if (namespace_fd_ >= 0) close(namespace_fd_);
    if (keeper_control_ >= 0) close(keeper_control_);
    if (keeper_ > 0) waitpid(keeper_, nullptr, 0);
    // The tmpfs and every bind lived only in the namespace, which ended with
    // the keeper: on the host the directory is empty again.
    if (!base_.empty()) rmdir(base_.c_str());
}

std::string scratch_root::path(const std::string& inside) const {
    return jail_path("/root" + inside);
}

std::string scratch_root::jail_path(const std::string& inside) const {
    return "/proc/" + std::to_string(keeper_) + "/root" + base_ + inside;
}

pid_t scratch_root::start(const std::vector<std::string>& args, const run_options& options) {
    if (!ready()) return -1;
    int input = open(options.stdin_path.empty() ? "/dev/null" : options.stdin_path.c_str(),
                     O_RDONLY | O_CLOEXEC);
    int out = memfd_create("sandbox-out", MFD_CLOEXEC);
    int err = memfd_create("sandbox-err", MFD_CLOEXEC);
    if (input < 0 || out < 0 || err < 0) {
        failure_ = "standard files could not be opened";
        return -1;
    }
    std::vector<std::string> argv_text{options.program};
    if (options.root_argument) {
        argv_text.push_back("-r");
        argv_text.push_back("/root");
    }
    argv_text.insert(argv_text.end(), args.begin(), args.end());
    std::vector<std::string> environment_text = options.environment;
    pid_t pid = fork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (options.stdin_as_pipe) {
            int ends[2];
            if (pipe(ends) != 0) _exit(127);
            if (fork() == 0) {
                close_inherited({input, ends[1]});
                feed(input, ends[1]);
            }
            close(ends[1]);
            dup2(ends[0], 0);
            close(ends[0]);
        } else {
            dup2(input, 0);
        }
        dup2(out, 1);
        dup2(err, 2);
        if (setns(namespace_fd_, CLONE_NEWNS) != 0) die(2, "setns");
        if (chroot(base_.c_str()) != 0 || chdir("/") != 0) die(2, "chroot to the jail");
        for (std::string& setting : environment_text) putenv(setting.data());
        std::vector<char*> argv;
        for (std::string& a : argv_text) argv.push_back(a.data());
        argv.push_back(nullptr);
        const std::string program = "/tools/" + options.program;
        execv(program.c_str(), argv.data());
        die(2, "execv " + program);
    }
    close(input);
    if (pid < 0) {
        close(out);
        close(err);
        return -1;
    }
    pending_.push_back({pid, out, err});
    return pid;
}

result scratch_root::finish(pid_t pid, int timeout_ms) {
    result r;
    std::size_t index = 0;
    while (index < pending_.size() && pending_[index].pid != pid) ++index;
    if (index == pending_.size()) return r;
    const pending p = pending_[index];
    pending_.erase(pending_.begin() + static_cast<std::ptrdiff_t>(index));

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    int status = 0;
    pid_t ended = 0;
    for (;;) {
        ended = waitpid(pid, &status, WNOHANG);
        if (ended != 0 || std::chrono::steady_clock::now() >= deadline) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (ended == 0) {
        r.timed_out = true;
        sample_process(pid, r.state, r.cpu_seconds);
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    if (WIFEXITED(status)) {
        r.status = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        r.signal = WTERMSIG(status);
    }
    r.out = read_all(p.out);
    r.err = read_all(p.err);
    close(p.out);
    close(p.err);
    return r;
}

result scratch_root::run(const std::vector<std::string>& args, const run_options& options) {
    pid_t pid = start(args, options);
    if (pid < 0) {
        result r;
        r.err = failure_;
        return r;
    }
    return finish(pid, options.timeout_ms);
}

pid_t scratch_root::hold(const std::string& inside, bool mapped) {
    if (!ready()) return -1;
    int ready_pipe[2];
    if (pipe2(ready_pipe, O_CLOEXEC) != 0) return -1;
    pid_t pid = fork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        close_inherited({ready_pipe[1], namespace_fd_});
        if (setns(namespace_fd_, CLONE_NEWNS) != 0) die(ready_pipe[1], "setns");
        if (chroot((base_ + "/root").c_str()) != 0 || chdir("/") != 0) die(ready_pipe[1], "chroot");
        int fd = open(inside.c_str(), O_RDONLY);
        if (fd < 0) die(ready_pipe[1], "open " + inside);
        if (mapped) {
            if (mmap(nullptr, 4096, PROT_READ, MAP_SHARED, fd, 0) == MAP_FAILED)
                die(ready_pipe[1], "mmap");
            close(fd);
        }
        (void)write(ready_pipe[1], "", 1);
        close(ready_pipe[1]);
        for (;;) pause();
    }
    close(ready_pipe[1]);
    std::string answer = read_all(ready_pipe[0]);
    close(ready_pipe[0]);
    if (pid < 0) return -1;
    if (answer != std::string(1, '\0')) {
        failure_ = "holder: " + answer;
        waitpid(pid, nullptr, 0);
        return -1;
    }
    holders_.push_back(pid);
    return pid;
}

void scratch_root::release(pid_t holder) {
    for (std::size_t i = 0; i < holders_.size(); ++i) {
        if (holders_[i] != holder) continue;
        kill(holder, SIGKILL);
        waitpid(holder, nullptr, 0);
        holders_.erase(holders_.begin() + static_cast<std::ptrdiff_t>(i));
        return;
    }
}

bool scratch_root::mount_tmpfs(const std::string& inside, std::size_t bytes) {
    if (!ready()) return false;
    pid_t pid = fork();
    if (pid == 0) {
        if (setns(namespace_fd_, CLONE_NEWNS) != 0) _exit(1);
        const std::string target = base_ + "/root" + inside;
        const std::string size = "size=" + std::to_string(bytes) + ",mode=755";
        _exit(mount("tarnvale-small", target.c_str(), "tmpfs", 0, size.c_str()) == 0 ? 0 : 1);
    }
    int status = 0;
    return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

}  // namespace sandbox
