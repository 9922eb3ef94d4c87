#pragma once

// An Ethernet cable between two sandboxed machines: a veth pair whose two
// ends are made straight inside the machines' network namespaces, so that
// no end ever exists in the host's namespace, and nothing here lists or
// configures an interface of the host. The cable refuses a machine whose
// network namespace is the host's (or the other machine's).
//
// The cable keeps both namespaces alive while it exists: a machine that is
// powered off leaves its end of the cable plugged in but silent, as a dead
// router on the segment would.
//
//   machine server, client;
//   server.start(held);  client.start(held);
//   cable wire(server, "02:54:56:00:00:01", client, "02:54:56:00:00:02");
//   wire.add_rule(cable_end::b, "ingress", "udp dport 5000 numgen inc mod 7 == 0 counter drop");
//   server.release();  client.release();
//
// Rules are nftables rules on the netdev hooks of one end: "ingress" sees
// what that machine receives, "egress" what it sends.

#include <string>
#include <vector>

#include "tests/system/bootsetup_sandbox.h"

namespace bootsetup_sandbox {

enum class cable_end { a, b };

class cable {
public:
    cable(const machine& a, const std::string& mac_a, const machine& b, const std::string& mac_b);
    ~cable();
    cable(const cable&) = delete;
    cable& operator=(const cable&) = delete;

    bool ready() const { return failure_.empty(); }
    const std::string& failure() const { return failure_; }
    // The interface's name inside its machine.
    const std::string& name(cable_end end) const;

    // Appends RULE to the chain of HOOK ("ingress" or "egress") on END.
    bool add_rule(cable_end end, const std::string& hook, const std::string& rule);
    // Packets counted so far by the "counter" statements of HOOK's chain on
    // END, added up; -1 when the chain cannot be read.
    long long counted(cable_end end, const std::string& hook) const;
    // The interface's counters from the machine's /proc/net/dev.
    long long received_bytes(cable_end end) const;

    // Runs a shell command line in END's network namespace only.
    int run_in_network(cable_end end, const std::string& command, std::string* out = nullptr) const;

private:
    int index(cable_end end) const { return end == cable_end::a ? 0 : 1; }
    bool make_chain(cable_end end, const std::string& hook);

    std::string failure_;
    std::string names_[2];
    int namespaces_[2] = {-1, -1};  // open /proc/PID/ns/net of each machine
    std::vector<std::string> chains_[2];
};

}  // namespace bootsetup_sandbox
