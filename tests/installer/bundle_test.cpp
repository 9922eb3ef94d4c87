#include <gtest/gtest.h>

#include <string>

#include "tests/installer/scratch_fixture.h"

namespace installer_test {
namespace {

using builder::bundle_spec;
using builder::package_spec;
using builder::regular;
using builder::version;

class bundles : public scratch_test {
protected:
    static package_spec member(const std::string& name, std::uint32_t v = version(1, 0)) {
        package_spec m{.name = name, .version = v};
        m.files = {regular("/" + name, name)};
        return m;
    }
};

TEST_F(bundles, members_install_with_the_bundle_and_again_in_the_same_version) {
    bundle_spec b{.name = "suite", .version = version(2, 0)};
    b.members = {member("m1"), member("m2")};
    const std::string file = bundle(b);
    const sandbox::result first = install(file);
    EXPECT_EQ(first.status, 0);
    EXPECT_EQ(console_lines(first.out), std::vector<std::string>{"installed suite-2.0"});
    EXPECT_EQ(read("/m1"), "m1");
    EXPECT_EQ(read("/m2"), "m2");
    const sandbox::result again = install(file);
    EXPECT_EQ(again.status, 0);
    EXPECT_TRUE(shows(again, "installed suite-2.0"));
    EXPECT_TRUE(exists("/var/pdb/suite/version"));
}

TEST_F(bundles, results_for_refusal_and_no_member) {
    bundle_spec foreign{.name = "foreign", .version = version(1, 0)};
    foreign.depends = {{"absent", 0, 0}};
    foreign.members = {member("f1")};
    const sandbox::result refused = install(bundle(foreign));
    EXPECT_EQ(refused.status, 2);
    EXPECT_TRUE(shows(refused, "ERROR: can not install foreign-1.0: absent is not installed, "
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

TEST_F(bundles, listed_members_come_in_disabled) {
    bundle_spec b{.name = "suite", .version = version(1, 0)};
    b.disabled_members = {{"quiet", 0, 0}};
    package_spec q = member("quiet");
    q.oninstall = "touch /quiet-ran\n";
    b.members = {member("loud"), q};
    const sandbox::result r = install(bundle(b));
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(read("/x/quiet/quiet"), "quiet");
    EXPECT_TRUE(exists("/var/pdb/quiet/disabled"));
    EXPECT_FALSE(exists("/quiet-ran"));
    EXPECT_EQ(read("/loud"), "loud");
}

TEST_F(bundles, a_new_version_uninstalls_members_it_no_longer_has) {
    bundle_spec first{.name = "suite", .version = version(1, 0)};
    first.members = {member("keep"), member("drop")};
    ASSERT_EQ(install(bundle(first)).status, 0);
    bundle_spec second{.name = "suite", .version = version(2, 0)};
    second.members = {member("keep", version(1, 1))};
    const sandbox::result r = install(bundle(second));
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_FALSE(exists("/var/pdb/drop"));
    EXPECT_FALSE(exists("/drop"));
    EXPECT_EQ(read("/var/pdb/keep/version"), std::to_string(version(1, 1)) + " 0\n");
    EXPECT_EQ(read("/var/pdb/suite/version"), std::to_string(version(2, 0)) + " 0\n");
}

}  // namespace
}  // namespace installer_test
