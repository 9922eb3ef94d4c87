// The text-to-version parser must accept only what version_text can print
// back, and never read past its input.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "package/version.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    std::uint32_t version = 0;
    if (!parse_version(text.c_str(), &version)) return 0;
    // What parses must print and parse back to the same number.
    std::string printed = version_text(version);
    std::uint32_t again = 0;
    if (!parse_version(printed.c_str(), &again) || again != version) std::abort();
    return 0;
}
