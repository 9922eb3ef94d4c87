#include <zlib.h>

#include <functional>
#include <string>
#include <vector>

#include "package/format.h"
#include "package/version.h"
#include "tests/support/container_bytes.h"
#include "tests/tools/vsktool_harness.h"

namespace {

using fixture::container_bytes;
using fixture::entry_bytes;
using fixture::header_record_bytes;
using fixture::le32;
using fixture::part_bytes;
using fixture::relation_list_bytes;
using fixture::zlib_bytes;

std::string header_part() {
    return part_bytes(part_package, header_record_bytes("netutils", make_version(1, 0, 'f', 0), 0));
}

std::string depends_part() {
    return part_bytes(part_depends, relation_list_bytes({{"base-system"}}));
}

std::string entries() {
    return entry_bytes(0x41ed, "/etc", "") +
           entry_bytes(0x81a4, "/etc/hosts", std::string(5000, 'h')) +
           entry_bytes(0xa1ff, "/bin/sh", "bash") + entry_bytes(0x21b0, "/dev/null", le32(0x103));
}

std::string files_part(const std::string& archive) {
    return part_bytes(part_files, zlib_bytes(archive));
}

std::string good_package() {
    return container_bytes(header_part() + depends_part() + files_part(entries()));
}

// A zlib stream that stops after a flush, without its last block and check value.
std::string unfinished_zlib(const std::string& bytes) {
    z_stream z{};
    deflateInit(&z, Z_DEFAULT_COMPRESSION);
    std::string out(compressBound(bytes.size()) + 64, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    z.avail_in = static_cast<uInt>(bytes.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_SYNC_FLUSH);
    out.resize(out.size() - z.avail_out);
    deflateEnd(&z);
    return out;
}

std::string with_byte(std::string bytes, std::size_t at, char value) {
    bytes[at] = value;
    return bytes;
}

// Offset of the files part's payload in good_package().
std::size_t files_payload_offset() {
    return 8 + header_part().size() + depends_part().size() + 6;
}

struct broken_case {
    const char* name;
    std::function<std::string()> bytes;
    const char* message;  // what the one line must say
};

std::vector<broken_case> broken_cases() {
    return {
        {"cut at the end",
         [] {
             std::string b = good_package();
             return b.substr(0, b.size() - 10);
         },
         "truncated: the header declares"},
        {"length field one short",
         [] {
             std::string b = good_package();
             return le32(magic_tracked) + le32(b.size() - 9) + b.substr(8);
         },
         "wrong size: the header declares"},
        {"unknown magic", [] { return le32(0x12345678) + good_package().substr(4); },
         "not a package file: unknown magic 0x12345678"},
        {"shorter than a header", [] { return std::string("abc"); },
         "not a package file: only 3 bytes"},
        {"no parts", [] { return container_bytes(""); }, "holds no parts"},
        {"part header cut",
         [] { return container_bytes(header_part() + std::string("\x04\x00\x10", 3)); },
         "part header cut off at offset 46"},
        {"first part not a header", [] { return container_bytes(depends_part() + header_part()); },
         "part 3 at offset 8: the first part must be a package or bundle header"},
        {"check value wrong",
         [] {
             std::string b = good_package();
             return with_byte(b, b.size() - 1, static_cast<char>(b.back() ^ 1));
         },
         "compressed data corrupt"},
        {"invalid block type",
         [] { return with_byte(good_package(), files_payload_offset() + 2, '\xff'); },
         "compressed data corrupt at the start"},
        {"stream without its end",
         [] {
             return container_bytes(header_part() +
                                    part_bytes(part_files, unfinished_zlib(entries())));
         },
         "compressed data ends before the end of its stream after entry /dev/null"},
        {"entry data cut",
         [] {
             std::string a = entries();
             return container_bytes(header_part() + files_part(a.substr(0, a.size() - 2)));
         },
         "entry /dev/null: data cut short (2 of 4 bytes)"},
        {"entry header cut",
         [] {
             return container_bytes(header_part() + files_part(entries() + std::string(12, '\0')));
         },
         "entry header or name cut short after entry /dev/null"},
        {"device number of 3 bytes",
         [] {
             return container_bytes(header_part() +
                                    files_part(entry_bytes(0x21b0, "/dev/x", "abc")));
         },
         "entry /dev/x: device number is not 4 bytes"},
        {"path leaving the tree",
         [] {
             return container_bytes(header_part() +
                                    files_part(entry_bytes(0x81a4, "/etc/../../x", "a")));
         },
         "entry /etc/../../x: path leads out of the tree"},
        {"relation count larger than the list",
         [] {
             std::string list = relation_list_bytes({{"a"}, {"b"}});
             return container_bytes(header_part() +
                                    part_bytes(part_depends, list.substr(0, list.size() - 32)));
         },
         "part 3 at offset 46: relation list of 2 records needs 66 bytes, the part holds 34"},
        {"bundle without members",
         [] { return container_bytes(part_bytes(part_bundle, header_record_bytes("b", 1, 0))); },
         "bundle without members"},
        {"bundle whose member follows a files part",
         [] {
             return container_bytes(part_bytes(part_bundle, header_record_bytes("b", 1, 0)) +
                                    files_part(entries()) + header_part());
         },
         "bundle whose members installers never reach"},
        {"entry through a link into /proc",
         [] {
             return container_bytes(header_part() +
                                    files_part(entry_bytes(0xa1ff, "/opt/x", "/proc/1/root/tmp") +
                                               entry_bytes(0x81a4, "/opt/x/f", "a")));
         },
         "entry /opt/x/f: path leads below /proc through a link"},
        {"entry through a relative link that climbs to /proc",
         [] {
             return container_bytes(header_part() +
                                    files_part(entry_bytes(0xa1ff, "/opt/y", "../../../proc/self") +
                                               entry_bytes(0x41ed, "/opt/y/d", "")));
         },
         "entry /opt/y/d: path leads below /proc through a link"},
        {"entry through a chain of links, across bundle members",
         [] {
             return container_bytes(
                 part_bytes(part_bundle, header_record_bytes("b", 1, 0)) + header_part() +
                 files_part(entry_bytes(0xa1ff, "/l1", "l2/.") +
                            entry_bytes(0xa1ff, "/l2", "proc")) +
                 header_part() + files_part(entry_bytes(0xa1ff, "/l1/1/root", "/")));
         },
         "entry /l1/1/root: path leads below /proc through a link"},
        {"line break in an entry name",
         [] {
             return container_bytes(header_part() +
                                    files_part(entry_bytes(0x81a4, "/etc/x\netc/passwd", "a")));
         },
         "path holds a line break"},
        {"NUL in an entry name",
         [] {
             return container_bytes(
                 header_part() + files_part(entry_bytes(0x81a4, std::string("/etc/x\0y", 8), "a")));
         },
         "path holds a NUL byte"},
        {"entry below /proc",
         [] {
             return container_bytes(
                 header_part() + files_part(entry_bytes(0x81a4, "/proc/1/root/etc/passwd", "a")));
         },
         "entry /proc/1/root/etc/passwd: path below /proc"},
        {"link target longer than any system stores",
         [] {
             return container_bytes(
                 header_part() + files_part(entry_bytes(0xa1ff, "/bin/l", std::string(4096, 't'))));
         },
         "entry /bin/l: link target longer than 4095 bytes"},
        {"control character in the package name",
         [] {
             return container_bytes(
                 part_bytes(part_package, header_record_bytes("a\x1b[2J", 1, 0)) + depends_part());
         },
         "package name \"a\\033[2J\" is refused by the installer"},
        {"control character in a member name",
         [] {
             return container_bytes(part_bytes(part_bundle, header_record_bytes("b", 1, 0)) +
                                    part_bytes(part_package, header_record_bytes("zz\nx", 1, 0)));
         },
         "package name \"zz\\012x\" is refused by the installer"},
        {"payload past the end",
         [] {
             return container_bytes(header_part() + part_bytes(part_depends, "").substr(0, 2) +
                                    le32(100));
         },
         "payload of 100 bytes runs past the end of the file"},
    };
}

TEST(vsktool_verify, AcceptsAWholePackage) {
    vsk::scratch_dir scratch;
    vsk::spill(scratch / "good.vsk", good_package());
    vsk::run_result checked = vsk::run({"verify", scratch / "good.vsk"});
    EXPECT_EQ(checked.status, 0) << checked.err;
    EXPECT_EQ(checked.err, "vsktool: " + (scratch / "good.vsk") +
                               ": warning: part 4 at offset 86: entry /dev/null: device node "
                               "(mode 020660)\n");
}

// What is legal but seldom meant gets one warning line and leaves the
// status alone.
TEST(vsktool_verify, WarnsOfSetIdWorldWritableAndDeviceEntries) {
    vsk::scratch_dir scratch;
    const std::string path = scratch / "odd.vsk";
    vsk::spill(path, container_bytes(header_part() +
                                     files_part(entry_bytes(0x41ed, "/tmp", "") +
                                                entry_bytes(0x43ff, "/tmp/shared", "") +
                                                entry_bytes(0x8ded, "/bin/su", "elf") +
                                                entry_bytes(0x81b6, "/etc/open", "x") +
                                                entry_bytes(0x61b0, "/dev/hda", le32(0x300)) +
                                                entry_bytes(0xa1ff, "/bin/sh", "bash"))));
    vsk::run_result checked = vsk::run({"verify", path});
    EXPECT_EQ(checked.status, 0) << checked.err;
    const std::string where = "vsktool: " + path + ": warning: part 4 at offset 46: entry ";
    EXPECT_EQ(checked.err, where + "/bin/su: set-ID bit (mode 0106755)\n" + where +
                               "/etc/open: writable by everyone, without the sticky bit (mode "
                               "0100666)\n" +
                               where + "/dev/hda: device node (mode 060660)\n");
}

// What installers read past and install passes, with one warning line
// saying what is odd (or none, where nothing is).
TEST(vsktool_verify, PassesWhatInstallersAccept) {
    struct accepted_case {
        const char* name;
        std::string bytes;
        const char* warning;  // null: no warning at all
    };
    const std::string files = files_part(entry_bytes(0x81a4, "/etc/hosts", "h"));
    const std::vector<accepted_case> cases = {
        {"depends after the files", container_bytes(header_part() + files + depends_part()),
         "part 3 at offset 80: is out of order (readers would miss it)"},
        {"two depends parts", container_bytes(header_part() + depends_part() + depends_part()),
         "part 3 at offset 86: appears twice"},
        {"unknown part type", container_bytes(header_part() + part_bytes(99, "?") + files),
         "part 99 at offset 46: does not belong in a package"},
        {"bytes after the compressed stream",
         container_bytes(
             header_part() +
             part_bytes(part_files, zlib_bytes(entry_bytes(0x81a4, "/etc/hosts", "h")) + "junk")),
         "part 4 at offset 46: 4 bytes after the end of the compressed data"},
        {"member after an odd part, behind one installers reach",
         container_bytes(part_bytes(part_bundle, header_record_bytes("b", 1, 0)) + header_part() +
                         files + depends_part() + header_part()),
         "is out of order (readers would miss it)"},
        {"links that lead elsewhere than /proc",
         container_bytes(header_part() + files_part(entry_bytes(0xa1ff, "/opt/x", "/proc") +
                                                    entry_bytes(0x41ed, "/opt/x", "") +
                                                    entry_bytes(0x81a4, "/opt/x/f", "a") +
                                                    entry_bytes(0xa1ff, "/opt/p", "../procs") +
                                                    entry_bytes(0x81a4, "/opt/p/f", "a") +
                                                    entry_bytes(0xa1ff, "/opt/q", "/proc/1/root"))),
         nullptr},
    };
    vsk::scratch_dir scratch;
    for (const accepted_case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = scratch / "odd.vsk";
        vsk::spill(path, c.bytes);
        vsk::run_result checked = vsk::run({"verify", path});
        EXPECT_EQ(checked.status, 0) << checked.err;
        if (c.warning == nullptr) {
            EXPECT_EQ(checked.err, "");
            continue;
        }
        EXPECT_EQ(vsk::line_count(checked.err), 1u) << checked.err;
        EXPECT_EQ(checked.err.rfind("vsktool: " + path + ": warning: ", 0), 0u) << checked.err;
        EXPECT_NE(checked.err.find(c.warning), std::string::npos) << checked.err;
    }
}

TEST(vsktool_verify, NamesWhatIsWrongInOneLine) {
    vsk::scratch_dir scratch;
    for (const broken_case& c : broken_cases()) {
        SCOPED_TRACE(c.name);
        std::string path = scratch / "broken.vsk";
        vsk::spill(path, c.bytes());
        vsk::run_result checked = vsk::run({"verify", path});
        EXPECT_EQ(checked.status, 1);
        EXPECT_EQ(vsk::line_count(checked.err), 1u) << checked.err;
        EXPECT_EQ(checked.err.rfind("vsktool: " + path + ": ", 0), 0u) << checked.err;
        EXPECT_NE(checked.err.find(c.message), std::string::npos) << checked.err;
    }
}

// info and list meet the same files; they may be more lenient than verify
// about what readers pass over, but never crash or say more than one line.
TEST(vsktool_verify, InfoAndListFailCleanlyOnTheSameFiles) {
    vsk::scratch_dir scratch;
    for (const broken_case& c : broken_cases()) {
        SCOPED_TRACE(c.name);
        std::string path = scratch / "broken.vsk";
        vsk::spill(path, c.bytes());
        for (const char* command : {"info", "list"}) {
            SCOPED_TRACE(command);
            vsk::run_result shown = vsk::run({command, path});
            EXPECT_TRUE(shown.status == 0 || shown.status == 1) << shown.status;
            EXPECT_LE(vsk::line_count(shown.err), 1u) << shown.err;
            if (shown.status == 1) {
                EXPECT_EQ(vsk::line_count(shown.err), 1u);
            }
        }
    }
}

}  // namespace
