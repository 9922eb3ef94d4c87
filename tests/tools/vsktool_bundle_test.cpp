#include <sys/stat.h>

#include <string>
#include <vector>

#include "package/format.h"
#include "package/version.h"
#include "tests/tools/vsktool_harness.h"

namespace {

using vsk::run;
using vsk::scratch_dir;

// Two small member packages built by the tool itself.
void build_members(const scratch_dir& scratch) {
    ASSERT_EQ(mkdir((scratch / "tree").c_str(), 0755), 0);
    vsk::spill(scratch / "tree/readme", "hello\n");
    vsk::spill(scratch / "on.sh", "echo on\n");
    ASSERT_EQ(run({"build", "--name", "netutils", "--version", "1.0", "--arch", "i386",
                   "--oninstall", scratch / "on.sh", scratch / "tree", scratch / "net.vsk"})
                  .status,
              0);
    ASSERT_EQ(run({"build", "--name", "webadmin", "--version", "2.0", "--depends", "netutils:1.0",
                   scratch / "tree", scratch / "web.vsk"})
                  .status,
              0);
}

TEST(vsktool_bundle, OwnPartsThenEveryMemberUnchanged) {
    scratch_dir scratch;
    build_members(scratch);
    vsk::run_result made =
        run({"bundle", "--name", "suite", "--version", "1.1", "--revision", "2", "--arch", "i386",
             "--depends", "base", "--conflicts", "oldsuite", "--disabled", "webadmin",
             scratch / "suite.vsk", scratch / "net.vsk", scratch / "web.vsk"});
    ASSERT_EQ(made.status, 0) << made.err;

    std::string bytes = vsk::slurp(scratch / "suite.vsk");
    vsk::container c = vsk::parse_container(bytes);
    ASSERT_TRUE(c.whole);
    EXPECT_EQ(c.length, bytes.size() - 8);
    ASSERT_GE(c.parts.size(), 5u);
    std::vector<std::uint16_t> types = vsk::part_types(c);
    EXPECT_EQ(std::vector<std::uint16_t>(types.begin(), types.begin() + 5),
              (std::vector<std::uint16_t>{18, 16, 3, 17, 20}));
    EXPECT_EQ(c.parts[0].payload.substr(0, 6), std::string("suite\0", 6));
    EXPECT_EQ(vsk::u32_at(c.parts[0].payload, 16), make_version(1, 1, 'f', 0));
    EXPECT_EQ(vsk::u32_at(c.parts[0].payload, 20), 2u);
    EXPECT_EQ(c.parts[4].payload.substr(0, 2 + 9), std::string("\x01\x00webadmin\0", 11));

    // After the bundle's own parts come the members' parts, byte for byte.
    std::size_t members_start = c.parts[5].offset;
    EXPECT_EQ(bytes.substr(members_start), vsk::slurp(scratch / "net.vsk").substr(8) +
                                               vsk::slurp(scratch / "web.vsk").substr(8));

    vsk::run_result checked = run({"verify", scratch / "suite.vsk"});
    EXPECT_EQ(checked.status, 0) << checked.err;
}

TEST(vsktool_bundle, RefusesWhatCannotBeAMember) {
    scratch_dir scratch;
    build_members(scratch);
    ASSERT_EQ(run({"bundle", "--name", "inner", "--version", "1.0", scratch / "inner.vsk",
                   scratch / "net.vsk"})
                  .status,
              0);
    std::string net = vsk::slurp(scratch / "net.vsk");
    vsk::spill(scratch / "cut.vsk", net.substr(0, net.size() - 1));

    struct case_row {
        const char* name;
        std::vector<std::string> arguments;
        const char* message;
    };
    const case_row cases[] = {
        {"a bundle as member", {scratch / "inner.vsk"}, "is a bundle"},
        {"the same member twice",
         {scratch / "net.vsk", scratch / "net.vsk"},
         "already in the bundle"},
        {"a truncated member", {scratch / "cut.vsk"}, "the header declares"},
        {"a missing member", {scratch / "none.vsk"}, "cannot open"},
        {"disabling a stranger", {"--disabled", "other", scratch / "net.vsk"}, "names no member"},
    };
    for (const case_row& row : cases) {
        SCOPED_TRACE(row.name);
        std::vector<std::string> arguments = {"bundle", "--name", "b", "--version", "1.0"};
        std::vector<std::string> rest = row.arguments;
        // Options stand before the output; members after it.
        auto first_member = rest.begin();
        while (first_member != rest.end() && (*first_member)[0] == '-') first_member += 2;
        arguments.insert(arguments.end(), rest.begin(), first_member);
        arguments.push_back(scratch / "out.vsk");
        arguments.insert(arguments.end(), first_member, rest.end());
        vsk::run_result made = run(arguments);
        EXPECT_EQ(made.status, 1);
        EXPECT_EQ(vsk::line_count(made.err), 1u) << made.err;
        EXPECT_NE(made.err.find(row.message), std::string::npos) << made.err;
        EXPECT_NE(access((scratch / "out.vsk").c_str(), F_OK), 0);
    }
}

}  // namespace
