#include <dirent.h>

#include <set>
#include <string>

#include "tests/tools/vsktool_harness.h"

namespace {

std::set<std::string> names_in(const std::string& dir) {
    std::set<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* item = readdir(d)) {
            if (item->d_name[0] != '.') names.insert(item->d_name);
        }
        closedir(d);
    }
    return names;
}

// The samples feed the demo: they must build, verify, and come out the same
// on every run.
TEST(samples, BuildVerifiedAndReproducible) {
    vsk::scratch_dir scratch;
    for (const char* out : {"one", "two"}) {
        std::string command =
            "VSKTOOL=" + vsk::quoted(std::string(TARNVALE_BIN_DIR) + "/vsktool") + " " +
            vsk::quoted(std::string(TARNVALE_SOURCE_DIR) + "/samples/build-samples.sh") + " " +
            vsk::quoted(scratch / out) + " >/dev/null";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
    }
    std::set<std::string> built = names_in(scratch / "one");
    EXPECT_EQ(built,
              (std::set<std::string>{"base-system-2.9.5.vsk", "firewall-2.0.vsk",
                                     "localconfig-1.0.vsk", "netsuite-1.2.vsk", "netutils-1.2.vsk",
                                     "oldfirewall-1.4.vsk", "webadmin-3.0rc3.vsk"}));
    for (const std::string& name : built) {
        SCOPED_TRACE(name);
        EXPECT_EQ(vsk::slurp(scratch / ("one/" + name)), vsk::slurp(scratch / ("two/" + name)));
        vsk::run_result checked = vsk::run({"verify", scratch / ("one/" + name)});
        EXPECT_EQ(checked.status, 0) << checked.err;
    }
}

}  // namespace
