#pragma once

// Runs the real programs on a scratch root inside a private mount namespace,
// so that a run can chroot, mount, make device nodes and fill a file system
// without the host seeing any of it.
//
// A keeper process owns the namespace for the life of a sandbox. Inside it a
// tmpfs of a chosen size is mounted on a fresh host directory B, and B gets:
//
//   B/usr, B/tools                read-only binds of the host's /usr and of the
//                                 build's bin directory (bin, lib, lib64 as on
//                                 the host: symbolic links into usr, or binds)
//   B/dev/null
//   B/root                        the scratch root handed to the program with
//                                 "-r /root": its own usr/bin/lib binds, /proc,
//                                 /tmp, /var/pdb and /dev/null
//
// Every run is chrooted into B before the program starts, so a program that
// fails to chroot further lands in B, never on the host. The test reads and
// writes the tree through path(), which reaches into the namespace by way of
// /proc/<keeper>/root.
//
//   sandbox::scratch_root box(TARNVALE_BIN_DIR);
//   if (!box.ready()) GTEST_SKIP() << box.failure();
//   sandbox::result r = box.run({"/pkg/a.vsk"});      // installer -r /root /pkg/a.vsk

#include <sys/types.h>

#include <cstddef>
#include <string>
#include <vector>

namespace sandbox {

// Empty when namespaces, mounts and chroot work here; else why they do not.
std::string unavailable_reason();

struct result {
    int status = -1;         // exit status; -1 when the process was killed
    int signal = 0;          // the signal that ended it, 0 when it exited
    bool timed_out = false;  // still running at the deadline, then killed
    char state = '?';        // process state at the deadline ('S' sleeping, 'R' running)
    double cpu_seconds = 0;  // processor time used, read at the deadline
    std::string out;         // standard output
    std::string err;         // standard error
};

struct run_options {
    std::string stdin_path;      // host file for standard input; empty: /dev/null
    bool stdin_as_pipe = false;  // feed that file through a pipe, as bootsetup does
    int timeout_ms = 30000;
    bool root_argument = true;             // put "-r /root" in front of the arguments
    std::string program = "installer";     // a program of the build's bin directory
    std::vector<std::string> environment;  // "NAME=value" added for the program
};

class scratch_root {
public:
    // bin_dir: the build's bin directory; fs_bytes: size of the tmpfs that
    // holds the whole scratch tree.
    explicit scratch_root(const std::string& bin_dir, std::size_t fs_bytes = 256u << 20);
    ~scratch_root();
    scratch_root(const scratch_root&) = delete;
    scratch_root& operator=(const scratch_root&) = delete;

    bool ready() const { return keeper_ > 0; }
    const std::string& failure() const { return failure_; }

    // Host path of a path inside the scratch root ("/var/pdb/a/version").
    std::string path(const std::string& inside) const;
    // Host path of a path inside B, the jail around the scratch root.
    std::string jail_path(const std::string& inside) const;

    result run(const std::vector<std::string>& args, const run_options& options = {});

    // Starts a run without waiting; finish() waits for it (or kills it at
    // the deadline) and collects its output.
    pid_t start(const std::vector<std::string>& args, const run_options& options = {});
    result finish(pid_t pid, int timeout_ms);

    // A process inside the namespace that keeps a file of the scratch root
    // open (or, with mapped, only mapped into memory) until released.
    pid_t hold(const std::string& inside, bool mapped);
    void release(pid_t holder);

    // Mounts a tmpfs of the given size over a directory of the scratch root.
    bool mount_tmpfs(const std::string& inside, std::size_t bytes);

private:
    struct pending {
        pid_t pid;
        int out;
        int err;
    };
    std::string base_;  // B on the host (an empty directory there)
    pid_t keeper_ = -1;
    int keeper_control_ = -1;  // closing it ends the keeper
    int namespace_fd_ = -1;
    std::string bin_dir_;
    std::string failure_;
    std::vector<pending> pending_;
    std::vector<pid_t> holders_;
};

}  // namespace sandbox
