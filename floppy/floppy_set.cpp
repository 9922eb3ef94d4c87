#include "floppy/floppy_set.h"

#include <sys/mount.h>

#include <cerrno>
#include <cstring>

#include "base/little_endian.h"
#include "base/programs.h"
#include "floppy/crc32.h"
#include "floppy/progress_bar.h"

namespace {

constexpr int enter_key = 10;
constexpr std::size_t output_piece_bytes = 4096;

// A group as read from the floppy: the payloads one after the other, and
// each block's stored check value.
struct block_group {
    byte_string payloads;
    byte_string checks;
};

bool header_accepted(const floppy_header& record, const floppy_header& header) {
    if (header.magic != floppy_magic) return false;
    // The first accepted header fixes the set for the whole installation.
    if (record.magic == floppy_magic && header.set_id != record.set_id) return false;
    return floppy_geometry_usable(header);
}

bool read_header(std::FILE* part, floppy_header& record) {
    unsigned char bytes[floppy_header_bytes];
    if (std::fread(bytes, 1, sizeof bytes, part) != sizeof bytes) return false;
    floppy_header header;
    decode_floppy_header(bytes, header);
    if (!header_accepted(record, header)) return false;
    // A floppy of the set whose groups are too big to hold is still of the
    // set: its header is taken, only its data is refused.
    record = header;
    return floppy_group_fits(header);
}

bool read_group(std::FILE* part, const floppy_header& header, block_group& group) {
    const std::size_t payload = payload_bytes(header);
    for (std::size_t block = 0; block < header.group_blocks; ++block) {
        if (std::fread(group.payloads.data() + block * payload, 1, payload, part) != payload)
            return false;
        char* check = group.checks.data() + block * block_check_bytes;
        if (std::fread(check, 1, block_check_bytes, part) != block_check_bytes) return false;
    }
    return true;
}

void log_recovery(std::size_t block) {
    std::FILE* log = std::fopen(log_device, "a");
    if (log == nullptr) return;
    std::fprintf(log, "Recovering bad block #%d\n", static_cast<int>(block));
    std::fclose(log);
}

// With all other payloads of the group intact, the XOR of all payloads is
// zero, so the missing one is the XOR of the others.
void rebuild_block(const floppy_header& header, block_group& group, std::size_t bad) {
    const std::size_t payload = payload_bytes(header);
    char* target = group.payloads.data() + bad * payload;
    std::memset(target, 0, payload);
    for (std::size_t block = 0; block < header.group_blocks; ++block) {
        if (block == bad) continue;
        const char* source = group.payloads.data() + block * payload;
        for (std::size_t i = 0; i < payload; ++i) target[i] ^= source[i];
    }
}

bool check_group(const floppy_header& header, block_group& group) {
    const std::size_t payload = payload_bytes(header);
    std::size_t bad = header.group_blocks;
    for (std::size_t block = 0; block < header.group_blocks; ++block) {
        const std::uint32_t crc = crc32_update(0, group.payloads.data() + block * payload, payload);
        const auto* check = reinterpret_cast<const unsigned char*>(group.checks.data());
        if (crc == load_u32(check + block * block_check_bytes)) continue;
        if (bad != header.group_blocks) return false;
        bad = block;
    }
    if (bad >= data_blocks(header)) return true;
    if (header.parity_blocks != 1) return false;
    log_recovery(bad);
    rebuild_block(header, group, bad);
    return true;
}

std::uint32_t total_steps(const floppy_header& header) {
    const std::uint64_t blocks =
        (std::uint64_t{header.data_length} + header.block_size - 1) / header.block_size;
    const std::uint64_t per_group = data_blocks(header);
    return static_cast<std::uint32_t>((blocks + per_group - 1) / per_group + 2);
}

bool read_data(std::FILE* part, const floppy_header& header, byte_string& data, progress_bar& bar) {
    const std::size_t payload = payload_bytes(header);
    block_group group;
    group.payloads.resize(payload * header.group_blocks);
    group.checks.resize(block_check_bytes * header.group_blocks);
    while (data.length() < header.data_length) {
        if (!read_group(part, header, group) || !check_group(header, group)) return false;
        step_progress(bar);
        for (std::size_t block = 0; block < data_blocks(header); ++block) {
            const std::size_t missing = header.data_length - data.length();
            if (missing == 0) break;
            data.append(group.payloads.data() + block * payload,
                        missing < payload ? missing : payload);
        }
    }
    return true;
}

bool write_data(std::FILE* output, const byte_string& data, progress_bar& bar) {
    std::size_t written = 0;
    while (written < data.length()) {
        const std::size_t rest = data.length() - written;
        const std::size_t piece = rest < output_piece_bytes ? rest : output_piece_bytes;
        if (std::fwrite(data.data() + written, 1, piece, output) != piece) return false;
        written += piece;
        if (data.length() - written < data.length() / 2) step_progress(bar);
    }
    // A broken pipe may only show when stdio's buffer goes out.
    return std::fflush(output) == 0;
}

std::int64_t copy_part(floppy_header& record, std::FILE* part, std::FILE* output,
                       progress_bar& bar) {
    if (!read_header(part, record)) return 0;
    std::printf("Installing part %d of %d...\n", record.part_index + 1, record.part_count);
    show_progress(bar);
    bar.total = total_steps(record);
    // The whole part is checked before any of it goes out, so that a
    // floppy found bad can be replaced without the installer ever seeing
    // damaged data.
    byte_string data;
    if (!read_data(part, record, data, bar)) return 0;
    if (!write_data(output, data, bar)) return -1;
    update_progress(bar, bar.total);
    return record.data_length;
}

}  // namespace

byte_string ordinal_text(unsigned number) {
    static const char* const first[] = {"1st", "2nd", "3rd"};
    if (number >= 1 && number <= 3) return byte_string(first[number - 1]);
    char text[16];
    std::snprintf(text, sizeof text, "%uth", number);
    return byte_string(text);
}

std::FILE* open_floppy_part(floppy_header&, unsigned k, floppy_prompter& prompter) {
    char path[64];
    std::snprintf(path, sizeof path, "/floppy/tarnvale.n%2.2u", k);
    for (;;) {
        // The boot floppy is the first of the set, so part 0 is the 2nd.
        std::printf("Please insert %s installation floppy.\n", ordinal_text(k + 2).text());
        std::puts("Press ENTER when ready");
        prompter.wait_for_key(enter_key);
        std::puts("");
        if (mount("/dev/fd0", "/floppy", "vfat", 0, nullptr) != 0) {
            std::puts("ERROR: No floppy, or bad floppy");
            std::puts("");
            continue;
        }
        std::FILE* part = std::fopen(path, "r");
        if (part != nullptr) return part;
        if (errno != ENOENT) return nullptr;
        std::puts("Wrong floppy!");
        umount("/floppy");
        std::puts("");
    }
}

std::int64_t install_part(floppy_header& record, std::FILE* part, std::FILE* output) {
    progress_bar bar;
    const std::int64_t result = copy_part(record, part, output, bar);
    end_progress(bar);
    return result;
}
