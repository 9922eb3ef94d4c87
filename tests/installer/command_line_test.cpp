#include "installer/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "installer/run_flags.h"

namespace {

command_line parse(std::vector<const char*> args) {
    args.insert(args.begin(), "installer");
    return parse_command_line(static_cast<int>(args.size()), args.data());
}

TEST(command_line, mistakes_ask_for_the_usage_line) {
    const std::vector<std::vector<const char*>> cases = {
        {"-q", "a.vsk", "b.vsk"},  // a second package path
        {"a.VSK"},                 // the suffix is case-sensitive
        {"vsk"},                   // shorter than the suffix
        {"-x"},
        {"-r"},  // "-r" last is taken for a package path
        {"-q", "-r"},
        {"-q", "--version"},  // only the first argument asks for the version
    };
    for (const auto& args : cases) {
        EXPECT_TRUE(parse(args).usage) << args.size() << " " << args.back();
    }
}

TEST(command_line, options_and_package_path) {
    const command_line line =
        parse({"-b", "-r", "/a", "-q", "--force", "-down", "-r", "/mnt", "-i", "p.vsk"});
    EXPECT_FALSE(line.usage);
    EXPECT_STREQ(line.root.text(), "/mnt");
    EXPECT_TRUE(line.quiet);
    EXPECT_EQ(line.flags, allow_downgrade);
    EXPECT_TRUE(line.has_package_path);
    EXPECT_STREQ(line.package_path.text(), "p.vsk");
    EXPECT_FALSE(line.from_standard_input);
}

TEST(command_line, dash_ends_the_parsing) {
    const command_line line = parse({"-r", "/mnt", "-", "-q", "nonsense"});
    EXPECT_FALSE(line.usage);
    EXPECT_TRUE(line.from_standard_input);
    EXPECT_FALSE(line.quiet);
    EXPECT_STREQ(line.root.text(), "/mnt");
}

TEST(command_line, filegc_takes_every_later_argument_as_a_directory) {
    const command_line line = parse({"-q", "--filegc", "-r", "/mnt"});
    EXPECT_TRUE(line.garbage_collection);
    EXPECT_TRUE(line.root.empty());
    ASSERT_EQ(line.directories.size(), 2u);
    EXPECT_STREQ(line.directories[0].text(), "-r");
    EXPECT_STREQ(line.directories[1].text(), "/mnt");
}

TEST(command_line, no_package_means_a_store_run) {
    const command_line line = parse({"-q"});
    EXPECT_FALSE(line.usage);
    EXPECT_FALSE(line.has_package_path);
    EXPECT_FALSE(line.from_standard_input);
    EXPECT_FALSE(line.garbage_collection);
}

TEST(command_line, version_as_the_first_argument) {
    for (const auto& args : {std::vector<const char*>{"--version"}, {"--version", "-q", "a.vsk"}}) {
        const command_line line = parse(args);
        EXPECT_TRUE(line.version);
        EXPECT_FALSE(line.usage);
        EXPECT_FALSE(line.quiet);
    }
    EXPECT_FALSE(parse({"a.vsk"}).version);
}

}  // namespace
