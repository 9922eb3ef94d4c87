// Drives every reading path of a package container over arbitrary bytes: the
// header parts of a package or bundle, every relation list, the scripts and
// the whole inflated archive, entry by entry, and the installer's check of a
// whole package.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>

#include "base/file_streams.h"
#include "package/archive_entry.h"
#include "package/format.h"
#include "package/header_reading.h"
#include "package/inflate_buffer.h"
#include "package/package_check.h"
#include "package/package_reader.h"
#include "package/package_record.h"

namespace {

// A file descriptor holding the bytes, so the reader runs over the real file
// buffer with seeking, as it does on a package file.
int descriptor_of(const std::uint8_t* data, std::size_t size) {
    int fd = memfd_create("package", 0);
    if (fd < 0) return -1;
    std::size_t done = 0;
    while (done < size) {
        ssize_t n = write(fd, data + done, size - done);
        if (n <= 0) {
            close(fd);
            return -1;
        }
        done += static_cast<std::size_t>(n);
    }
    lseek(fd, 0, SEEK_SET);
    return fd;
}

void read_archive(package_reader& reader) {
    inflate_buffer inflater(reader.buffer());
    in_stream archive(&inflater);
    archive_entry entry;
    char data[4096];
    while (read_entry(archive, entry) == entry_read::whole) {
        std::uint32_t left = entry.size;
        while (left > 0) {
            std::uint32_t piece = left < sizeof data ? left : sizeof data;
            archive.read(data, piece);
            if (archive.failed()) return;
            left -= piece;
        }
    }
}

void read_everything(package_reader& reader) {
    for (std::uint32_t type : {1u, 2u, 3u, 4u, 7u, 8u, 16u, 17u, 18u, 19u, 20u})
        reader.accept(type);
    int type = reader.next_part();
    while (type >= 0) {
        if (type == part_package || type == part_bundle) {
            package_record record;
            if (!read_header(record, reader)) return;
            type = reader.current_type();
            continue;
        }
        if (type == part_disabled_members) {
            array<relation> members;
            if (!read_relation_list(reader, members)) return;
        } else if (type == part_oninstall || type == part_onuninstall) {
            byte_string script;
            // Only that reading stays safe matters here, not whether the script was whole.
            (void)reader.read_payload(script);
        } else if (type == part_files) {
            read_archive(reader);
        }
        type = reader.next_part();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    int fd = descriptor_of(data, size);
    if (fd < 0) return 0;
    {
        file_in_stream file(fd);
        package_reader reader(file);
        read_everything(reader);
    }
    // The whole-package check an installer runs before an upgrade.
    int whole = descriptor_of(data, size);
    if (whole >= 0) {
        file_in_stream file(whole);
        byte_string where;
        (void)check_package(file, size, where);
    }
    // The store scan reads the same bytes through its own path.
    int again = descriptor_of(data, size);
    if (again >= 0) {
        char path[64];
        std::snprintf(path, sizeof path, "/proc/self/fd/%d", again);
        package_file store_file;
        (void)read_store_file(store_file, path);
        close(again);
    }
    return 0;
}
