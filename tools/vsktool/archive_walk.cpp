#include "tools/vsktool/archive_walk.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

#include "base/in_stream.h"
#include "package/format.h"
#include "package/inflate_buffer.h"
#include "package/package_reader.h"
#include "tools/vsktool/options.h"

namespace {

// Link targets and device numbers are short; a longer head is not kept.
constexpr std::uint32_t head_limit = 4096;

// Big requests go past the inflater's area and keep calls few.
constexpr std::uint32_t chunk_size = 64 * 1024;
char chunk[chunk_size];

class archive_walk {
public:
    archive_walk(package_reader& reader, const char* path, std::uint32_t part_offset)
        : reader_(reader),
          path_(path),
          part_offset_(part_offset),
          inflater_(&reader.parts()),
          archive_(&inflater_) {}

    bool run(entry_visitor& visitor);

private:
    bool fail(const char* format, ...) __attribute__((format(printf, 2, 3)));
    bool read_data(const archive_entry& entry, std::string& head);
    // Inflated bytes taken by the entry reader so far.
    std::uint64_t consumed() const {
        return inflater_.inflated() -
               static_cast<std::uint64_t>(inflater_.get_end() - inflater_.get_current());
    }
    std::string after_last() const {
        return last_name_.empty()
                   ? std::string("at the start")
                   : "after entry " + printable(last_name_.data(), last_name_.size());
    }

    package_reader& reader_;
    const char* path_;
    std::uint32_t part_offset_;
    inflate_buffer inflater_;
    in_stream archive_;
    std::string last_name_;
};

bool archive_walk::fail(const char* format, ...) {
    char message[1024];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(message, sizeof message, format, arguments);
    va_end(arguments);
    report(path_, "part %u at offset %u: %s", part_files, part_offset_, message);
    return false;
}

bool archive_walk::read_data(const archive_entry& entry, std::string& head) {
    std::uint16_t type = entry.type();
    std::uint32_t keep =
        (type == entry_symlink || type == entry_char_device || type == entry_block_device)
            ? std::min(entry.size, head_limit)
            : 0;
    head.clear();
    std::uint32_t left = entry.size;
    while (left > 0) {
        std::uint32_t piece = std::min(left, chunk_size);
        archive_.read(chunk, piece);
        std::uint32_t got = static_cast<std::uint32_t>(archive_.last_count());
        if (head.size() < keep) head.append(chunk, std::min<std::size_t>(got, keep - head.size()));
        left -= got;
        if (got < piece) {
            std::string name = printable(entry.name.data(), entry.name.length());
            if (inflater_.corrupt()) {
                return fail("entry %s: compressed data corrupt after %u of %u data bytes",
                            name.c_str(), entry.size - left, entry.size);
            }
            return fail("entry %s: data cut short (%u of %u bytes)", name.c_str(),
                        entry.size - left, entry.size);
        }
    }
    return true;
}

bool archive_walk::run(entry_visitor& visitor) {
    archive_entry entry;
    std::string head;
    for (;;) {
        std::uint64_t before = consumed();
        const entry_read got = read_entry(archive_, entry);
        if (got != entry_read::whole) {
            if (inflater_.corrupt()) {
                return fail("compressed data corrupt %s", after_last().c_str());
            }
            if (got == entry_read::broken || consumed() != before) {
                return fail("entry header or name cut short %s (%llu of at least %d bytes)",
                            after_last().c_str(),
                            static_cast<unsigned long long>(consumed() - before),
                            entry_header_size);
            }
            break;
        }
        if (!read_data(entry, head)) return false;
        last_name_.assign(entry.name.data(), entry.name.length());
        if (!visitor.entry(entry, head)) return false;
    }
    if (!inflater_.finished()) {
        return fail("compressed data ends before the end of its stream %s (truncated)",
                    after_last().c_str());
    }
    // Installers pass over what follows the stream in its part.
    if (inflater_.compressed_taken() < reader_.part_length()) {
        char line[128];
        std::snprintf(
            line, sizeof line,
            "part %u at offset %u: %llu bytes after the end of the compressed data", part_files,
            part_offset_,
            static_cast<unsigned long long>(reader_.part_length() - inflater_.compressed_taken()));
        visitor.oddity(line);
    }
    return true;
}

}  // namespace

bool walk_archive(package_reader& reader, const char* path, std::uint32_t part_offset,
                  entry_visitor& visitor) {
    archive_walk walk(reader, path, part_offset);
    return walk.run(visitor);
}
