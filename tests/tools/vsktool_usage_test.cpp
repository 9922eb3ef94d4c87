#include <regex>
#include <string>
#include <vector>

#include "tests/tools/vsktool_harness.h"

namespace {

TEST(vsktool_usage, WrongArgumentsGiveTheUsageAndStatusTwo) {
    struct case_row {
        std::vector<std::string> arguments;
        const char* usage;
    };
    const case_row cases[] = {
        {{}, "usage: vsktool COMMAND"},
        {{"pack"}, "usage: vsktool COMMAND"},
        {{"build", "--name", "p", "--version", "1.0", "dir"}, "usage: vsktool build"},
        {{"build", "--version", "1.0", "dir", "out.vsk"}, "usage: vsktool build"},
        {{"build", "--name", "p", "dir", "out.vsk"}, "usage: vsktool build"},
        {{"build", "--name", "p", "--version", "latest", "dir", "out.vsk"}, "usage: vsktool build"},
        {{"build", "--name", "p", "--version", "1.0", "--revision", "-1", "d", "o"},
         "usage: vsktool build"},
        {{"build", "--name", "p", "--version", "1.0", "--time", "soon", "d", "o"},
         "usage: vsktool build"},
        {{"build", "--name", "a/b", "--version", "1.0", "d", "o"}, "usage: vsktool build"},
        {{"build", "--name", "p", "--version", "1.0", "--frobnicate", "d", "o"},
         "usage: vsktool build"},
        {{"bundle", "--name", "b", "--version", "1.0", "out.vsk"}, "usage: vsktool bundle"},
        {{"info"}, "usage: vsktool info"},
        {{"list", "a.vsk", "b.vsk"}, "usage: vsktool list"},
        {{"verify", "--deep", "a.vsk"}, "usage: vsktool verify"},
    };
    for (const case_row& row : cases) {
        std::string shown;
        for (const std::string& a : row.arguments) shown += a + " ";
        SCOPED_TRACE(shown);
        vsk::run_result result = vsk::run(row.arguments);
        EXPECT_EQ(result.status, 2);
        EXPECT_EQ(result.out, "");
        EXPECT_NE(result.err.find(row.usage), std::string::npos) << result.err;
    }
}

TEST(vsktool_usage, HelpGoesToStandardOutput) {
    for (const char* command : {"build", "bundle", "info", "list", "verify"}) {
        SCOPED_TRACE(command);
        vsk::run_result result = vsk::run({command, "--help"});
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.out.rfind(std::string("usage: vsktool ") + command, 0), 0u) << result.out;
    }
}

TEST(vsktool_usage, VersionIsTheFirstArgumentOnly) {
    const vsk::run_result version = vsk::run({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_TRUE(std::regex_match(version.out, std::regex("vsktool [0-9]+\\.[0-9]+\\.[0-9]+\n")))
        << version.out;
    EXPECT_EQ(version.err, "");
    // After a command it belongs to the command: the package version of
    // build, an unknown option of info.
    EXPECT_EQ(vsk::run({"info", "--version"}).status, 2);
}

}  // namespace
