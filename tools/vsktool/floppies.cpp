#include <getopt.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "base/little_endian.h"
#include "floppy/crc32.h"
#include "floppy/floppy_header.h"
#include "tools/vsktool/commands.h"
#include "tools/vsktool/options.h"

namespace {

const char usage[] = "vsktool floppies [options] OUTDIR PACKAGE.vsk...";

const char help[] =
    "Cuts the package stream made of the given files, one after the other, into\n"
    "the part files of a floppy set: OUTDIR/tarnvale.n00, tarnvale.n01, ..., one\n"
    "for each floppy after the boot floppy. Every block carries a CRC-32 of its\n"
    "payload, every group of blocks ends with its parity blocks. OUTDIR is\n"
    "created when it does not exist.\n"
    "  --set-id N          identifier shared by the floppies of the set\n"
    "                      (default: the CRC-32 of the stream)\n"
    "  --block-size N      bytes per block, the 4-byte check included (default 1024)\n"
    "  --group-blocks N    blocks per group, parity included (default 16)\n"
    "  --parity-blocks N   parity blocks per group (default 1; the installation\n"
    "                      repairs a bad block only with exactly 1)\n"
    "  --floppy-bytes N    room for the part file on one floppy (default 1457664,\n"
    "                      a formatted 1.44 MB floppy)\n";

enum : int {
    option_set_id = 256,
    option_block_size,
    option_group_blocks,
    option_parity_blocks,
    option_floppy_bytes,
    option_help,
};

struct floppies_request {
    bool own_set_id = false;
    std::uint32_t set_id = 0;
    std::uint32_t block_size = 1024;
    std::uint32_t group_blocks = 16;
    std::uint32_t parity_blocks = 1;
    std::uint32_t floppy_bytes = 1457664;
    const char* directory = nullptr;
    int first_input = 0;
};

std::uint32_t* number_field(floppies_request& request, int code) {
    switch (code) {
        case option_set_id:
            request.own_set_id = true;
            return &request.set_id;
        case option_block_size:
            return &request.block_size;
        case option_group_blocks:
            return &request.group_blocks;
        case option_parity_blocks:
            return &request.parity_blocks;
        case option_floppy_bytes:
            return &request.floppy_bytes;
        default:
            return nullptr;
    }
}

int check_geometry(const floppies_request& request) {
    if (request.block_size <= block_check_bytes || request.block_size > 0xffff) {
        return usage_error(usage, "--block-size must be 5 to 65535");
    }
    if (request.group_blocks == 0 || request.group_blocks > 0xffff) {
        return usage_error(usage, "--group-blocks must be 1 to 65535");
    }
    if (request.parity_blocks >= request.group_blocks) {
        return usage_error(usage, "--parity-blocks must leave a data block in each group");
    }
    if (std::uint64_t{request.block_size} * request.group_blocks > max_group_bytes) {
        return usage_error(usage, "a group (block size times blocks) must not exceed %u bytes",
                           max_group_bytes);
    }
    if (request.floppy_bytes < floppy_header_bytes + request.block_size * request.group_blocks) {
        return usage_error(usage, "--floppy-bytes leaves no room for a group");
    }
    return exit_ok;
}

int parse_floppies(int argc, char** argv, floppies_request& request) {
    static const option options[] = {
        {"set-id", required_argument, nullptr, option_set_id},
        {"block-size", required_argument, nullptr, option_block_size},
        {"group-blocks", required_argument, nullptr, option_group_blocks},
        {"parity-blocks", required_argument, nullptr, option_parity_blocks},
        {"floppy-bytes", required_argument, nullptr, option_floppy_bytes},
        {"help", no_argument, nullptr, option_help},
        {nullptr, 0, nullptr, 0},
    };
    opterr = 0;
    optind = 0;
    for (;;) {
        int code = getopt_long(argc, argv, "", options, nullptr);
        if (code == -1) break;
        if (code == option_help) {
            std::printf("usage: %s\n%s", usage, help);
            return -1;
        }
        std::uint32_t* field = number_field(request, code);
        if (field == nullptr) return usage_error(usage, "unknown option \"%s\"", argv[optind - 1]);
        if (!parse_number(optarg, field)) {
            return usage_error(usage, "%s needs a decimal number, not \"%s\"", argv[optind - 2],
                               optarg);
        }
    }
    if (argc - optind < 2)
        return usage_error(usage, "needs an output directory and at least one package");
    request.directory = argv[optind];
    request.first_input = optind + 1;
    return check_geometry(request);
}

bool read_stream(int argc, char** argv, int first, std::string& stream) {
    for (int i = first; i < argc; ++i) {
        std::FILE* input = std::fopen(argv[i], "rb");
        if (input == nullptr) {
            report(argv[i], "cannot open: %s", std::strerror(errno));
            return false;
        }
        char chunk[65536];
        std::size_t count;
        while ((count = std::fread(chunk, 1, sizeof chunk, input)) > 0) stream.append(chunk, count);
        const bool failed = std::ferror(input) != 0;
        std::fclose(input);
        if (failed) {
            report(argv[i], "cannot read");
            return false;
        }
    }
    return true;
}

void append_block(std::string& file, const std::string& payload) {
    unsigned char check[block_check_bytes];
    store_u32(check, crc32_update(0, payload.data(), payload.size()));
    file += payload;
    file.append(reinterpret_cast<const char*>(check), sizeof check);
}

// One group: the data blocks (the last one filled up with zeros), then each
// parity block holding the XOR of the data payloads.
void append_group(std::string& file, const floppy_header& header, const char* data,
                  std::size_t length) {
    const std::size_t payload = payload_bytes(header);
    std::string parity(payload, '\0');
    for (std::size_t block = 0; block < data_blocks(header); ++block) {
        std::string block_payload(payload, '\0');
        const std::size_t offset = block * payload;
        if (offset < length)
            block_payload.replace(0, std::min(payload, length - offset), data + offset,
                                  std::min(payload, length - offset));
        for (std::size_t i = 0; i < payload; ++i)
            parity[i] = static_cast<char>(parity[i] ^ block_payload[i]);
        append_block(file, block_payload);
    }
    for (std::size_t block = 0; block < header.parity_blocks; ++block) append_block(file, parity);
}

std::string part_file(const floppy_header& header, const char* data) {
    unsigned char bytes[floppy_header_bytes];
    encode_floppy_header(header, bytes);
    std::string file(reinterpret_cast<const char*>(bytes), sizeof bytes);
    const std::size_t group_data = payload_bytes(header) * data_blocks(header);
    for (std::size_t offset = 0; offset < header.data_length; offset += group_data) {
        append_group(file, header, data + offset,
                     std::min<std::size_t>(group_data, header.data_length - offset));
    }
    return file;
}

// Like "mkdir -p": missing directories on the way are made too.
bool make_directory(const char* path) {
    std::error_code error;
    std::filesystem::create_directories(path, error);
    if (error) {
        report(path, "cannot create the directory: %s", error.message().c_str());
        return false;
    }
    return true;
}

bool write_file(const std::string& path, const std::string& bytes) {
    std::FILE* output = std::fopen(path.c_str(), "wb");
    if (output == nullptr) {
        report(path.c_str(), "cannot create: %s", std::strerror(errno));
        return false;
    }
    bool written = std::fwrite(bytes.data(), 1, bytes.size(), output) == bytes.size();
    written = std::fclose(output) == 0 && written;
    if (!written) report(path.c_str(), "cannot write: %s", std::strerror(errno));
    return written;
}

}  // namespace

int run_floppies(int argc, char** argv) {
    floppies_request request;
    int parsed = parse_floppies(argc, argv, request);
    if (parsed == -1) return exit_ok;
    if (parsed != exit_ok) return parsed;
    std::string stream;
    if (!read_stream(argc, argv, request.first_input, stream)) return exit_failure;
    if (stream.empty()) {
        report(request.directory, "the packages hold no bytes; a floppy set needs at least one");
        return exit_failure;
    }
    floppy_header header = {};
    header.magic = floppy_magic;
    header.set_id =
        request.own_set_id ? request.set_id : crc32_update(0, stream.data(), stream.size());
    header.block_size = static_cast<std::uint16_t>(request.block_size);
    header.group_blocks = static_cast<std::uint16_t>(request.group_blocks);
    header.parity_blocks = static_cast<std::uint16_t>(request.parity_blocks);
    const std::uint64_t group_file_bytes = std::uint64_t{request.block_size} * request.group_blocks;
    const std::uint64_t groups = (request.floppy_bytes - floppy_header_bytes) / group_file_bytes;
    const std::uint64_t part_data = groups * payload_bytes(header) * data_blocks(header);
    const std::uint64_t parts = (stream.size() + part_data - 1) / part_data;
    if (parts > 0xffff) {
        report(request.directory, "the stream needs %llu floppies; at most 65535 fit a set",
               static_cast<unsigned long long>(parts));
        return exit_failure;
    }
    header.part_count = static_cast<std::uint16_t>(parts);
    if (!make_directory(request.directory)) return exit_failure;
    for (std::uint64_t part = 0; part < parts; ++part) {
        const std::uint64_t offset = part * part_data;
        header.part_index = static_cast<std::uint16_t>(part);
        header.data_length =
            static_cast<std::uint32_t>(std::min<std::uint64_t>(part_data, stream.size() - offset));
        char name[32];
        std::snprintf(name, sizeof name, "/tarnvale.n%2.2u", static_cast<unsigned>(part));
        if (!write_file(request.directory + std::string(name),
                        part_file(header, stream.data() + offset))) {
            return exit_failure;
        }
    }
    return exit_ok;
}
