#pragma once

#include <cstddef>
#include <cstdint>

#include "base/array.h"
#include "base/byte_string.h"
#include "base/in_stream.h"
#include "package/part_buffer.h"

// Reads a package container part by part. The stream reads only the payload
// of the current part; next_part stops only at the accepted types and passes
// over every other part.
class package_reader : public in_stream {
public:
    // Reads the file header from the source stream's buffer; a short header
    // or an unknown magic leaves the reader bad.
    explicit package_reader(in_stream& source);
    ~package_reader() override = default;

    array<std::uint32_t>& accepted_types() { return accepted_; }
    void accept(std::uint32_t type) { accepted_.push_back(type); }
    // The new current type, or -1 (then eof_bit and fail_bit are set).
    int next_part();

    [[nodiscard]] std::int32_t current_type() const { return current_type_; }
    [[nodiscard]] std::uint32_t magic() const { return magic_; }
    [[nodiscard]] bool is_untracked() const;
    [[nodiscard]] std::uint32_t total_size() const { return parts_.total_size(); }
    [[nodiscard]] std::uint32_t part_length() const { return parts_.part_length(); }
    [[nodiscard]] std::uint32_t payload_offset() const { return parts_.payload_offset(); }
    [[nodiscard]] part_buffer& parts() { return parts_; }

    // Appends the current part's payload to into, keeping at most keep
    // bytes of it, in bounded pieces (see read_in_pieces). False when the
    // payload is cut short; what arrived is appended all the same.
    [[nodiscard]] bool read_payload(byte_string& into,
                                    std::size_t keep = static_cast<std::size_t>(-1));

private:
    part_buffer parts_;
    array<std::uint32_t> accepted_;
    std::int32_t current_type_ = -1;
    std::uint32_t magic_ = 0;
};
