// One end of a remote installation dies in the middle of a package. The
// link stalls first: an nftables quota on the client's cable drops every
// datagram once 300 KB have reached the client, which is inside the first
// large package; then one machine is powered off, its end of the cable
// staying plugged in. The other end notices by its own time-outs.

#include <unistd.h>

#include "tests/system/remote_fixture.h"

namespace {

using namespace remote_test;

struct failure_case {
    const char* name;
    bool server_dies;  // else the client
};

void PrintTo(const failure_case& c, std::ostream* out) {
    *out << c.name;
}

class remote_failure : public ::testing::TestWithParam<failure_case> {};

TEST_P(remote_failure, the_survivor_gives_up_after_its_time_outs) {
    const failure_case& c = GetParam();
    std::string why = bootsetup_sandbox::unavailable_reason();
    if (!why.empty()) GTEST_SKIP() << why;

    server_machine server;
    client_machine client;
    fs::path work = client.box.work_dir();
    server.boot(make_cd(work));
    client.boot("stall\n");
    if (HasFatalFailure()) return;
    cable wire(server.box, server_mac(1, 1), client.box, client_mac(1));
    ASSERT_TRUE(wire.ready()) << wire.failure();
    ASSERT_TRUE(
        wire.add_rule(cable_end::b, "ingress", "udp dport 5000 quota over 300 kbytes counter drop"))
        << wire.failure();
    release({&server.box, &client.box});

    ASSERT_TRUE(client.box.expect("Waiting for installation server...\n")) << client.box.screen();
    server.open_router_list();
    if (HasFatalFailure()) return;
    ASSERT_TRUE(server.box.expect("Found 1 router: \n\n")) << server.box.unread();
    server.box.send("\n");
    server.answer({});
    if (HasFatalFailure()) return;
    ASSERT_TRUE(server.box.expect("Formating and partitioning harddisk...\n"))
        << server.box.unread();
    ASSERT_TRUE(server.box.expect("Transfering: ", 120000)) << server.box.unread();

    // The first datagram over the quota is the stall.
    auto stalled = std::chrono::steady_clock::now();
    while (wire.counted(cable_end::b, "ingress") < 1) {
        ASSERT_LT(seconds_since(stalled), 60.0) << server.box.screen();
        usleep(50000);
    }
    stalled = std::chrono::steady_clock::now();
    machine& dead = c.server_dies ? server.box : client.box;
    machine& survivor = c.server_dies ? client.box : server.box;
    ASSERT_TRUE(dead.power_off());
    ASSERT_TRUE(dead.wait(10000));

    if (c.server_dies) {
        // 30 s without the next data packet.
        ASSERT_TRUE(survivor.expect("\nFATAL ERROR: bad network connection\n", 60000))
            << survivor.unread();
        EXPECT_GT(seconds_since(stalled), 25.0);
        EXPECT_LT(seconds_since(stalled), 45.0);
        ASSERT_TRUE(survivor.expect("Press ENTER to reboot\n")) << survivor.unread();
        survivor.send("\n");
        ASSERT_TRUE(survivor.wait(30000));
        EXPECT_TRUE(survivor.rebooted());
        EXPECT_EQ(survivor.screen().find("Software installed."), std::string::npos)
            << survivor.screen();
        disk_contents after = read_disk(*client.disk, work);
        ASSERT_EQ(after.trees.count(1), 1u) << after.table;
        EXPECT_FALSE(facts(after.trees[1] / "CDINSTALL").exists);
        EXPECT_FALSE(facts(after.trees[1] / "autorun.scr").exists);
    } else {
        // The same data packet sent 30 times: 20, 40 ... 640 ms, then
        // 1280 ms waits, about 32 s.
        ASSERT_TRUE(survivor.expect("FATAL ERROR: Installation timeout\n", 60000))
            << survivor.unread();
        EXPECT_GT(seconds_since(stalled), 25.0);
        EXPECT_LT(seconds_since(stalled), 45.0);
        EXPECT_EQ(wire.counted(cable_end::b, "ingress"), 30);
        EXPECT_EQ(survivor.screen().find("Software installed."), std::string::npos)
            << survivor.screen();
        server.leave();
    }
}

const failure_case failure_cases[] = {
    {"server_dies_in_a_package", true},
    {"client_stops_answering", false},
};

INSTANTIATE_TEST_SUITE_P(cases, remote_failure, ::testing::ValuesIn(failure_cases),
                         [](const ::testing::TestParamInfo<failure_case>& info) {
                             return info.param.name;
                         });

}  // namespace
