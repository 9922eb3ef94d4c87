#include "package/order_packages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "package/version.h"

namespace {

// Keeps every message as "<kind>:<text>" so tests can compare them.
class recording_reporter : public reporter {
public:
    void say(kind k, const char* format, va_list arguments) override {
        char text[512];
        std::vsnprintf(text, sizeof text, format, arguments);
        static const char* const kinds[] = {"error", "warning", "info"};
        lines.push_back(std::string(kinds[k]) + ":" + text);
    }
    std::vector<std::string> lines;
};

std::uint32_t v(unsigned major) {
    return make_version(major, 0, 'f', 0);
}

// Owns the records the list points to; order_packages owns none.
class package_set {
public:
    package_record& add(const char* name, std::uint32_t version, std::uint32_t revision = 0) {
        records_.push_back(std::make_unique<package_record>());
        package_record& p = *records_.back();
        p.name = name;
        p.version = version;
        p.revision = revision;
        return p;
    }
    package_record& add_bundle(const char* name, std::uint32_t version,
                               std::vector<std::pair<const char*, std::uint32_t>> members) {
        package_record& bundle = add(name, version);
        bundle.is_bundle = true;
        for (const auto& [member_name, member_version] : members) {
            auto* member = new package_record;
            member->name = member_name;
            member->version = member_version;
            bundle.members.push_back(member);
        }
        return bundle;
    }
    array<package_record*> list() const {
        array<package_record*> result;
        for (const auto& record : records_) result.push_back(record.get());
        return result;
    }

private:
    std::vector<std::unique_ptr<package_record>> records_;
};

// "name-version" of each element, in order.
std::vector<std::string> labels(const array<package_record*>& list) {
    std::vector<std::string> result;
    for (const package_record* p : list) result.push_back(package_label(*p).text());
    return result;
}

struct order_case {
    const char* what;
    void (*build)(package_set& packages);
    bool prefer_older;
    std::vector<std::string> expected;
};

TEST(order_packages, keeps_one_per_package_in_dependency_order) {
    const order_case cases[] = {
        {"versions 1, 2, 3 keep the newest",
         [](package_set& s) {
             s.add("p", v(1));
             s.add("p", v(2));
             s.add("p", v(3));
         },
         false,
         {"p-3.0"}},
        {"versions 3, 1, 2 keep the newest",
         [](package_set& s) {
             s.add("p", v(3));
             s.add("p", v(1));
             s.add("p", v(2));
         },
         false,
         {"p-3.0"}},
        {"preferring older keeps 1",
         [](package_set& s) {
             s.add("p", v(2));
             s.add("p", v(1));
             s.add("p", v(3));
         },
         true,
         {"p-1.0"}},
        {"the revision breaks a tie of versions",
         [](package_set& s) {
             s.add("p", v(1), 2);
             s.add("p", v(1), 5);
             s.add("p", v(1), 1);
         },
         false,
         {"p-1.0"}},
        {"a needs b: a, b gives b, a",
         [](package_set& s) {
             s.add("a", v(1)).depends.push_back(relation{"b", 0, 0, 0});
             s.add("b", v(1));
         },
         false,
         {"b-1.0", "a-1.0"}},
        {"a needs b: b, a stays b, a",
         [](package_set& s) {
             s.add("b", v(1));
             s.add("a", v(1)).depends.push_back(relation{"b", 0, 0, 0});
         },
         false,
         {"b-1.0", "a-1.0"}},
        {"unrelated packages come out reversed",
         [](package_set& s) {
             s.add("a", v(1));
             s.add("b", v(1));
             s.add("c", v(1));
         },
         false,
         {"c-1.0", "b-1.0", "a-1.0"}},
        {"what conflicts with a package stands before it",
         [](package_set& s) {
             s.add("b", v(1));
             s.add("a", v(1)).conflicts.push_back(relation{"b", 0, 0, 0});
         },
         false,
         {"a-1.0", "b-1.0"}},
        {"a chain c needs b needs a ends up a, b, c",
         [](package_set& s) {
             s.add("c", v(1)).depends.push_back(relation{"b", 0, 0, 0});
             s.add("b", v(1)).depends.push_back(relation{"a", 0, 0, 0});
             s.add("a", v(1));
         },
         false,
         {"a-1.0", "b-1.0", "c-1.0"}},
        {"of two equal plain entries the first stays",
         [](package_set& s) {
             s.add("p", v(1));
             s.add("q", v(1));
             s.add("p", v(1));
         },
         false,
         {"q-1.0", "p-1.0"}},
        {"two equal bundles both drop out",
         [](package_set& s) {
             s.add_bundle("base", v(1), {{"zlib", v(2)}});
             s.add("q", v(1));
             s.add_bundle("base", v(1), {{"zlib", v(2)}});
         },
         false,
         {"q-1.0"}},
        {"a package the insertion placed too early moves after what it needs",
         [](package_set& s) {
             s.add("b", v(1)).depends.push_back(relation{"c", 0, 0, 0});
             s.add("a", v(1)).depends.push_back(relation{"b", 0, 0, 0});
             s.add("c", v(1)).depends.push_back(relation{"d", 0, 0, 0});
             s.add("d", v(1));
         },
         false,
         {"d-1.0", "c-1.0", "b-1.0", "a-1.0"}},
        {"a cycle ends with both packages kept",
         [](package_set& s) {
             s.add("a", v(1)).depends.push_back(relation{"b", 0, 0, 0});
             s.add("b", v(1)).depends.push_back(relation{"a", 0, 0, 0});
             s.add("c", v(1)).depends.push_back(relation{"a", 0, 0, 0});
         },
         false,
         {"a-1.0", "b-1.0", "c-1.0"}},
        {"a bundle stays beside an equal plain member, which drops out",
         [](package_set& s) {
             s.add("zlib", v(2));
             s.add_bundle("base", v(1), {{"zlib", v(2)}, {"libc", v(1)}});
         },
         false,
         {"base-1.0"}},
        {"a newer plain package beats the bundle that holds an older one",
         [](package_set& s) {
             s.add_bundle("base", v(1), {{"zlib", v(2)}});
             s.add("zlib", v(3));
         },
         false,
         {"zlib-3.0"}},
    };
    for (const order_case& c : cases) {
        package_set packages;
        c.build(packages);
        array<package_record*> list = packages.list();
        recording_reporter messages;
        order_packages(list, c.prefer_older, false, messages);
        EXPECT_EQ(labels(list), c.expected) << c.what;
        EXPECT_TRUE(messages.lines.empty()) << c.what << ": quiet unless verbose";
    }
}

// Whatever order a chain comes in, every package ends up after the one it
// needs.
TEST(order_packages, puts_a_chain_in_order_from_any_starting_order) {
    const int length = 30;
    std::mt19937 generator(30);
    for (int round = 0; round < 50; ++round) {
        package_set packages;
        std::vector<int> numbers(length);
        for (int i = 0; i < length; ++i) numbers[i] = i;
        std::shuffle(numbers.begin(), numbers.end(), generator);
        for (int i : numbers) {
            package_record& p = packages.add(("p" + std::to_string(i)).c_str(), v(1));
            if (i > 0)
                p.depends.push_back(relation{("p" + std::to_string(i - 1)).c_str(), 0, 0, 0});
        }
        array<package_record*> list = packages.list();
        recording_reporter messages;
        order_packages(list, false, false, messages);
        std::vector<std::string> expected;
        for (int i = 0; i < length; ++i) expected.push_back("p" + std::to_string(i) + "-1.0");
        EXPECT_EQ(labels(list), expected) << "round " << round;
    }
}

TEST(order_packages, warns_about_each_dropped_version_when_verbose) {
    package_set packages;
    packages.add("p", v(1));
    packages.add("p", v(3));
    packages.add("p", v(2));

    array<package_record*> newest = packages.list();
    recording_reporter newer_messages;
    order_packages(newest, false, true, newer_messages);
    EXPECT_EQ(labels(newest), std::vector<std::string>{"p-3.0"});
    EXPECT_EQ(newer_messages.lines,
              (std::vector<std::string>{
                  "warning:omitting package p-1.0: newer package is already provided",
                  "warning:omitting package p-2.0: newer package is already provided"}));

    array<package_record*> oldest = packages.list();
    recording_reporter older_messages;
    order_packages(oldest, true, true, older_messages);
    EXPECT_EQ(labels(oldest), std::vector<std::string>{"p-1.0"});
    EXPECT_EQ(older_messages.lines,
              (std::vector<std::string>{
                  "warning:omitting package p-3.0: older package is already provided",
                  "warning:omitting package p-2.0: older package is already provided"}));
}

TEST(order_packages, leaves_an_empty_list_empty) {
    array<package_record*> list;
    recording_reporter messages;
    order_packages(list, false, true, messages);
    EXPECT_TRUE(list.empty());
}

}  // namespace
