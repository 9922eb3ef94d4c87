// Bundles: a package of member packages, installed as an entry of its own
// plus one entry per member.

#include "tests/system/fixture.h"

namespace system_test {
namespace {

using installer_bundle = installer_test;

package_spec member(const std::string& name, std::uint32_t number = version(1, 0)) {
    package_spec spec{.name = name, .version = number};
    spec.files.push_back(
        regular("/opt/" + name + "/file", name + " " + version_text(number) + "\n"));
    return spec;
}

TEST_F(installer_bundle, new_again_and_dropping_members) {
    const std::string m1 = shop_.package(member("m1"));
    const std::string m2 = shop_.package(member("m2"));
    const std::string first = shop_.bundle("suite", version(1, 0), {m1, m2});
    ASSERT_EQ(install(shop_.package(member("keep"))).status, 0);

    sandbox::result r = install(first);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(read("/postlog"), "installed suite-1.0\n");
    EXPECT_EQ(console_lines(r.out), std::vector<std::string>{"installed suite-1.0"});
    EXPECT_EQ(entries(), (std::set<std::string>{"keep", "suite", "m1", "m2"}));
    EXPECT_TRUE(exists("/var/pdb/suite/version"));
    EXPECT_FALSE(exists("/var/pdb/suite/files"));
    EXPECT_EQ(read("/var/pdb/m1/bundle"), "suite\n");
    EXPECT_EQ(read("/opt/m1/file"), "m1 1.0\n");
    EXPECT_EQ(read("/opt/m2/file"), "m2 1.0\n");

    // The same version again: every member is already there, and counts.
    r = install(first);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(read("/postlog"), "installed suite-1.0\n");
    EXPECT_TRUE(shows(r, "installed suite-1.0")) << r.out;
    EXPECT_EQ(entries(), (std::set<std::string>{"keep", "suite", "m1", "m2"}));

    // A new version without m2 takes m2 away.
    r = install(shop_.bundle("suite", version(2, 0), {shop_.package(member("m1", version(2, 0)))}));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(read("/postlog"), "installed suite-2.0\n");
    EXPECT_EQ(entries(), (std::set<std::string>{"keep", "suite", "m1"}));
    EXPECT_FALSE(exists("/opt/m2/file"));
    EXPECT_EQ(read("/opt/m1/file"), "m1 2.0\n");
    EXPECT_FALSE(exists("/var/pdb/m2"));
    EXPECT_EQ(read("/var/pdb/m1/version"), std::to_string(version(2, 0)) + " 0\n");
    EXPECT_EQ(read("/var/pdb/suite/version"), std::to_string(version(2, 0)) + " 0\n");

    // Members follow their bundle.
    schedule("suite", "disable");
    r = run({});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(read("/postlog").find("disabled m1-2.0\n"), std::string::npos);
    EXPECT_TRUE(exists("/var/pdb/m1/disabled"));
    EXPECT_EQ(read("/x/m1/opt/m1/file"), "m1 2.0\n");
    schedule("suite", "uninstall");
    r = run({});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(entries(), (std::set<std::string>{"keep"}));
    EXPECT_FALSE(exists("/x/m1/opt/m1/file"));
}

TEST_F(installer_bundle, listed_members_are_installed_disabled) {
    package_spec m2 = member("m2");
    m2.oninstall = "touch /m2-ran\n";
    const std::string b = shop_.bundle("suite", version(1, 0),
                                       {shop_.package(member("m1")), shop_.package(m2)}, {"m2"});
    sandbox::result r = install(b);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(read("/postlog"), "installed suite-1.0\n");
    EXPECT_FALSE(exists("/var/pdb/m1/disabled"));
    EXPECT_EQ(read("/opt/m1/file"), "m1 1.0\n");
    EXPECT_TRUE(exists("/var/pdb/m2/disabled"));
    EXPECT_EQ(read("/x/m2/opt/m2/file"), "m2 1.0\n");
    EXPECT_EQ(read("/var/pdb/m2/files"), "x/m2/opt/m2/file\n");
    EXPECT_FALSE(exists("/m2-ran"));
}

TEST_F(installer_bundle, refused_or_empty_bundles) {
    package_spec enemy = member("enemy");
    enemy.conflicts = {{"suite"}};
    ASSERT_EQ(install(shop_.package(enemy)).status, 0);
    const std::string b = shop_.bundle("suite", version(1, 0), {shop_.package(member("m1"))});
    sandbox::result r = install(b);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(read("/postlog"), "ERROR: can not install suite-1.0: it conflicts with enemy-1.0\n");
    EXPECT_EQ(entries(), (std::set<std::string>{"enemy"}));

    // No member can be installed: the bundle's own entry stays, and the next
    // run takes it away since it has no members.
    package_spec needy = member("needy");
    needy.depends = {{"zzz"}};
    r = install(shop_.bundle("lonely", version(1, 0), {shop_.package(needy)}));
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(read("/postlog"), "");
    EXPECT_EQ(entries(), (std::set<std::string>{"enemy", "lonely"}));
    ASSERT_EQ(run({}).status, 0);
    EXPECT_EQ(entries(), (std::set<std::string>{"enemy"}));
}

// A member whose header part is cut short ends the bundle there: the reader
// cannot go on past a cut part, and the run must not try the member forever.
TEST_F(installer_bundle, a_member_with_a_cut_header_ends_the_members) {
    using namespace fixture;
    const std::string archive =
        part_bytes(part_files, zlib_bytes(entry_bytes(0x81a4, "/m2", "m2\n")));
    const std::string bytes = container_bytes(
        part_bytes(part_bundle, header_record_bytes("suite", version_number(1, 0), 0)) +
        part_bytes(part_package, header_record_bytes("m1", version_number(1, 0), 0).substr(0, 20)) +
        part_bytes(part_package, header_record_bytes("m2", version_number(1, 0), 0)) + archive);
    std::filesystem::create_directories(box().path("/pkg"));
    std::filesystem::copy_file(shop_.raw("cut-member", bytes), box().path("/pkg/cut.vsk"));
    sandbox::result r = run({"/pkg/cut.vsk"}, 5000);
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(read("/postlog"), "");
    EXPECT_EQ(entries(), (std::set<std::string>{"suite"}));
}

// A bundle that needs what is not installed is refused as a whole; one
// whose members all fail keeps only its own entry, and says nothing.
TEST_F(installer_bundle, results_for_refusal_and_no_member) {
    bundle_spec foreign{.name = "foreign", .version = version(1, 0)};
    foreign.depends = {{"absent", 0, 0}};
    foreign.members = {member("f1")};
    const sandbox::result refused = install(bundle(foreign));
    EXPECT_EQ(refused.status, 2);
    EXPECT_TRUE(shows(refused,
                      "ERROR: can not install foreign-1.0: absent is not installed, "
                      "but is required"));

    bundle_spec hollow{.name = "hollow", .version = version(1, 0)};
    package_spec needy = member("needy");
    needy.depends = {{"absent", 0, 0}};
    hollow.members = {needy};
    const sandbox::result none = install(bundle(hollow));
    EXPECT_EQ(none.status, 3);
    EXPECT_TRUE(console_lines(none.out).empty()) << none.out;
    EXPECT_TRUE(exists("/var/pdb/hollow/version"));
    EXPECT_FALSE(exists("/var/pdb/needy"));
}

}  // namespace
}  // namespace system_test
