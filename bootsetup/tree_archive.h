#pragma once

#include <cstdint>

// The old configuration tree held in memory while its disk is partitioned
// and formatted: a chain of chunks holding, for each directory and regular
// file in capture order, its absolute path with the NUL, its lstat record
// and, for a file, its contents. A path never spans two chunks; status
// records and contents may.
struct archive_chunk {
    std::uint32_t marker;
    // While written: the chunk's size and the bytes written so far. Once
    // sealed: the bytes it holds and the bytes read so far.
    std::uint32_t capacity;
    std::uint32_t position;
    archive_chunk* next;

    unsigned char* data() { return reinterpret_cast<unsigned char*>(this + 1); }
};

inline constexpr std::uint32_t archive_marker = 0x5A0937EB;
inline constexpr std::uint32_t archive_chunk_bytes = 16000;

// Reads the tree below path (symbolic links, devices, pipes and sockets are
// passed over). Null when anything fails: a file that cannot be read whole
// or changed size, a directory that cannot be listed, memory.
[[nodiscard]] archive_chunk* capture_tree(const char* path);

// Writes every record back under its own path with its mode, owner, group
// and times, and frees the archive, whatever the result. An archive without
// the marker is refused and left alone. False when an object cannot be
// created or written; what was restored before stays. An owner or mode that
// cannot be set is no failure (without its owner a file loses its
// set-user-ID and set-group-ID bits).
[[nodiscard]] bool restore_tree(archive_chunk* archive);

void free_archive(archive_chunk* archive);
