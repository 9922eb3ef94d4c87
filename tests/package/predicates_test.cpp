#include "package/predicates.h"

#include <gtest/gtest.h>

#include <memory>

#include "package/version.h"

namespace {

constexpr std::uint32_t v2_9_5 = make_version(2, 9, 'f', 5);
constexpr std::uint32_t v3_0 = make_version(3, 0, 'f', 0);
// A version whose stage byte is 0: it prints as "3.0" but orders below 3.0 final.
constexpr std::uint32_t v3_0_stage0 = make_version(3, 0, 0, 0);

relation rel(const char* name, std::uint32_t min = 0, std::uint32_t max = 0,
             std::int32_t priority = 0) {
    return relation{name, min, max, priority};
}

std::unique_ptr<package_record> package(const char* name, std::uint32_t version = v3_0,
                                        std::uint32_t revision = 0) {
    auto p = std::make_unique<package_record>();
    p->name = name;
    p->version = version;
    p->revision = revision;
    return p;
}

package_record& add_member(package_record& bundle, const char* name, std::uint32_t version = v3_0,
                           std::uint32_t revision = 0) {
    bundle.is_bundle = true;
    bundle.members.push_back(package(name, version, revision).release());
    return *bundle.members.back();
}

TEST(satisfies, checks_name_and_both_bounds) {
    struct satisfy_case {
        const char* name;
        std::uint32_t version;
        relation wanted;
        bool expected;
    };
    const satisfy_case cases[] = {
        {"libc", 0, rel("libc"), true},
        {"libc", 0xffffffffu, rel("libc"), true},
        {"libz", v3_0, rel("libc"), false},
        {"libc", v3_0_stage0, rel("libc", v2_9_5, 0), true},
        {"libc", v3_0_stage0, rel("libc", v2_9_5, v2_9_5), false},
        {"libc", v3_0_stage0, rel("libc", 0, v2_9_5), false},
        {"libc", v2_9_5, rel("libc", v2_9_5, v2_9_5), true},
        {"libc", v2_9_5, rel("libc", v3_0, 0), false},
        {"libc", v3_0, rel("libc", 0, v3_0_stage0), false},
        // Versions compare unsigned: the top bit is a high major, not a sign.
        {"libc", make_version(200, 0, 'f', 0), rel("libc", make_version(100, 0, 'f', 0)), true},
    };
    for (const satisfy_case& c : cases) {
        auto p = package(c.name, c.version);
        EXPECT_EQ(satisfies(*p, c.wanted), c.expected)
            << c.name << '-' << version_text(c.version) << " for " << version_text(c.wanted.min)
            << ".." << version_text(c.wanted.max);
    }
}

TEST(provides_match, needs_overlapping_ranges) {
    struct match_case {
        relation provided;
        relation wanted;
        bool expected;
    };
    const std::uint32_t v1 = make_version(1, 0, 'f', 0);
    const std::uint32_t v2 = make_version(2, 0, 'f', 0);
    const match_case cases[] = {
        {rel("mta"), rel("mta"), true},
        {rel("mta"), rel("smtp"), false},
        {rel("mta", v2, 0), rel("mta", 0, v1), false},
        {rel("mta", v1, 0), rel("mta", 0, v1), true},
        {rel("mta", 0, v1), rel("mta", v2, 0), false},
        {rel("mta", 0, v2), rel("mta", v2, 0), true},
        {rel("mta", v1, v2), rel("mta", v1, v2), true},
        {rel("mta", v2, 0), rel("mta", v1, 0), true},
        {rel("mta", 0, v1), rel("mta", 0, v2), true},
    };
    for (const match_case& c : cases) {
        EXPECT_EQ(provides_match(c.provided, c.wanted), c.expected)
            << c.provided.name.text() << ' ' << c.provided.min << ".." << c.provided.max << " vs "
            << c.wanted.name.text() << ' ' << c.wanted.min << ".." << c.wanted.max;
    }
}

TEST(depends_on, follows_relations_provides_and_members) {
    auto app = package("app");
    auto libc = package("libc", v2_9_5);
    auto mta = package("postfix");
    mta->provides.push_back(rel("mta", v3_0, 0));

    EXPECT_FALSE(depends_on(*app, *libc));
    app->depends.push_back(rel("libc", v3_0, 0));
    EXPECT_FALSE(depends_on(*app, *libc)) << "too old";
    app->depends.push_back(rel("libc"));
    EXPECT_TRUE(depends_on(*app, *libc));
    EXPECT_FALSE(depends_on(*libc, *app));

    app->depends.push_back(rel("mta", v3_0, 0));
    EXPECT_TRUE(depends_on(*app, *mta)) << "through a provided name";

    auto base = package("base");
    add_member(*base, "zlib");
    add_member(*base, "libc", v2_9_5);
    EXPECT_TRUE(depends_on(*app, *base)) << "needs a member of the bundle";

    auto tools = package("tools");
    add_member(*tools, "grep");
    add_member(*tools, "sed").depends.push_back(rel("libc"));
    EXPECT_TRUE(depends_on(*tools, *libc)) << "a member needs it";
    EXPECT_TRUE(depends_on(*tools, *base)) << "a member needs a member";
    EXPECT_FALSE(depends_on(*base, *tools));
}

// Each case names the rule that must decide; the later rules would say the
// opposite, so a rule taken out of order shows.
TEST(conflicts_with, takes_the_first_rule_that_decides) {
    struct conflict_case {
        const char* what;
        void (*build)(package_record& a, package_record& b);
        bool expected;
    };
    const conflict_case cases[] = {
        {"nothing in common", [](package_record&, package_record&) {}, false},
        {"a's conflict list names b over b's negative provide of a's name",
         [](package_record& a, package_record& b) {
             a.conflicts.push_back(rel("b"));
             b.provides.push_back(rel("a", 0, 0, -1));
         },
         true},
        {"a conflict range that b's version misses",
         [](package_record& a, package_record&) { a.conflicts.push_back(rel("b", 0, v2_9_5)); },
         false},
        {"b provides a's name with priority 0",
         [](package_record& a, package_record& b) {
             b.provides.push_back(rel("a", 0, 0, 0));
             a.provides.push_back(rel("b", 0, 0, -1));
         },
         true},
        {"b provides a's name with a negative priority, over a's conflict with it",
         [](package_record& a, package_record& b) {
             b.provides.push_back(rel("a", 0, 0, -1));
             b.provides.push_back(rel("x"));
             a.conflicts.push_back(rel("x"));
         },
         false},
        {"a provides b's name with priority 0",
         [](package_record& a, package_record&) { a.provides.push_back(rel("b", 0, 0, 0)); }, true},
        {"a provides b's name with a negative priority, over a member of b named a",
         [](package_record& a, package_record& b) {
             a.provides.push_back(rel("b", 0, 0, -1));
             add_member(b, "a");
         },
         false},
        {"both provide a name, a with the higher priority",
         [](package_record& a, package_record& b) {
             a.provides.push_back(rel("mta", 0, 0, 2));
             b.provides.push_back(rel("mta", 0, 0, 1));
         },
         true},
        {"both provide a name with equal priorities, over a's conflict with it",
         [](package_record& a, package_record& b) {
             a.provides.push_back(rel("mta", 0, 0, 1));
             b.provides.push_back(rel("mta", 0, 0, 1));
             a.conflicts.push_back(rel("mta"));
         },
         false},
        {"both provide a name, b with the higher priority",
         [](package_record& a, package_record& b) {
             a.provides.push_back(rel("mta", 0, 0, 1));
             b.provides.push_back(rel("mta", 0, 0, 2));
         },
         false},
        {"a conflicts with a name that b provides",
         [](package_record& a, package_record& b) {
             a.conflicts.push_back(rel("mta"));
             b.provides.push_back(rel("mta"));
         },
         true},
        {"a conflicts with a provided name outside its range",
         [](package_record& a, package_record& b) {
             a.conflicts.push_back(rel("mta", 0, v2_9_5));
             b.provides.push_back(rel("mta", v3_0, 0));
         },
         false},
        {"b has a member named a", [](package_record&, package_record& b) { add_member(b, "a"); },
         true},
        {"a member of a conflicts with b",
         [](package_record& a, package_record&) {
             add_member(a, "a1");
             add_member(a, "a2").conflicts.push_back(rel("b"));
         },
         true},
        {"a has a member named b: only members of b count",
         [](package_record& a, package_record&) { add_member(a, "b"); }, false},
    };
    for (const conflict_case& c : cases) {
        auto a = package("a");
        auto b = package("b");
        c.build(*a, *b);
        EXPECT_EQ(conflicts_with(*a, *b), c.expected) << c.what;
    }
}

TEST(conflicts_with, is_not_symmetric) {
    auto a = package("a");
    auto b = package("b");
    a->conflicts.push_back(rel("b"));
    EXPECT_TRUE(conflicts_with(*a, *b));
    EXPECT_FALSE(conflicts_with(*b, *a));
}

TEST(same_package, matches_the_name_or_a_member) {
    auto base = package("base");
    add_member(*base, "zlib");
    EXPECT_TRUE(same_package(*base, "base"));
    EXPECT_TRUE(same_package(*base, "zlib"));
    EXPECT_FALSE(same_package(*base, "libc"));
    EXPECT_FALSE(same_package(*base, "zli"));
}

TEST(compare_packages, orders_by_version_then_revision) {
    struct compare_case {
        std::uint32_t version_a, revision_a, version_b, revision_b;
        int expected;
    };
    const compare_case cases[] = {
        {v3_0, 0, v3_0, 0, 0},
        {v3_0, 0, v2_9_5, 7, 1},
        {v2_9_5, 7, v3_0, 0, -1},
        {v3_0, 2, v3_0, 1, 1},
        {v3_0, 1, v3_0, 2, -1},
        {v3_0, 0, v3_0_stage0, 0, 1},
        {make_version(200, 0, 'f', 0), 0, make_version(100, 0, 'f', 0), 0, 1},
    };
    for (const compare_case& c : cases) {
        auto a = package("p", c.version_a, c.revision_a);
        auto b = package("p", c.version_b, c.revision_b);
        EXPECT_EQ(compare_packages(*a, *b), c.expected)
            << version_text(c.version_a) << '/' << c.revision_a << " vs "
            << version_text(c.version_b) << '/' << c.revision_b;
    }
    EXPECT_EQ(compare_packages(*package("p", v3_0), *package("q", v2_9_5)), 0);
}

TEST(compare_packages, compares_a_bundle_through_its_member) {
    auto bundle = package("base", make_version(1, 0, 'f', 0));
    add_member(*bundle, "libc", v2_9_5);
    add_member(*bundle, "zlib", v2_9_5, 3);
    add_member(*bundle, "zlib", v3_0);

    auto old_zlib = package("zlib", v2_9_5, 1);
    auto new_zlib = package("zlib", v3_0);
    auto libc = package("libc", v2_9_5);
    // The first member of the name decides.
    EXPECT_EQ(compare_packages(*bundle, *old_zlib), 1);
    EXPECT_EQ(compare_packages(*old_zlib, *bundle), -1);
    EXPECT_EQ(compare_packages(*bundle, *new_zlib), -1);
    EXPECT_EQ(compare_packages(*new_zlib, *bundle), 1);
    EXPECT_EQ(compare_packages(*bundle, *libc), 0);
    EXPECT_EQ(compare_packages(*bundle, *package("sed")), 0);
}

}  // namespace
