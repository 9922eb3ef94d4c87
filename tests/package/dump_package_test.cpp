#include "package/dump_package.h"

#include <gtest/gtest.h>

#include "base/out_stream.h"
#include "package/version.h"
#include "tests/support/memory_buffers.h"

namespace {

std::string dump(const package_record& p) {
    memory_sink sink;
    out_stream out(&sink);
    dump_package(p, out);
    out.flush();
    return sink.bytes();
}

void add_dependency(package_record& p) {
    p.name = "app";
    p.version = make_version(3, 0, 'c', 3);
    p.depends.push_back(
        relation{"libc", make_version(2, 9, 'f', 5), make_version(3, 0, 'f', 0), 0});
}

TEST(dump_package, lists_a_plain_record) {
    package_record p;
    add_dependency(p);
    EXPECT_EQ(dump(p),
              "package <app> version=3.0rc3\n"
              "  deps=\n"
              "    <libc> min=2.9.5 max=3.0\n"
              "  files=\n");
}

TEST(dump_package, adds_state_and_files_of_an_installed_package) {
    installed_package p;
    add_dependency(p);
    p.disabled = true;
    p.files.insert("/usr/bin/app");
    p.files.insert("/etc/app.conf");
    EXPECT_EQ(dump(p),
              "package <app> version=3.0rc3\n"
              "   disabled\n"
              "  deps=\n"
              "    <libc> min=2.9.5 max=3.0\n"
              "  files=\n"
              "    /etc/app.conf\n"
              "    /usr/bin/app\n");
}

}  // namespace
