#include "bootsetup/tree_archive.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "base/array.h"
#include "base/byte_string.h"
#include "base/posix_io.h"

namespace {

// ---- writing

struct archive_writer {
    archive_chunk* first = nullptr;
    archive_chunk* last = nullptr;
};

void seal(archive_chunk* chunk) {
    chunk->capacity = chunk->position;
    chunk->position = 0;
}

// Memory is allowed to run out here: a configuration too big to hold only
// means it is not carried over, so the chunk comes from malloc, not from
// the containers that abort.
bool append_chunk(archive_writer& writer, std::uint32_t capacity) {
    auto* chunk = static_cast<archive_chunk*>(std::malloc(sizeof(archive_chunk) + capacity));
    if (chunk == nullptr) return false;
    chunk->marker = archive_marker;
    chunk->capacity = capacity;
    chunk->position = 0;
    chunk->next = nullptr;
    if (writer.last != nullptr) {
        seal(writer.last);
        writer.last->next = chunk;
    } else {
        writer.first = chunk;
    }
    writer.last = chunk;
    return true;
}

std::uint32_t room(const archive_writer& writer) {
    return writer.last->capacity - writer.last->position;
}

bool append_bytes(archive_writer& writer, const void* bytes, std::size_t count) {
    const auto* from = static_cast<const unsigned char*>(bytes);
    while (count > 0) {
        if (room(writer) == 0 && !append_chunk(writer, archive_chunk_bytes)) return false;
        std::size_t piece = count < room(writer) ? count : room(writer);
        std::memcpy(writer.last->data() + writer.last->position, from, piece);
        writer.last->position += static_cast<std::uint32_t>(piece);
        from += piece;
        count -= piece;
    }
    return true;
}

bool append_record(archive_writer& writer, const byte_string& path, const struct stat& status) {
    const std::size_t length = path.length() + 1;
    if (length > room(writer) && !append_chunk(writer, static_cast<std::uint32_t>(length)))
        return false;
    return append_bytes(writer, path.text(), length) &&
           append_bytes(writer, &status, sizeof status);
}

// Reads the file to its end straight into the chain.
bool append_contents(archive_writer& writer, int file, off_t expected) {
    off_t total = 0;
    for (;;) {
        if (room(writer) == 0 && !append_chunk(writer, archive_chunk_bytes)) return false;
        const std::size_t wanted = room(writer);
        const ssize_t got = read_all(file, writer.last->data() + writer.last->position, wanted);
        if (got < 0) return false;
        writer.last->position += static_cast<std::uint32_t>(got);
        total += got;
        if (static_cast<std::size_t>(got) < wanted) return total == expected;
    }
}

bool capture_path(archive_writer& writer, const byte_string& path);

bool capture_file(archive_writer& writer, const byte_string& path, const struct stat& status) {
    int file = open(path.text(), O_RDONLY);
    if (file < 0) return false;
    bool good =
        append_record(writer, path, status) && append_contents(writer, file, status.st_size);
    close(file);
    return good;
}

bool capture_directory(archive_writer& writer, const byte_string& path, const struct stat& status) {
    DIR* listing = opendir(path.text());
    if (listing == nullptr) return false;
    bool good = append_record(writer, path, status);
    while (good) {
        errno = 0;
        dirent* entry = readdir(listing);
        if (entry == nullptr) {
            good = errno == 0;
            break;
        }
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
        byte_string inner = path;
        inner += "/";
        inner += entry->d_name;
        good = capture_path(writer, inner);
    }
    closedir(listing);
    return good;
}

bool capture_path(archive_writer& writer, const byte_string& path) {
    struct stat status;
    if (lstat(path.text(), &status) != 0) return false;
    if (S_ISREG(status.st_mode)) return capture_file(writer, path, status);
    if (S_ISDIR(status.st_mode)) return capture_directory(writer, path, status);
    return true;
}

// ---- reading

struct archive_reader {
    archive_chunk* current;
};

// Moves past chunks that have been read to their end; false when the
// chain is exhausted.
bool settle(archive_reader& reader) {
    while (reader.current != nullptr && reader.current->position == reader.current->capacity)
        reader.current = reader.current->next;
    return reader.current != nullptr;
}

const char* read_path(archive_reader& reader) {
    if (!settle(reader)) return nullptr;
    archive_chunk* chunk = reader.current;
    auto* start = reinterpret_cast<const char*>(chunk->data() + chunk->position);
    std::size_t left = chunk->capacity - chunk->position;
    std::size_t length = strnlen(start, left);
    if (length == left) return nullptr;
    chunk->position += static_cast<std::uint32_t>(length + 1);
    return start;
}

bool read_bytes(archive_reader& reader, void* bytes, std::size_t count) {
    auto* to = static_cast<unsigned char*>(bytes);
    while (count > 0) {
        if (!settle(reader)) return false;
        archive_chunk* chunk = reader.current;
        std::size_t piece = chunk->capacity - chunk->position;
        if (piece > count) piece = count;
        std::memcpy(to, chunk->data() + chunk->position, piece);
        chunk->position += static_cast<std::uint32_t>(piece);
        to += piece;
        count -= piece;
    }
    return true;
}

bool write_contents(archive_reader& reader, int file, off_t size) {
    off_t left = size;
    while (left > 0) {
        if (!settle(reader)) return false;
        archive_chunk* chunk = reader.current;
        std::size_t piece = chunk->capacity - chunk->position;
        if (static_cast<off_t>(piece) > left) piece = static_cast<std::size_t>(left);
        if (!write_all(file, chunk->data() + chunk->position, piece)) return false;
        chunk->position += static_cast<std::uint32_t>(piece);
        left -= static_cast<off_t>(piece);
    }
    return true;
}

void set_times(const char* path, const struct stat& status) {
    const timespec times[2] = {status.st_atim, status.st_mtim};
    utimensat(AT_FDCWD, path, times, AT_SYMLINK_NOFOLLOW);
}

// Owner, group and mode are restored as far as the file system allows; a
// file that cannot get them back keeps its contents and the restore goes on.
// The owner comes before the mode: changing the owner of a file clears its
// set-user-ID and set-group-ID bits, even for root. When the owner cannot be
// set, those bits are left off, so that the restoring user does not end up
// owning a set-user-ID copy of someone else's program.
mode_t restored_mode(const struct stat& status, bool owner_set) {
    const mode_t mode = status.st_mode & 07777;
    return owner_set ? mode : mode & ~mode_t{06000};
}

bool restore_file(archive_reader& reader, const char* path, const struct stat& status) {
    int file = open(path, O_WRONLY | O_CREAT, 0600);
    if (file < 0) return false;
    const bool written = write_contents(reader, file, status.st_size);
    if (written) {
        const bool owner_set = fchown(file, status.st_uid, status.st_gid) == 0;
        (void)fchmod(file, restored_mode(status, owner_set));
    }
    close(file);
    if (written) set_times(path, status);
    return written;
}

struct directory_times {
    byte_string path;
    struct stat status;
};

bool restore_directory(const char* path, const struct stat& status, array<directory_times>& later) {
    if (mkdir(path, 0700) != 0) return false;
    const bool owner_set = chown(path, status.st_uid, status.st_gid) == 0;
    (void)chmod(path, restored_mode(status, owner_set));
    // Restoring what the directory holds changes its times again, so they
    // are set once everything is in place.
    later.push_back(directory_times{byte_string(path), status});
    return true;
}

bool restore_records(archive_reader& reader) {
    array<directory_times> directories;
    bool good = true;
    while (good && settle(reader)) {
        const char* path = read_path(reader);
        struct stat status;
        if (path == nullptr || !read_bytes(reader, &status, sizeof status)) {
            good = false;
        } else if (S_ISREG(status.st_mode)) {
            good = restore_file(reader, path, status);
        } else if (S_ISDIR(status.st_mode)) {
            good = restore_directory(path, status, directories);
        }
    }
    for (const directory_times& directory : directories)
        set_times(directory.path.text(), directory.status);
    return good;
}

}  // namespace

archive_chunk* capture_tree(const char* path) {
    archive_writer writer;
    bool good =
        append_chunk(writer, archive_chunk_bytes) && capture_path(writer, byte_string(path));
    if (!good) {
        free_archive(writer.first);
        return nullptr;
    }
    seal(writer.last);
    return writer.first;
}

bool restore_tree(archive_chunk* archive) {
    if (archive == nullptr || archive->marker != archive_marker) return false;
    archive_reader reader{archive};
    bool good = restore_records(reader);
    free_archive(archive);
    return good;
}

void free_archive(archive_chunk* archive) {
    while (archive != nullptr) {
        archive_chunk* next = archive->next;
        std::free(archive);
        archive = next;
    }
}
