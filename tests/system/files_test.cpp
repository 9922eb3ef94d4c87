// Files a run leaves or takes away: "--filegc" and files still in use.

#include "tests/system/fixture.h"

namespace system_test {
namespace {

class garbage_collection : public installer_test {
protected:
    void SetUp() override {
        installer_test::SetUp();
        if (IsSkipped()) return;
        package_spec owned{.name = "owned", .version = version(1, 0)};
        owned.files = with_directories({regular("/srv/keep", "k"), regular("/srv/sub/keep", "k")});
        given_installed(owned);
        write("/srv/junk", "j");
        write("/srv/sub/junk", "j");
        std::filesystem::create_directories(path("/srv/empty"));
    }
};

TEST_F(garbage_collection, deletes_unowned_files_and_keeps_directories) {
    std::filesystem::remove(path("/postlog"));
    const sandbox::result r = run({"--filegc", "/srv"});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(exists("/srv/keep"));
    EXPECT_TRUE(exists("/srv/sub/keep"));
    EXPECT_FALSE(exists("/srv/junk"));
    EXPECT_FALSE(exists("/srv/sub/junk"));
    EXPECT_TRUE(exists("/srv/empty"));
    EXPECT_FALSE(exists("/postlog"));
}

TEST_F(garbage_collection, a_directory_written_loosely_still_matches_the_database) {
    for (const char* spelling : {"/srv/", "srv", "/srv//"}) {
        write("/srv/junk", "j");
        EXPECT_EQ(run({"--filegc", spelling}).status, 0);
        EXPECT_TRUE(exists("/srv/keep")) << spelling;
        EXPECT_TRUE(exists("/srv/sub/keep")) << spelling;
        EXPECT_FALSE(exists("/srv/junk")) << spelling;
    }
}

TEST_F(garbage_collection, never_takes_the_database_for_garbage) {
    write("/var/junk", "j");
    EXPECT_EQ(run({"--filegc", "/var"}).status, 0);
    EXPECT_FALSE(exists("/var/junk"));
    EXPECT_TRUE(exists("/var/pdb/owned/version"));
    EXPECT_TRUE(exists("/var/pdb/owned/files"));
    EXPECT_TRUE(exists("/srv/keep"));
}

TEST_F(garbage_collection, keeps_the_files_of_a_disabled_package_below_x) {
    given_installed(package_spec{.name = "other", .version = version(1, 0)});
    write("/var/pdb/owned/schedule", "disable");
    run({"/pkg/none.vsk"});
    ASSERT_TRUE(exists("/x/owned/srv/keep"));
    write("/x/stray", "s");
    EXPECT_EQ(run({"--filegc", "/x"}).status, 0);
    EXPECT_TRUE(exists("/x/owned/srv/keep"));
    EXPECT_FALSE(exists("/x/stray"));
}

class files_in_use : public installer_test {};

TEST_F(files_in_use, a_held_file_keeps_a_second_name_below_tmp) {
    package_spec lib{.name = "lib", .version = version(1, 0)};
    lib.files = {regular("/libheld.so", "held"), regular("/libfree.so", "free")};
    given_installed(lib);
    given_installed(package_spec{.name = "other", .version = version(1, 0)});
    write("/tmp/inst1", "taken");
    const pid_t holder = box_->hold("/libheld.so", true);
    ASSERT_GT(holder, 0);
    write("/var/pdb/lib/schedule", "uninstall");
    run({"/pkg/none.vsk"});
    box_->release(holder);
    EXPECT_FALSE(exists("/libheld.so"));
    EXPECT_FALSE(exists("/libfree.so"));
    EXPECT_EQ(read("/tmp/inst1"), "taken");
    EXPECT_EQ(read("/tmp/inst2"), "held");
    EXPECT_FALSE(exists("/tmp/inst3"));
}

}  // namespace
}  // namespace system_test
