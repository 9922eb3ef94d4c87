#include "base/byte_string.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "allocation_log.h"

namespace {

using sizes = std::vector<std::size_t>;

std::string bytes_of(const byte_string& text) {
    return std::string(text.text(), text.length());
}

// Whenever there is storage, the byte after the content must be NUL.
void expect_terminated(const byte_string& text) {
    if (text.has_storage()) {
        EXPECT_EQ(text.data()[text.length()], '\0');
    }
}

}  // namespace

TEST(byte_string, EmptyByConstructionNeverAllocates) {
    allocation_log log;
    byte_string text;
    EXPECT_FALSE(text.has_storage());
    EXPECT_STREQ(text.text(), "");
    EXPECT_EQ(text.length(), 0u);
    text.clear();
    text = "";
    text.append("");
    text.append(0, 'x');
    text.append(byte_string());
    text = byte_string();
    text.resize(0);
    byte_string copy(text);
    byte_string from_empty_text("");
    EXPECT_FALSE(text.has_storage());
    EXPECT_FALSE(copy.has_storage());
    EXPECT_FALSE(from_empty_text.has_storage());
    EXPECT_EQ(log.take(), sizes{});
}

TEST(byte_string, ConstructionAllocatesExactlyTheLength) {
    allocation_log log;
    byte_string twenty(20, 'z');
    byte_string text("abc");
    byte_string bytes("a\0b", 3);
    byte_string copy(twenty);
    EXPECT_EQ(log.take(), (sizes{21, 4, 4, 21}));
    EXPECT_EQ(bytes_of(bytes), std::string("a\0b", 3));
    EXPECT_EQ(bytes_of(copy), std::string(20, 'z'));
    for (const byte_string* each : {&twenty, &text, &bytes, &copy}) expect_terminated(*each);
    // The first growth of an exact string goes to the floor of 15 bytes.
    text.push_back('d');
    EXPECT_EQ(log.take(), sizes{16});
    EXPECT_EQ(text, "abcd");
}

TEST(byte_string, GrowsByteByByteWithoutSlack) {
    allocation_log log;
    byte_string text;
    for (int i = 0; i < 20; ++i) {
        text.push_back(static_cast<char>('a' + i));
        expect_terminated(text);
    }
    EXPECT_EQ(log.take(), (sizes{16, 17, 18, 19, 20, 21}));
    EXPECT_EQ(text, "abcdefghijklmnopqrst");
}

TEST(byte_string, ClearAndAssignKeepStorageThatSuffices) {
    byte_string text("some longer text here");
    allocation_log log;
    text.clear();
    EXPECT_TRUE(text.has_storage());
    EXPECT_STREQ(text.text(), "");
    text = "shorter";
    text.append(" again");
    EXPECT_EQ(log.take(), sizes{});
    EXPECT_EQ(text, "shorter again");
    expect_terminated(text);
}

// A piece of the string itself may be appended or assigned although growing
// moves the storage.
TEST(byte_string, AppendsAndAssignsPiecesOfItself) {
    byte_string text("0123456789abcde");
    text.append(text);
    EXPECT_EQ(text, "0123456789abcde0123456789abcde");
    byte_string exact("xyz");
    exact.append(exact.data() + 1, 2);
    EXPECT_EQ(exact, "xyzyz");
    exact.assign(exact.data() + 2, 3);
    EXPECT_EQ(exact, "zyz");
    const byte_string& itself = exact;  // through a reference, as real code does it
    exact = itself;
    EXPECT_EQ(exact, "zyz");
    expect_terminated(exact);
}

TEST(byte_string, CompareTakesBytesAsSigned) {
    struct row {
        std::string left;
        std::string right;
        int expected;
    };
    const row rows[] = {
        {"ab", "abc", -1},
        {"abc", "ab", 1},
        {"abc", "abc", 0},
        {"", "", 0},
        {"", "a", -1},
        {"\xe9", "a", -1},
        {"a", "\xe9", 1},
        {"\x80", "\x7f", -1},
        {"\xff", "\x01", -1},
        {std::string("a\0b", 3), std::string("a\0c", 3), -1},
        {std::string("a\0", 2), "a", 1},
        {std::string("\0", 1), "", 1},
    };
    for (const row& each : rows) {
        byte_string left(each.left.data(), each.left.length());
        byte_string right(each.right.data(), each.right.length());
        SCOPED_TRACE(testing::PrintToString(each.left) + " vs " +
                     testing::PrintToString(each.right));
        EXPECT_EQ(left.compare(right), each.expected);
        EXPECT_EQ(left < right, each.expected < 0);
        if (each.right.find('\0') == std::string::npos) {
            EXPECT_EQ(left.compare(each.right.c_str()), each.expected);
        }
    }
}

TEST(byte_string, EraseAndSubstringClampTheCount) {
    struct row {
        std::size_t position;
        std::size_t count;
        const char* erased;
        const char* piece;
    };
    const row rows[] = {
        {2, 2, "abef", "cd"}, {4, 100, "abcd", "ef"}, {0, 6, "", "abcdef"},
        {6, 1, "abcdef", ""}, {3, 0, "abcdef", ""},   {0, byte_string::npos, "", "abcdef"},
    };
    for (const row& each : rows) {
        SCOPED_TRACE(testing::Message() << each.position << "," << each.count);
        byte_string text("abcdef");
        byte_string piece = text.substring(each.position, each.count);
        text.erase(each.position, each.count);
        EXPECT_EQ(text, each.erased);
        EXPECT_EQ(piece, each.piece);
        expect_terminated(text);
        expect_terminated(piece);
    }
}

TEST(byte_string, ResizeFillsWithNul) {
    byte_string text("ab");
    text.resize(5);
    EXPECT_EQ(bytes_of(text), std::string("ab\0\0\0", 5));
    text.resize(1);
    EXPECT_EQ(text, "a");
    expect_terminated(text);
}

TEST(byte_string, Searches) {
    const byte_string path("/var/pdb/name");
    EXPECT_TRUE(path.starts_with("/var/"));
    EXPECT_TRUE(path.starts_with(""));
    EXPECT_FALSE(path.starts_with("/var/pdb/name/"));
    EXPECT_TRUE(path.ends_with("/name"));
    EXPECT_FALSE(path.ends_with("x/var/pdb/name"));
    EXPECT_TRUE(byte_string().ends_with(""));
    EXPECT_EQ(path.find('/'), 0u);
    EXPECT_EQ(path.find('/', 1), 4u);
    EXPECT_EQ(path.find('/', 100), byte_string::npos);
    EXPECT_EQ(path.find('x'), byte_string::npos);
    EXPECT_EQ(path.find_last('/'), 8u);
    EXPECT_EQ(byte_string().find_last('/'), byte_string::npos);
    EXPECT_EQ(byte_string().find('/'), byte_string::npos);
}

TEST(byte_string, MoveSwapAndConcatenation) {
    byte_string name("name");
    byte_string moved(static_cast<byte_string&&>(name));
    EXPECT_FALSE(name.has_storage());
    EXPECT_EQ(moved, "name");
    byte_string other("other");
    moved.swap(other);
    EXPECT_EQ(moved, "other");
    EXPECT_EQ(other, "name");
    other = static_cast<byte_string&&>(moved);
    EXPECT_EQ(other, "other");
    EXPECT_EQ(other + "-" + byte_string("1.0"), "other-1.0");
    EXPECT_FALSE((byte_string() + "").has_storage());
}
