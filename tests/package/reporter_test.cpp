#include "package/reporter.h"

#include <gtest/gtest.h>

#include "base/out_stream.h"
#include "tests/support/memory_buffers.h"

namespace {

TEST(stream_reporter, prefixes_each_kind_and_ends_the_line) {
    memory_sink sink;
    out_stream out(&sink);
    stream_reporter messages(out);
    messages.say_error("can not open %s", "/var/pdb");
    messages.say_warning("omitting package %s-%d", "p", 3);
    messages.say_info("installed %s", "base-1.0");
    out.flush();
    EXPECT_EQ(sink.bytes(),
              "ERROR: can not open /var/pdb\n"
              "WARNING: omitting package p-3\n"
              "installed base-1.0\n");
}

}  // namespace
