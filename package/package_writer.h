#pragma once

#include <cstdint>

#include "base/file_streams.h"

// Writes a package container: room for the file header first, then each part
// with its header patched in when the part ends, and the file header patched
// at finish. Every step acts only while the stream state is 0.
class package_writer : public file_out_stream {
public:
    package_writer(const char* path, bool untracked);
    ~package_writer() override;

    package_writer& begin_part(std::uint16_t type);
    package_writer& end_part();
    package_writer& finish();
    // Finishes, then closes the file.
    void close();

    [[nodiscard]] std::uint32_t magic() const { return magic_; }

private:
    std::uint32_t magic_;
    std::uint16_t open_type_ = 0;
    std::int64_t part_position_ = 0;
    bool finished_ = false;
};
