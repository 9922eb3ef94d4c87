#pragma once

// Runs the real bootsetup as the init of a machine that exists only for one
// test: fresh PID, mount, network and UTS namespaces, a root of its own, a
// private /dev that holds only the nodes the test gives it, and a console on
// a pseudo-terminal that the test drives key by key and reads back.
//
// The root of the machine is a host directory W/root that the test fills
// before start() and can still read afterwards:
//
//   /usr (read-only bind), /bin /lib /lib64 as on the host (links into usr,
//   or read-only binds)   the host's bash, libraries and tools
//   /sbin/init or /sbin/bootsetup   the build's bootsetup
//   /sbin/installer       the build's installer
//   /sbin/mke2fs          the host's, by a link into /usr
//   /sbin/sfdisk          a wrapper over util-linux sfdisk (sandbox/sfdisk)
//   /sbin/insmod          records module names in /.sandbox/insmod.log
//   /dev                  hda (the loop disk), hda1..: its partitions, the
//                         media nodes, tty0 or ttyS0 (the console), tty9 (a
//                         capture file of the hidden console), null, fuse
//   /.sandbox             media.map, disk, the media, the logs, the
//                         preload library that stands in for the media file
//                         systems this kernel lacks (sandbox/mount_shim.cpp)
//
// The child that becomes the machine checks that it is process 1 of new PID,
// mount, network and UTS namespaces before it executes anything; nothing in
// this file starts bootsetup any other way. A reboot inside the machine ends
// its init with SIGHUP, which is how the test sees it.
//
//   bootsetup_sandbox::loop_disk disk(image, {1023, 16, 63});
//   bootsetup_sandbox::machine box;
//   box.set_disk(disk);
//   box.add_iso_medium("/dev/hdc", cd_tree);
//   box.write_file("/TYPE", "cdrom\n");
//   ASSERT_TRUE(box.start());
//   ASSERT_TRUE(box.expect("[y/n]:"));
//   box.send("y");

#include <sys/types.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace bootsetup_sandbox {

// Empty when this machine can run sandboxes (root, namespaces, loop devices,
// the tools); else why not, for GTEST_SKIP.
std::string unavailable_reason();

struct geometry {
    unsigned cylinders = 1023;
    unsigned heads = 16;
    unsigned sectors = 63;
    unsigned long long bytes() const { return 512ull * cylinders * heads * sectors; }
};

// A sparse disk image attached to a loop device with partition scanning;
// detached again when destroyed.
class loop_disk {
public:
    loop_disk(const std::string& image, geometry shape);
    ~loop_disk();
    loop_disk(const loop_disk&) = delete;
    loop_disk& operator=(const loop_disk&) = delete;

    bool ready() const { return !device_.empty(); }
    const std::string& failure() const { return failure_; }
    const std::string& device() const { return device_; }  // "/dev/loop3"
    std::string name() const;                              // "loop3"
    const std::string& image() const { return image_; }
    const geometry& shape() const { return shape_; }

    // Tells the kernel about the table on the disk, as partx -u does.
    bool rescan() const;
    // Host device of partition n ("/dev/loop3p1"), empty when it does not exist.
    std::string partition(int n) const;
    // "MAJOR:MINOR" of partition n, empty when it does not exist.
    std::string partition_numbers(int n) const;
    std::string numbers() const;

    // Writes a table with util-linux sfdisk (lines of its own input syntax)
    // and makes the kernel see it.
    bool write_table(const std::string& sfdisk_input) const;

private:
    std::string image_;
    std::string device_;
    std::string failure_;
    geometry shape_;
};

struct options {
    // argv[0]: a name with "init" in it makes bootsetup fork a worker.
    std::string argv0 = "/sbin/init";
    std::vector<std::string> arguments;
    // Console on "/dev/ttyS0" with no "/dev/tty0", as on a machine without
    // a VGA console.
    bool serial_console = false;
    // The program to run; the build's bootsetup unless a test of the sandbox
    // itself gives a stand-in.
    std::string program;
    // The machine's namespaces and root are made, but its init waits before
    // it runs the program until release(): time to plug in network cables
    // (sandbox_cable.h), which a program that lists its interfaces at once
    // must find there.
    bool held = false;
};

class machine {
public:
    machine();
    ~machine();
    machine(const machine&) = delete;
    machine& operator=(const machine&) = delete;

    const std::string& failure() const { return failure_; }
    // Host path of a path inside the machine's root.
    std::string path(const std::string& inside) const;
    const std::string& work_dir() const { return work_; }

    // Preparation, before start().
    bool set_disk(const loop_disk& disk);  // "/dev/hda" and its partitions
    bool write_file(const std::string& inside, const std::string& bytes, unsigned mode = 0644);
    // A disc image of TREE in the CD drive DEVICE (a node of the private /dev).
    bool add_iso_medium(const std::string& device, const std::string& tree);
    // A copy of TREE in the drive DEVICE as a "vfat" medium. May be called
    // while the machine runs, to change the floppy in the drive; an empty
    // TREE empties the drive.
    bool set_vfat_medium(const std::string& device, const std::string& tree);

    bool start(const options& how = {});
    // Lets a machine started held run its program.
    bool release();
    // Process id of the machine's init as the host sees it; -1 before start().
    pid_t init_pid() const { return init_; }
    // Ends the machine at once, as pulling its power cord would: SIGKILL to
    // its init takes every process of its PID namespace along. The console
    // output stays readable.
    bool power_off();

    // Screen output.
    // Waits until TEXT appears in the output after the read mark and moves
    // the mark past it; false at the timeout or when the machine ended first.
    bool expect(const std::string& text, int timeout_ms = 60000);
    void send(const std::string& keys);
    // Everything the console received so far.
    std::string screen() const;
    // The output after the read mark, without moving it.
    std::string unread() const;
    // The output between the previous mark and the current one.
    std::string last_expected() const;

    // Waits for the machine to end. True when it ended; *status is the raw
    // wait status of its init.
    bool wait(int timeout_ms, int* status = nullptr);
    // True when it has ended through a reboot.
    bool rebooted() const;
    bool running() const;
    // Sends SIGINT to the worker that drives the installation (the child of
    // init when init forked, else init itself), as Ctrl-C on the console does.
    bool interrupt();

    std::string hidden_console() const;  // "/dev/tty9"
    std::string insmod_log() const;
    std::string sfdisk_log() const;
    std::string mounts_log() const;

private:
    void read_console();
    bool prepare_root();
    bool add_node(const std::string& name, mode_t kind, const std::string& numbers);
    bool write_media_map();

    std::string work_;
    std::string root_;
    std::string failure_;
    std::vector<std::string> media_;  // lines of the media table
    pid_t init_ = -1;
    int hold_ = -1;  // write end of the pipe a held init waits on
    int master_ = -1;
    int slave_ = -1;
    std::vector<std::string> read_only_binds_;
    int status_ = 0;
    bool ended_ = false;
    std::string loop_name_;

    mutable std::mutex lock_;
    std::condition_variable grew_;
    std::string output_;
    std::size_t mark_ = 0;
    std::size_t previous_mark_ = 0;
    bool reading_ = false;
    bool stop_reader_ = false;
    std::thread reader_;
};

// Runs a shell command line on the host; its standard output in *out.
int shell(const std::string& command, std::string* out = nullptr);

// Copies the file system of DEVICE (mounted read-only in a private mount
// namespace) into DESTINATION with owners, modes and times.
bool extract_file_system(const std::string& device, const std::string& destination);

}  // namespace bootsetup_sandbox
