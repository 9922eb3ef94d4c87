#include "installer/install_body.h"

#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include "base/file_streams.h"
#include "base/in_stream.h"
#include "base/read_in_pieces.h"
#include "installer/database.h"
#include "installer/install_errors.h"
#include "installer/package_actions.h"
#include "installer/paths.h"
#include "installer/scripts.h"
#include "installer/used_files.h"
#include "package/archive_entry.h"
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

bool lacks_slash(const byte_string& name) { return name.empty() || name[0] != '/'; }

// The extraction of one archive, with what it must remember between entries.
class extraction {
public:
    extraction(repo& r, installed_package& p, package_reader& reader, bool overwrite)
        : r_(r), p_(p), reader_(reader), overwrite_(overwrite), inflater_(reader.buffer()),
          archive_(&inflater_) {}

    bool run();

private:
    bool place(const archive_entry& entry, const byte_string& path);
    bool place_link(const archive_entry& entry, const byte_string& path);
    bool place_file(const archive_entry& entry, const byte_string& path);
    bool place_device(const archive_entry& entry, const byte_string& path);
    bool clear_the_way(const archive_entry& entry, const byte_string& path);
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
        if (got == entry_read::end) break;
        if (got == entry_read::broken) return broken();
        byte_string path;
        if (p_.disabled) path = disabled_prefix(p_);
        if (lacks_slash(entry.name)) path.append("/");
        path.append(entry.name);
        if (!clear_the_way(entry, path)) {
            skip_data(archive_, entry.size);
            continue;
        }
        if (!place(entry, path)) return false;
        if (entry.type() == entry_symlink) {
            lchown(path.text(), entry.owner, entry.group);
        } else {
            chown(path.text(), entry.owner, entry.group);
            chmod(path.text(), entry.permissions());
            utimbuf times{static_cast<time_t>(entry.time), static_cast<time_t>(entry.time)};
            utime(path.text(), &times);
        }
        show_install_progress(r_, p_, reader_);
    }
    // Only now, with every entry inside them created, do the times stay.
    for (const directory_time& d : directory_times_) {
        utimbuf times{static_cast<time_t>(d.time), static_cast<time_t>(d.time)};
        utime(d.path.text(), &times);
    }
    return true;
}

// False when the entry is to be passed over: an existing directory, or a
// file another package owns.
bool extraction::clear_the_way(const archive_entry& entry, const byte_string& path) {
    struct stat st;
    if (lstat(path.text(), &st) != 0) return true;
    if (S_ISDIR(st.st_mode) && entry.type() == entry_directory) return false;
    if (!overwrite_) {
        const byte_string owner = r_.owner_of(path);
        if (!owner.empty()) {
            r_.messages.say_warning("file %s collides with %s package", path.text(),
                                    owner.text());
            return false;
        }
        r_.messages.say_warning("ghost file %s", path.text());
    }
    unlink(path.text());
    return true;
}

bool extraction::place(const archive_entry& entry, const byte_string& path) {
    switch (entry.type()) {
    case 0xa000:
        return place_link(entry, path);
    case 0x8000:
        return place_file(entry, path);
    case 0x4000:
        skip_data(archive_, entry.size);
        if (mkdir(path.text(), entry.permissions()) != 0) return disk_error(entry);
        directory_times_.push_back(directory_time{path, entry.time});
        return true;
    case 0x2000:
    case 0x6000:
        return place_device(entry, path);
    case 0x1000:
        skip_data(archive_, entry.size);
        if (mkfifo(path.text(), entry.permissions()) != 0) return disk_error(entry);
        p_.files.insert(path);
        return true;
    default:
        return broken();
    }
}

bool extraction::place_link(const archive_entry& entry, const byte_string& path) {
    // The target grows with what the archive really holds, so a damaged size
    // field cannot ask for gigabytes before the data runs out.
    byte_string target;
    if (!read_in_pieces(archive_, entry.size, target)) return broken();
    if (symlink(target.text(), path.text()) != 0) return disk_error(entry);
    p_.files.insert(path);
    return true;
}

bool extraction::place_file(const archive_entry& entry, const byte_string& path) {
    file_out_stream out(path.text());
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
    return true;
}

bool extraction::place_device(const archive_entry& entry, const byte_string& path) {
    if (entry.size != device_data_size) return broken();
    unsigned char raw[device_data_size];
    if (!read_exactly(archive_, reinterpret_cast<char*>(raw), device_data_size)) return broken();
    if (mknod(path.text(), entry.mode, static_cast<dev_t>(decode_device_number(raw))) != 0) {
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

bool store_script_part(repo& r, installed_package& p, package_reader& reader,
                       const char* script, bool tracked) {
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
    r.messages.say_info("installed %s%s", p.disabled ? "(disabled) " : "",
                        package_label(p).text());
    return true;
}
