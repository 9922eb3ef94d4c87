#pragma once

// A scratch directory for the disk tests, with fake tools below
// <dir>/tools standing in for the programs of the installation media, and
// log_device pointed at <dir>/log for the life of the fixture.

#include <ftw.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "base/process.h"
#include "base/programs.h"
#include "tests/support/files.h"

namespace disk_test {

using test_files::slurp;
using test_files::spill;

inline bool exists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

class scratch_fixture : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/disk_test.XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        std::memcpy(saved_log_, log_device, sizeof saved_log_);
        log = dir + "/log";
        spill(log, "");
        std::snprintf(log_device, log_device_size, "%s", log.c_str());
        set_program_prefix((dir + "/tools").c_str());
    }

    void TearDown() override {
        set_program_prefix("");
        std::memcpy(log_device, saved_log_, sizeof saved_log_);
        nftw(
            dir.c_str(), [](const char* p, const struct stat*, int, FTW*) { return ::remove(p); },
            16, FTW_DEPTH | FTW_PHYS);
    }

    // Installs a shell script as the program at path (for example
    // "/sbin/sfdisk"); it is reached through the program prefix.
    void fake_tool(const std::string& path, const std::string& body) {
        const std::string file = dir + "/tools" + path;
        for (std::size_t slash = file.find('/', 1); slash != std::string::npos;
             slash = file.find('/', slash + 1)) {
            mkdir(file.substr(0, slash).c_str(), 0755);
        }
        spill(file, "#!/bin/sh\n" + body);
        chmod(file.c_str(), 0755);
    }

    std::string dir;
    std::string log;

private:
    char saved_log_[log_device_size];
};

}  // namespace disk_test
