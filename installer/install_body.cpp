#include "installer/install_body.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/file_streams.h"
#include "base/in_stream.h"
#include "base/read_in_pieces.h"
#include "installer/database.h"
#include "installer/entry_place.h"
#include "installer/install_errors.h"
#include "installer/package_actions.h"
#include "installer/paths.h"
#include "installer/scripts.h"
#include "installer/used_files.h"
#include "package/archive_entry.h"
#include "package/entry_rules.h"
#include "package/format.h"
#include "package/inflate_buffer.h"

namespace {

constexpr std::uint32_t copy_piece = 16384;
constexpr int progress_columns = 76;

struct directory_time {
    byte_string path;
    std::uint32_t time = 0;
};

bool read_exactly(in_stream& archive, char* destination, std::uint32_t count) {
    archive.read(destination, count);
    return !archive.failed();
}

void skip_data(in_stream& archive, std::uint32_t count) {
    char piece[4096];
    while (count > 0 && archive.good()) {
        const std::uint32_t step = count < sizeof piece ? count : sizeof piece;
        archive.read(piece, step);
        count -= step;
    }
}

// Access and modification time both set to the entry's time; a link is
// never followed.
void set_time(const entry_place& place, std::uint32_t time) {
    const timespec times[2] = {{static_cast<time_t>(time), 0}, {static_cast<time_t>(time), 0}};
    (void)utimensat(place.directory(), place.leaf(), times, AT_SYMLINK_NOFOLLOW);
}

// The extraction of one archive, with what it must remember between entries.
class extraction {
public:
    extraction(repo& r, installed_package& p, package_reader& reader, bool overwrite)
        : r_(r),
          p_(p),
          reader_(reader),
          overwrite_(overwrite),
          inflater_(reader.buffer()),
          archive_(&inflater_) {}

    bool run();

private:
    bool place_entry(const archive_entry& entry, const byte_string& path, const entry_place& place);
    bool place_link(const archive_entry& entry, const byte_string& path, const entry_place& place);
    bool place_file(const archive_entry& entry, const byte_string& path, const entry_place& place);
    bool place_device(const archive_entry& entry, const byte_string& path,
                      const entry_place& place);
    bool clear_the_way(const archive_entry& entry, const byte_string& path,
                       const entry_place& place);
    bool disk_error(const archive_entry& entry) {
        report_disk_error(r_, p_, entry.name.text());
        return false;
    }
    bool broken() {
        report_broken(r_, p_);
        return false;
    }

    repo& r_;
    installed_package& p_;
    package_reader& reader_;
    bool overwrite_;
    inflate_buffer inflater_;
    in_stream archive_;
    array<directory_time> directory_times_;
};

bool extraction::run() {
    archive_entry entry;
    for (;;) {
        const entry_read got = read_entry(archive_, entry);
        // Damaged compressed data (the final checksum included) is never
        // taken for the end of the archive: what came before it may be
        // damaged too.
        if (inflater_.corrupt()) return broken();
        if (got == entry_read::end) break;
        byte_string where;
        if (got == entry_read::broken || entry_problem(entry) != nullptr ||
            !entry_path(entry.name, where)) {
            return broken();
        }
        byte_string path;
        if (p_.disabled) path = disabled_prefix(p_);
        path.append(where);
        const entry_place place(path);
        // "/" itself: nothing to create, nothing to change.
        if (place.is_open() && place.is_root()) {
            skip_data(archive_, entry.size);
            continue;
        }
        if (!place.is_open()) return disk_error(entry);
        if (!clear_the_way(entry, path, place)) {
            skip_data(archive_, entry.size);
            continue;
        }
        if (!place_entry(entry, path, place)) return false;
        // Errors of ownership, mode and times are ignored, as they always were.
        (void)fchownat(place.directory(), place.leaf(), entry.owner, entry.group,
                       AT_SYMLINK_NOFOLLOW);
        if (entry.type() != entry_symlink) {
            (void)fchmodat(place.directory(), place.leaf(), entry.permissions(), 0);
            set_time(place, entry.time);
        }
        show_install_progress(r_, p_, reader_);
    }
    // Only now, with every entry inside them created, do the times stay.
    for (const directory_time& d : directory_times_) {
        const entry_place place(d.path);
        if (place.is_open()) set_time(place, d.time);
    }
    return true;
}

// False when the entry is to be passed over: an existing directory, or a
// file another package owns.
bool extraction::clear_the_way(const archive_entry& entry, const byte_string& path,
                               const entry_place& place) {
    struct stat st;
    if (fstatat(place.directory(), place.leaf(), &st, AT_SYMLINK_NOFOLLOW) != 0) return true;
    if (S_ISDIR(st.st_mode) && entry.type() == entry_directory) return false;
    if (!overwrite_) {
        const byte_string owner = r_.owner_of(path);
        if (!owner.empty()) {
            r_.messages.say_warning("file %s collides with %s package", path.text(), owner.text());
            return false;
        }
        r_.messages.say_warning("ghost file %s", path.text());
    }
    (void)unlinkat(place.directory(), place.leaf(), 0);
    return true;
}

bool extraction::place_entry(const archive_entry& entry, const byte_string& path,
                             const entry_place& place) {
    const int at = place.directory();
    switch (entry.type()) {
        case entry_symlink:
            return place_link(entry, path, place);
        case entry_regular:
            return place_file(entry, path, place);
        case entry_directory:
            skip_data(archive_, entry.size);
            if (mkdirat(at, place.leaf(), entry.permissions()) != 0) return disk_error(entry);
            directory_times_.push_back(directory_time{path, entry.time});
            return true;
        case entry_char_device:
        case entry_block_device:
            return place_device(entry, path, place);
        case entry_fifo:
            skip_data(archive_, entry.size);
            if (mkfifoat(at, place.leaf(), entry.permissions()) != 0) return disk_error(entry);
            p_.files.insert(path);
            return true;
        default:
            return broken();
    }
}

bool extraction::place_link(const archive_entry& entry, const byte_string& path,
                            const entry_place& place) {
    // The entry rules hold the size to what one piece takes.
    char target[longest_link_target + 1];
    if (entry.size > longest_link_target) return broken();
    if (!read_exactly(archive_, target, entry.size)) return broken();
    target[entry.size] = '\0';
    if (symlinkat(target, place.directory(), place.leaf()) != 0) return disk_error(entry);
    p_.files.insert(path);
    return true;
}

bool extraction::place_file(const archive_entry& entry, const byte_string& path,
                            const entry_place& place) {
    file_out_stream out(place.create_file());
    if (!out.is_open()) return disk_error(entry);
    p_.files.insert(path);
    char piece[copy_piece];
    std::uint32_t left = entry.size;
    while (left > 0) {
        const std::uint32_t step = left < copy_piece ? left : copy_piece;
        if (!read_exactly(archive_, piece, step)) return broken();
        out.write(piece, step);
        if (out.failed()) return disk_error(entry);
        left -= step;
    }
    out.flush();
    if (out.failed()) return disk_error(entry);
    out.close();
    if (out.failed()) return disk_error(entry);
    return true;
}

bool extraction::place_device(const archive_entry& entry, const byte_string& path,
                              const entry_place& place) {
    if (entry.size != device_data_size) return broken();
    unsigned char raw[device_data_size];
    if (!read_exactly(archive_, reinterpret_cast<char*>(raw), device_data_size)) return broken();
    if (mknodat(place.directory(), place.leaf(), entry.mode,
                static_cast<dev_t>(decode_device_number(raw))) != 0) {
        return disk_error(entry);
    }
    p_.files.insert(path);
    return true;
}

// Takes back what a failed install placed. An untracked package has no
// entry of its own: the entry of its name belongs to the tracked package
// installed under it, whose scripts and database entry must stay.
void undo_install(repo& r, installed_package& p, bool tracked) {
    if (tracked) {
        uninstall(r, p);
    } else {
        remove_files(r, p);
    }
}

bool store_script_part(repo& r, installed_package& p, package_reader& reader, const char* script,
                       bool tracked) {
    if (!store_script(r, p, reader, script)) {
        report_disk_error(r, p, script);
        undo_install(r, p, tracked);
        return false;
    }
    reader.next_part();
    return true;
}

}  // namespace

void show_install_progress(repo& r, const installed_package& p, package_reader& reader) {
    byte_string text("installing ");
    if (p.disabled && p.bundle_name.empty()) text.append(" (disabled) ");
    text.append(display_label(p));
    text.append(" [");
    std::int64_t width = progress_columns - static_cast<std::int64_t>(text.length());
    if (width < 0) width = 0;
    std::int64_t offset = reader.tell_get();
    if (offset < 0) offset = 0;
    const std::uint64_t done = reader.payload_offset() + static_cast<std::uint64_t>(offset);
    std::uint64_t filled = done * static_cast<std::uint64_t>(width) / reader.total_size();
    // A container that declares less than it holds must not overrun the bar.
    if (filled > static_cast<std::uint64_t>(width)) filled = static_cast<std::uint64_t>(width);
    text.append(static_cast<std::size_t>(filled), '#');
    text.append(static_cast<std::size_t>(width) - static_cast<std::size_t>(filled), ' ');
    text.append("]");
    r.messages.set_progress(text);
}

bool extract_files(repo& r, installed_package& p, package_reader& reader, bool overwrite) {
    if (p.disabled) {
        const byte_string prefix = disabled_prefix(p);
        make_directories(prefix);
        make_directories(prefix + "/var/pdb/" + p.name);
    }
    extraction run(r, p, reader, overwrite);
    return run.run();
}

bool install_body(repo& r, installed_package& p, package_reader& reader) {
    const bool tracked = !reader.is_untracked();
    show_install_progress(r, p, reader);
    if (tracked && !create_entry_directory(r, p)) return false;
    if (reader.current_type() == part_oninstall &&
        !store_script_part(r, p, reader, "oninstall", tracked)) {
        return false;
    }
    if (reader.current_type() == part_onuninstall &&
        !store_script_part(r, p, reader, "onuninstall", tracked)) {
        return false;
    }
    if (reader.current_type() == part_files) {
        if (!extract_files(r, p, reader, !tracked)) {
            undo_install(r, p, tracked);
            return false;
        }
        reader.next_part();
    }
    if (tracked && !write_metadata(r, p)) {
        undo_install(r, p, tracked);
        return false;
    }
    sync();
    if (!p.disabled) run_script(r, p, "oninstall");
    if (!p.bundle_name.empty()) return true;
    r.messages.set_progress(byte_string());
    r.messages.say_info("installed %s%s", p.disabled ? "(disabled) " : "", package_label(p).text());
    return true;
}
