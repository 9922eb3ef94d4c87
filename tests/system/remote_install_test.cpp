// A router installed over Ethernet from another: the server boots a CD-ROM
// and its operator presses 'r', picks the waiting router from the list and
// answers the configuration questions; the client boots network media,
// prepares its disk and installs every package as it arrives. Afterwards
// the client's disk is read on the host.

#include <unistd.h>

#include "tests/system/remote_fixture.h"

namespace {

using namespace remote_test;

struct install_case {
    const char* name;
    // The four answers (address, netmask bits, gateway, baud rate); none
    // means "y" to keeping the old configuration.
    std::vector<std::string> answers;
    bool old_system;
    int client_interfaces;  // each on its own cable to the server
    // nftables rules on the client's end of the first cable: "ingress" for
    // what it receives, "egress" for what it sends.
    std::vector<std::pair<std::string, std::string>> rules;
    const char* label_file;
    const char* label;
};

void PrintTo(const install_case& c, std::ostream* out) {
    *out << c.name;
}

class remote_install : public ::testing::TestWithParam<install_case> {};

// The old system on the client's disk: a configuration to carry over.
void make_old_system(const fs::path& tree) {
    put(tree / "vesk/store/network.conf", "eth0 10.9.9.9/24\n", 0640);
    std::string rules;
    for (int i = 0; rules.size() < 30000; ++i) rules += "rule " + std::to_string(i) + " drop\n";
    put(tree / "vesk/store/firewall/rules", rules);
    put(tree / "etc/old-only", "from the old system\n");
}

// The MACs of the router lines of the list drawn last, head first.
std::vector<std::string> listed_macs(machine& server, int count) {
    std::vector<std::string> macs;
    static const std::regex mac("[0-9A-F]{2}(:[0-9A-F]{2}){5}");
    for (int i = 0; i < count; ++i) {
        EXPECT_TRUE(server.expect(" ID: ")) << server.unread();
        std::smatch found;
        std::string line = server.last_expected();
        if (std::regex_search(line, found, mac)) macs.push_back(found.str());
    }
    return macs;
}

TEST_P(remote_install, completes_and_leaves_the_client_disk_installed) {
    const install_case& c = GetParam();
    std::string why = bootsetup_sandbox::unavailable_reason();
    if (!why.empty()) GTEST_SKIP() << why;

    server_machine server;
    client_machine client;
    fs::path work = server.box.work_dir();
    fs::path cd = make_cd(work);
    server.boot(cd);
    if (c.old_system) {
        client.make_disk();
        make_old_system(work / "old");
        install_old_system(*client.disk, work / "old");
    }
    client.boot(c.label_file);
    if (HasFatalFailure()) return;

    std::vector<std::unique_ptr<cable>> cables;
    for (int i = 1; i <= c.client_interfaces; ++i) {
        cables.push_back(
            std::make_unique<cable>(server.box, server_mac(1, i), client.box, client_mac(i)));
        ASSERT_TRUE(cables.back()->ready()) << cables.back()->failure();
    }
    cable& first = *cables.front();
    for (const auto& [hook, rule] : c.rules)
        ASSERT_TRUE(first.add_rule(cable_end::b, hook, rule)) << first.failure();
    release({&server.box, &client.box});

    // The client names every interface and its label, then waits.
    for (int i = 1; i <= c.client_interfaces; ++i)
        ASSERT_TRUE(client.box.expect("mac-address: " + client_mac(i) + "\n"))
            << client.box.screen();
    ASSERT_TRUE(client.box.expect("disk label: " + std::string(c.label) + "\n\n"))
        << client.box.unread();
    ASSERT_TRUE(client.box.expect("Waiting for installation server...\n")) << client.box.unread();

    server.open_router_list(c.client_interfaces);
    if (HasFatalFailure()) return;
    std::string chosen = client_mac(1);
    if (c.client_interfaces == 1) {
        ASSERT_TRUE(server.box.expect("Found 1 router: \n\n")) << server.box.unread();
        ASSERT_TRUE(server.box.expect(" ID: ")) << server.box.unread();
        EXPECT_NE(server.box.last_expected().find(chosen + "(" + c.label + ")"), std::string::npos)
            << server.box.last_expected();
    } else {
        // The client announces itself on both interfaces: two routers. The
        // oldest of them, at the foot of the list, is chosen.
        ASSERT_TRUE(server.box.expect("Found 2 routers: \n\n")) << server.box.unread();
        server.box.send("n");
        ASSERT_TRUE(server.box.expect("Found 2 routers: \n\n")) << server.box.unread();
        std::vector<std::string> macs = listed_macs(server.box, 2);
        ASSERT_EQ(macs.size(), 2u);
        EXPECT_NE(macs[0], macs[1]);
        chosen = macs[1];
    }
    int link = chosen.back() - '0';
    server.box.send("\n");
    server.answer(c.answers);
    if (HasFatalFailure()) return;
    if (!c.answers.empty()) server.box.send("\n");

    ASSERT_TRUE(server.box.expect("\n\nSending offer...\n")) << server.box.unread();
    ASSERT_TRUE(server.box.expect("Formating and partitioning harddisk...\n"))
        << server.box.unread();
    ASSERT_TRUE(client.box.expect("Found server at " + server_mac(1, link) + "\n"))
        << client.box.unread();
    if (c.old_system) {
        ASSERT_TRUE(client.box.expect("Reading old configuration...")) << client.box.unread();
        ASSERT_TRUE(client.box.expect("Writing back old configuration...")) << client.box.unread();
    }
    ASSERT_TRUE(server.box.expect("Transfering: configuration...\n", 180000))
        << server.box.unread();
    ASSERT_TRUE(server.box.expect("\nSoftware installed.\nPress ENTER to reboot\n"))
        << server.box.unread();
    ASSERT_TRUE(client.box.expect("Software installed.\nPress ENTER to reboot\n", 60000))
        << client.box.unread();
    EXPECT_EQ(c.answers.empty(),
              client.box.last_expected().find("Writing configuration...\n") == std::string::npos)
        << client.box.last_expected();

    // The operator at the server ends the conversation; the client reboots.
    server.box.send("\n");
    ASSERT_TRUE(client.box.wait(30000)) << client.box.unread();
    EXPECT_TRUE(client.box.rebooted()) << client.box.unread();
    server.leave();
    EXPECT_EQ(client.box.screen().find("ERROR"), std::string::npos) << client.box.screen();
    EXPECT_EQ(server.box.screen().find("ERROR"), std::string::npos) << server.box.screen();
    EXPECT_EQ(client.box.insmod_log().find("fat\nvfat\n"), 0u) << client.box.insmod_log();

    std::vector<std::string> sent = server.transfers();
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(sent.back(), "configuration");
    EXPECT_EQ(sent.size(), remote_packages().size() + 1);
    std::string script = c.answers.empty() ? "" : expected_script(chosen, c.answers);
    fs::path root =
        check_installed_disk(*client.disk, work, sent, c.answers.empty() ? nullptr : &script);
    if (root.empty()) return;
    if (c.old_system) {
        EXPECT_EQ(slurp(root / "vesk/store/network.conf"), "eth0 10.9.9.9/24\n");
        EXPECT_EQ(facts(root / "vesk/store/network.conf").mode, 0640u);
        EXPECT_EQ(slurp(root / "vesk/store/firewall/rules"),
                  slurp(work / "old/vesk/store/firewall/rules"));
        EXPECT_FALSE(fs::exists(root / "etc/old-only"));
    } else {
        EXPECT_FALSE(fs::exists(root / "vesk/store"));
    }
    // Every rule did drop something.
    for (const auto& [hook, rule] : c.rules)
        EXPECT_GT(first.counted(cable_end::b, hook), 0) << rule;
    if (c.client_interfaces > 1) {
        // The packages came on the chosen interface only.
        for (int i = 1; i <= c.client_interfaces; ++i) {
            long long bytes = cables[static_cast<std::size_t>(i - 1)]->received_bytes(cable_end::b);
            if (i == link)
                EXPECT_GT(bytes, 1000000) << i;
            else
                EXPECT_LT(bytes, 100000) << i;
        }
    }
}

const install_case install_cases[] = {
    {"configured",
     {"10.1.2.3", "16", "10.1.0.1", "19200"},
     false,
     1,
     {},
     "my router\n",
     "myrouter"},
    {"kept_configuration", {}, true, 1, {}, "edge-7\r\n", "edge-7"},
    {"two_client_interfaces",
     {"172.16.0.5", "24", "0.0.0.0", "9600"},
     false,
     2,
     {},
     "",
     "tarnvale"},
    // Every 7th datagram that reaches the client and every 11th that it
    // sends are lost, in a fixed pattern.
    {"lossy_link",
     {"192.168.7.1", "30", "192.168.7.2", "0"},
     false,
     1,
     {{"ingress", "udp dport 5000 numgen inc mod 7 == 0 counter drop"},
      {"egress", "udp dport 5000 numgen inc mod 11 == 0 counter drop"}},
     "lossy\n",
     "lossy"},
    // The server's acknowledgement of STRT (a bare header, acknowledging
    // 3) is lost once: the client sends STRT again while the server has
    // gone on to its first FILE message.
    {"start_acknowledgement_lost",
     {"10.5.5.5", "8", "0.0.0.0", "9600"},
     false,
     1,
     {{"ingress",
       "udp dport 5000 udp length 28 @th,208,16 0x0300 numgen inc mod 1000 == 0 counter drop"}},
     "start\n",
     "start"},
};

INSTANTIATE_TEST_SUITE_P(cases, remote_install, ::testing::ValuesIn(install_cases),
                         [](const ::testing::TestParamInfo<install_case>& info) {
                             return info.param.name;
                         });

}  // namespace
