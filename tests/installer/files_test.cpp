#include <gtest/gtest.h>

#include <string>

#include "installer/used_files.h"
#include "package/dump_package.h"
#include "tests/support/memory_buffers.h"

namespace installer_test {
namespace {

TEST(files_in_use_listing, packages_then_the_used_paths_in_order) {
    memory_sink sink;
    out_stream out{&sink};
    repo r(out);
    auto* p = new installed_package;
    p->name = "lib";
    p->files.insert("/lib/a.so");
    r.add(p);
    r.used_files.insert("/lib/a.so");
    r.used_files.insert("/bin/sh");
    memory_sink package_sink;
    out_stream package_out{&package_sink};
    dump_package(*p, package_out);

    dump_repo(r, out);
    EXPECT_EQ(sink.bytes(), package_sink.bytes() + "\nused files:\n/bin/sh\n/lib/a.so\n");
}

}  // namespace
}  // namespace installer_test
