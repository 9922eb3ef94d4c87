#include "installer/install.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/out_stream.h"
#include "installer/run_flags.h"
#include "tests/support/container_bytes.h"
#include "tests/support/memory_buffers.h"

namespace installer_test {
namespace {

// A writer feeding a package through a pipe must be able to hand over all of
// it, even when the package is unusable from its first bytes.
TEST(install_stream, reads_an_unusable_stream_to_its_end) {
    using namespace fixture;
    const std::string tail(100000, 'x');
    const std::vector<std::pair<const char*, std::string>> streams = {
        {"foreign magic", std::string(8, '\0') + tail},
        {"cut header part",
         container_bytes(part_bytes(part_package, header_record_bytes("a", 1, 0).substr(0, 20))) +
             tail},
    };
    for (const auto& [label, bytes] : streams) {
        SCOPED_TRACE(label);
        memory_source pipe(bytes, false);
        in_stream in(&pipe);
        memory_sink console;
        out_stream console_out(&console);
        repo r(console_out);
        EXPECT_EQ(install_stream(r, in, allow_upgrade, previous_state_map()), 1);
        EXPECT_EQ(pipe.position(), static_cast<std::int64_t>(bytes.size()));
        EXPECT_EQ(console.bytes(), "");
    }
}

}  // namespace
}  // namespace installer_test
