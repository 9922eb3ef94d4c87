#include "base/own_ptr.h"

#include <gtest/gtest.h>

#include <utility>

namespace {

// Counts its own deletions through a base pointer: a derived object deleted
// without the virtual destructor would not count.
struct counted_base {
    virtual ~counted_base() = default;
};

struct counted : counted_base {
    explicit counted(int& deletions) : deletions_(deletions) {}
    ~counted() override { ++deletions_; }
    int& deletions_;
};

TEST(own_ptr, deletes_what_it_owns_once_through_the_base) {
    int deletions = 0;
    {
        own_ptr<counted_base> owner(new counted(deletions));
        EXPECT_TRUE(owner);
    }
    EXPECT_EQ(deletions, 1);
}

TEST(own_ptr, a_move_hands_the_object_on_without_deleting_it) {
    int deletions = 0;
    own_ptr<counted> first(new counted(deletions));
    counted* object = first.get();
    own_ptr<counted_base> second(std::move(first));
    EXPECT_FALSE(first);
    EXPECT_EQ(second.get(), object);
    EXPECT_EQ(deletions, 0);

    own_ptr<counted_base> third;
    third = std::move(second);
    EXPECT_EQ(third.get(), object);
    EXPECT_EQ(deletions, 0);
    third = own_ptr<counted_base>(new counted(deletions));
    EXPECT_EQ(deletions, 1) << "the object owned before the assignment";
}

TEST(own_ptr, release_gives_up_ownership_and_reset_replaces_it) {
    int deletions = 0;
    own_ptr<counted_base> owner(new counted(deletions));
    counted_base* released = owner.release();
    EXPECT_FALSE(owner);
    EXPECT_EQ(owner.get(), nullptr);
    EXPECT_EQ(deletions, 0);

    owner.reset(released);
    owner.reset(new counted(deletions));
    EXPECT_EQ(deletions, 1);
    owner.reset();
    EXPECT_EQ(deletions, 2);
    EXPECT_FALSE(owner);
}

}  // namespace
