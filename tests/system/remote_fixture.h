#pragma once

// Two or three sandboxed machines on veth cables for the remote installation
// tests: installation servers booted from a CD-ROM (their menu driven by the
// test: 'r', the router list, the answers) and a network-booted client with
// "net" in "/TYPE", a disk and a floppy that carries "label.txt".
//
// Hardware addresses say who is who: 02:54:56:00:0S:0N is interface N of
// server S, 02:54:56:00:C0:0N interface N of the client.

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "tests/system/bootsetup_fixture.h"
#include "tests/system/sandbox_cable.h"

namespace remote_test {

using namespace bootsetup_test;
using bootsetup_sandbox::cable;
using bootsetup_sandbox::cable_end;

inline std::string server_mac(int server, int interface) {
    return "02:54:56:00:0" + std::to_string(server) + ":0" + std::to_string(interface);
}
inline std::string client_mac(int interface) {
    return "02:54:56:00:C0:0" + std::to_string(interface);
}

inline bootsetup_sandbox::options held() {
    bootsetup_sandbox::options how;
    how.held = true;
    return how;
}

// An installation server: a small disk of its own (the CD-ROM flow finds
// one before it shows the menu) and the packages on a CD-ROM.
struct server_machine {
    machine box;
    std::unique_ptr<loop_disk> disk;

    void boot(const fs::path& cd) {
        disk = std::make_unique<loop_disk>(box.work_dir() + "/disk.img", geometry{20, 16, 63});
        ASSERT_TRUE(disk->ready()) << disk->failure();
        ASSERT_TRUE(box.set_disk(*disk)) << box.failure();
        ASSERT_TRUE(box.add_iso_medium("/dev/hdc", cd.string())) << box.failure();
        ASSERT_TRUE(box.write_file("/TYPE", "cdrom\n"));
        ASSERT_TRUE(box.start(held())) << box.failure();
    }

    // Everything selected in the menu, then 'r': the search for routers.
    void open_router_list(int interfaces = 1) {
        ASSERT_TRUE(box.expect("Select all with 'a', minimum with 'm'.")) << box.screen();
        ASSERT_TRUE(box.expect("):")) << box.unread();
        box.send("a");
        ASSERT_TRUE(box.expect("[X] webui")) << box.unread();
        box.send("r");
        std::string searching = "\nLooking for routers on " + std::to_string(interfaces) +
                                (interfaces == 1 ? " interface...\n" : " interfaces...\n");
        ASSERT_TRUE(box.expect(searching)) << box.unread();
    }

    // The configuration questions: "n" to keeping the old configuration and
    // the four answers, or "y" and none.
    void answer(const std::vector<std::string>& answers) {
        ASSERT_TRUE(box.expect("Keep config?")) << box.unread();
        if (answers.empty()) {
            box.send("y");
            return;
        }
        box.send("n");
        const char* labels[] = {
            "Enter routers IP address: ", "Enter routers netmask bit count: ",
            "Enter routers default gateway address: ", "Enter serial console baud rate: "};
        for (std::size_t i = 0; i < 4; ++i) {
            ASSERT_TRUE(box.expect(labels[i])) << box.unread();
            // The last Enter is sent by the caller, when it wants the offer out.
            box.send(i < 3 ? answers[i] + "\n" : answers[i]);
        }
    }

    // "Transfering: NAME..." lines so far, in order.
    std::vector<std::string> transfers() const {
        std::vector<std::string> names;
        static const std::regex line("Transfering: ([^\n]*)\\.\\.\\.\n");
        std::string screen = box.screen();
        for (std::sregex_iterator i(screen.begin(), screen.end(), line), end; i != end; ++i)
            names.push_back((*i)[1]);
        return names;
    }

    // Back in the menu after a remote installation: 'q', then the reboot.
    void leave() {
        ASSERT_TRUE(box.expect("Select all with 'a', minimum with 'm'.")) << box.unread();
        box.send("q");
        ASSERT_TRUE(box.expect("Installation canceled\nPress ENTER to reboot\n")) << box.unread();
        box.send("\n");
        ASSERT_TRUE(box.wait(30000));
        EXPECT_TRUE(box.rebooted());
    }
};

// The network-booted router to be installed.
struct client_machine {
    machine box;
    std::unique_ptr<loop_disk> disk;

    // The disk is made by the caller first when it is to hold an old system.
    void make_disk() {
        disk = std::make_unique<loop_disk>(box.work_dir() + "/disk.img", geometry{100, 16, 63});
        ASSERT_TRUE(disk->ready()) << disk->failure();
    }

    void boot(const std::string& label_file) {
        if (!disk) make_disk();
        ASSERT_TRUE(box.set_disk(*disk)) << box.failure();
        fs::path floppy = fs::path(box.work_dir()) / "floppy";
        put(floppy / "label.txt", label_file);
        ASSERT_TRUE(box.set_vfat_medium("/dev/fd0", floppy.string())) << box.failure();
        ASSERT_TRUE(box.write_file("/TYPE", "net\n"));
        ASSERT_TRUE(box.start(held())) << box.failure();
    }
};

inline void release(std::initializer_list<machine*> machines) {
    for (machine* box : machines) ASSERT_TRUE(box->release());
}

// The sample packages, each needing "system" at least: its static bash runs
// the install scripts that record the order on the disk. At about 2 MB it
// also makes a transfer of many packets.
inline std::vector<package_spec> remote_packages() {
    std::vector<package_spec> specs = sample_packages();
    for (package_spec& spec : specs)
        if (spec.name != "system" && spec.depends.empty()) spec.depends.push_back({"system"});
    return specs;
}

inline fs::path make_cd(const fs::path& work) {
    fs::path cd = work / "cd";
    build_media(work, cd, remote_packages());
    return cd;
}

// The script the server makes for the answers {address, bits, gateway, baud}.
inline std::string expected_script(const std::string& mac,
                                   const std::vector<std::string>& answers) {
    std::string script;
    if (answers[0] != "0.0.0.0" && answers[1] != "0")
        script +=
            ":local eth\n:set eth [/interface ethernet get [/interface ethernet find mac-address=" +
            mac + "] name]\n/interface enable $eth\n/ip address add address=" + answers[0] + "/" +
            answers[1] + " interface=$eth\n";
    if (answers[2] != "0.0.0.0") script += "/ip route add gateway=" + answers[2] + "\n";
    if (answers[3] != "0") script += "/port set [/port find] baud-rate=" + answers[3] + "\n";
    return script;
}

// The client's disk after it has ended: the table, a clean file system
// (read_disk runs e2fsck -fn), every package that the server sent installed
// in the order it was sent (which puts dependencies first), each package's
// files byte for byte, "CDINSTALL" and the configuration script.
inline fs::path check_installed_disk(const loop_disk& disk, const fs::path& work,
                                     const std::vector<std::string>& sent,
                                     const std::string* script) {
    disk_contents after = read_disk(disk, work);
    unsigned cylinder = disk.shape().heads * disk.shape().sectors;
    EXPECT_EQ(table_entry(after.table, disk, 1),
              "start=" + std::to_string(disk.shape().sectors) + ",size=" +
                  std::to_string(disk.shape().cylinders * cylinder - disk.shape().sectors) +
                  ",type=83,bootable")
        << after.table;
    if (after.trees.count(1) == 0) {
        ADD_FAILURE() << "no file system on the client's disk";
        return {};
    }
    fs::path root = after.trees[1];
    std::string order;
    std::vector<package_spec> specs = remote_packages();
    for (const std::string& file : sent) {
        if (file == "configuration") continue;
        std::string name = file.substr(0, file.find('-'));
        order += name + "\n";
        EXPECT_TRUE(fs::is_directory(root / "var/pdb" / name)) << name;
        for (const package_spec& spec : specs) {
            if (spec.name != name) continue;
            EXPECT_EQ(slurp(root / "usr/share" / name / "README"),
                      name + " " + builder::version_text(spec.version) + "\n");
        }
    }
    EXPECT_EQ(slurp(root / "var/install-order"), order);
    for (const package_spec& spec : specs) {
        std::size_t at = order.find(spec.name + "\n");
        for (const builder::relation_spec& dependency : spec.depends)
            EXPECT_LT(order.find(dependency.name + "\n"), at)
                << spec.name << " before " << dependency.name;
    }
    EXPECT_EQ(slurp(root / "bin/bash"), slurp("/bin/bash-static"));
    EXPECT_EQ(facts(root / "CDINSTALL").mode, 0600u);
    EXPECT_EQ(slurp(root / "var/postinstall.done"), "postinstall ran\n");
    if (script) {
        EXPECT_TRUE(facts(root / "autorun.scr").exists);
        EXPECT_EQ(slurp(root / "autorun.scr"), *script);
    } else {
        EXPECT_FALSE(facts(root / "autorun.scr").exists);
    }
    return root;
}

inline double seconds_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace remote_test
