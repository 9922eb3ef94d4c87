#include "base/read_in_pieces.h"

namespace {

constexpr std::uint32_t piece_size = 4096;

}  // namespace

bool read_in_pieces(in_stream& from, std::uint32_t count, byte_string& into, std::size_t keep) {
    char piece[piece_size];
    std::size_t kept = 0;
    while (count > 0) {
        const std::uint32_t want = count < piece_size ? count : piece_size;
        from.read(piece, want);
        const auto got = static_cast<std::size_t>(from.last_count());
        if (kept < keep) {
            const std::size_t take = got < keep - kept ? got : keep - kept;
            into.append(piece, take);
            kept += take;
        }
        if (got != want) return false;
        count -= want;
    }
    return true;
}
