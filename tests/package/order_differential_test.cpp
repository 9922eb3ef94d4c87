// The indexed order_packages against the straightforward one it replaced:
// random lists must give the same survivors, order and messages.

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "package/order_packages.h"
#include "package/version.h"
#include "tests/package/reference_order.h"

namespace {

class recording_reporter : public reporter {
public:
    void say(kind k, const char* format, va_list arguments) override {
        char text[512];
        std::vsnprintf(text, sizeof text, format, arguments);
        lines.push_back(std::to_string(k) + ":" + text);
    }
    std::vector<std::string> lines;
};

// Few names and versions, so that relations, copies, provides and
// conflicts meet often.
class random_packages {
public:
    explicit random_packages(unsigned seed) : random_(seed) {}

    array<package_record*> list(std::size_t count) {
        array<package_record*> result;
        for (std::size_t i = 0; i < count; ++i) {
            if (!records_.empty() && pick(8) == 0) {
                // A second copy of an entry already listed.
                result.push_back(records_[pick(records_.size())].get());
                continue;
            }
            package_record& p = make_plain();
            if (pick(6) == 0) {
                p.is_bundle = true;
                const std::size_t members = pick(3);
                for (std::size_t m = 0; m < members; ++m) p.members.push_back(make_member());
            }
            result.push_back(&p);
        }
        return result;
    }

    std::size_t pick(std::size_t n) {
        return std::uniform_int_distribution<std::size_t>(0, n - 1)(random_);
    }

private:
    byte_string name() {
        static const char* const names[] = {"a", "b", "c", "d", "e", "f", "g", "h", "virt", "web"};
        return names[pick(10)];
    }
    std::uint32_t version() { return make_version(static_cast<unsigned>(pick(3)), 0, 'f', 0); }
    relation some_relation(bool provided) {
        relation r;
        r.name = name();
        if (pick(3) == 0) r.min = version();
        if (pick(4) == 0) r.max = version();
        if (provided) r.priority = static_cast<std::int32_t>(pick(5)) - 2;
        return r;
    }
    void fill(package_record& p) {
        p.name = name();
        p.version = version();
        p.revision = static_cast<std::uint32_t>(pick(2));
        for (std::size_t i = pick(3); i > 0; --i) p.depends.push_back(some_relation(false));
        if (pick(3) == 0) p.provides.push_back(some_relation(true));
        if (pick(4) == 0) p.conflicts.push_back(some_relation(false));
    }
    package_record& make_plain() {
        records_.push_back(std::make_unique<package_record>());
        fill(*records_.back());
        return *records_.back();
    }
    // Members belong to their bundle, which deletes them.
    package_record* make_member() {
        auto* m = new package_record;
        fill(*m);
        return m;
    }
    std::mt19937 random_;
    std::vector<std::unique_ptr<package_record>> records_;
};

std::vector<const package_record*> pointers(const array<package_record*>& list) {
    return std::vector<const package_record*>(list.begin(), list.end());
}

TEST(order_differential, matches_the_pairwise_ordering_on_random_lists) {
    for (unsigned seed = 1; seed <= 400; ++seed) {
        random_packages packages(seed);
        const array<package_record*> input = packages.list(1 + packages.pick(24));
        const bool prefer_older = packages.pick(2) == 0;
        const bool verbose = packages.pick(4) != 0;

        array<package_record*> expected = input;
        recording_reporter expected_messages;
        reference::order_packages(expected, prefer_older, verbose, expected_messages);

        array<package_record*> actual = input;
        recording_reporter actual_messages;
        order_packages(actual, prefer_older, verbose, actual_messages);

        ASSERT_EQ(pointers(actual), pointers(expected)) << "seed " << seed;
        ASSERT_EQ(actual_messages.lines, expected_messages.lines) << "seed " << seed;
    }
}

}  // namespace
