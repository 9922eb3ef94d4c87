// Two installation servers offer to the same router at once, each on its
// own cable to one of the router's two interfaces: the router takes one
// offer, that server installs it, and the other gives up after its ten
// offers with "No response from router (press any key)".

#include "tests/system/remote_fixture.h"

namespace {

using namespace remote_test;

TEST(remote_two_servers, one_installs_the_other_gives_up) {
    std::string why = bootsetup_sandbox::unavailable_reason();
    if (!why.empty()) GTEST_SKIP() << why;

    server_machine servers[2];
    client_machine client;
    fs::path work = client.box.work_dir();
    fs::path cd = make_cd(work);
    for (server_machine& server : servers) server.boot(cd);
    client.boot("twin\n");
    if (HasFatalFailure()) return;
    cable first(servers[0].box, server_mac(1, 1), client.box, client_mac(1));
    cable second(servers[1].box, server_mac(2, 1), client.box, client_mac(2));
    ASSERT_TRUE(first.ready()) << first.failure();
    ASSERT_TRUE(second.ready()) << second.failure();
    release({&servers[0].box, &servers[1].box, &client.box});
    ASSERT_TRUE(client.box.expect("mac-address: " + client_mac(1) +
                                  "\nmac-address: " + client_mac(2) + "\ndisk label: twin\n"))
        << client.box.screen();

    const std::vector<std::string> answers[2] = {{"10.0.1.1", "24", "0.0.0.0", "9600"},
                                                 {"10.0.2.1", "24", "0.0.0.0", "9600"}};
    for (int i = 0; i < 2; ++i) {
        servers[i].open_router_list();
        if (HasFatalFailure()) return;
        ASSERT_TRUE(servers[i].box.expect("Found 1 router: \n\n")) << servers[i].box.unread();
        ASSERT_TRUE(servers[i].box.expect(client_mac(i + 1) + "(twin)")) << servers[i].box.unread();
        servers[i].box.send("\n");
        servers[i].answer(answers[i]);
        if (HasFatalFailure()) return;
    }
    // Both offers go out together.
    servers[0].box.send("\n");
    servers[1].box.send("\n");

    ASSERT_TRUE(client.box.expect("Found server at ")) << client.box.unread();
    ASSERT_TRUE(client.box.expect("\n")) << client.box.unread();
    std::string server_address = client.box.last_expected();
    int winner = server_address == server_mac(1, 1) + "\n" ? 0 : 1;
    ASSERT_EQ(server_address, server_mac(winner + 1, 1) + "\n");
    server_machine& installing = servers[winner];
    server_machine& refused = servers[1 - winner];

    ASSERT_TRUE(installing.box.expect("Formating and partitioning harddisk...\n"))
        << installing.box.unread();
    ASSERT_TRUE(refused.box.expect("\n\nSending offer...\n")) << refused.box.unread();
    auto offered = std::chrono::steady_clock::now();
    ASSERT_TRUE(refused.box.expect("No response from router (press any key)\n", 40000))
        << refused.box.unread();
    // Ten offers, a second apart.
    EXPECT_GT(seconds_since(offered), 8.0);
    EXPECT_EQ(refused.box.last_expected().find("Formating"), std::string::npos);
    refused.box.send("x");
    refused.leave();

    ASSERT_TRUE(installing.box.expect("\nSoftware installed.\nPress ENTER to reboot\n", 180000))
        << installing.box.unread();
    ASSERT_TRUE(client.box.expect("Software installed.\nPress ENTER to reboot\n", 60000))
        << client.box.unread();
    // This time the router's operator ends the conversation.
    client.box.send("\n");
    ASSERT_TRUE(client.box.wait(30000)) << client.box.unread();
    EXPECT_TRUE(client.box.rebooted());
    installing.leave();

    std::string script = expected_script(client_mac(winner + 1), answers[winner]);
    check_installed_disk(*client.disk, work, installing.transfers(), &script);
    EXPECT_TRUE(refused.transfers().empty());
}

}  // namespace
