#include "floppy/crc32.h"

namespace {

struct crc32_table {
    std::uint32_t entries[256];
    crc32_table() {
        for (std::uint32_t byte = 0; byte < 256; ++byte) {
            std::uint32_t value = byte;
            for (int bit = 0; bit < 8; ++bit)
                value = value & 1 ? (value >> 1) ^ 0xEDB88320u : value >> 1;
            entries[byte] = value;
        }
    }
};

const crc32_table& table() {
    static const crc32_table built;
    return built;
}

}  // namespace

std::uint32_t crc32_update(std::uint32_t previous, const void* data, std::size_t length) {
    const std::uint32_t* entries = table().entries;
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    std::uint32_t crc = ~previous;
    for (std::size_t i = 0; i < length; ++i) crc = entries[(crc ^ bytes[i]) & 0xff] ^ (crc >> 8);
    return ~crc;
}
