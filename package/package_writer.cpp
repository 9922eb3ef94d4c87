#include "package/package_writer.h"

#include "package/format.h"

package_writer::package_writer(const char* path, bool untracked)
    : file_out_stream(path, 0), magic_(untracked ? magic_untracked : magic_tracked) {}

package_writer::~package_writer() {
    close();
}

// A part left open when the next begins, or when the file is finished, is
// ended first: its header would otherwise stay zero and no reader could pass
// it.
package_writer& package_writer::begin_part(std::uint16_t type) {
    if (!good()) return *this;
    if (open_type_ != 0) end_part();
    if (!good()) return *this;
    // The file header is written last, when the size is known; its room is
    // left as a hole before the first part.
    if (part_position_ == 0) seek_put(file_header_size);
    finished_ = false;
    open_type_ = type;
    part_position_ = tell_put();
    seek_put(part_header_size, seek_current);
    return *this;
}

package_writer& package_writer::end_part() {
    if (!good() || open_type_ == 0) return *this;
    const std::int64_t end = tell_put();
    seek_put(part_position_);
    unsigned char header[part_header_size];
    store_u16(header, open_type_);
    store_u32(header + 2, static_cast<std::uint32_t>(end - part_position_ - part_header_size));
    write(header, part_header_size);
    seek_put(end);
    open_type_ = 0;
    return *this;
}

package_writer& package_writer::finish() {
    if (!good()) return *this;
    if (open_type_ != 0) end_part();
    if (!good()) return *this;
    std::int64_t end = tell_put();
    // A container without parts is still a whole file header.
    if (end < file_header_size) end = file_header_size;
    seek_put(0);
    unsigned char header[file_header_size];
    store_u32(header, magic_);
    store_u32(header + 4, static_cast<std::uint32_t>(end - file_header_size));
    write(header, file_header_size);
    seek_put(end);
    finished_ = good();
    return *this;
}

void package_writer::close() {
    if (!is_open()) return;
    if (!finished_) finish();
    file_out_stream::close();
}
