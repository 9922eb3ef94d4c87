#include "tests/system/sandbox_cable.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>

namespace bootsetup_sandbox {

namespace {

std::string link_text(const std::string& path) {
    char target[256] = {0};
    ssize_t n = readlink(path.c_str(), target, sizeof target - 1);
    return n > 0 ? std::string(target, static_cast<std::size_t>(n)) : std::string();
}

std::string quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// The path by which this process's open descriptor FD can be named to a
// child program: "ip" and "nsenter" take a namespace by path.
std::string descriptor_path(int fd) {
    return "/proc/" + std::to_string(getpid()) + "/fd/" + std::to_string(fd);
}

}  // namespace

cable::cable(const machine& a, const std::string& mac_a, const machine& b,
             const std::string& mac_b) {
    const machine* ends[2] = {&a, &b};
    const std::string host = link_text("/proc/self/ns/net");
    std::string seen[2];
    for (int i = 0; i < 2; ++i) {
        pid_t pid = ends[i]->init_pid();
        if (pid <= 0) {
            failure_ = "a machine of the cable is not started";
            return;
        }
        std::string net = "/proc/" + std::to_string(pid) + "/ns/net";
        namespaces_[i] = open(net.c_str(), O_RDONLY | O_CLOEXEC);
        // Named through the open descriptor from here on, so that the
        // namespace checked is the one the interface is made in.
        seen[i] = namespaces_[i] < 0 ? std::string() : link_text(descriptor_path(namespaces_[i]));
        if (seen[i].empty() || host.empty() || seen[i] == host) {
            failure_ = "refusing: a machine of the cable has no network namespace of its own";
            return;
        }
    }
    if (seen[0] == seen[1]) {
        failure_ = "refusing: both ends in one network namespace";
        return;
    }
    static int serial = 0;
    std::string stem =
        "tv" + std::to_string(getpid() % 100000) + "n" + std::to_string(++serial % 1000);
    names_[0] = stem + "a";
    names_[1] = stem + "b";
    std::string command = "ip link add " + names_[0] + " address " + quote(mac_a) + " netns " +
                          descriptor_path(namespaces_[0]) + " type veth peer name " + names_[1] +
                          " address " + quote(mac_b) + " netns " + descriptor_path(namespaces_[1]) +
                          " 2>&1";
    std::string out;
    if (shell(command, &out) != 0) failure_ = "ip link add: " + out;
}

cable::~cable() {
    for (int fd : namespaces_)
        if (fd >= 0) close(fd);
}

const std::string& cable::name(cable_end end) const {
    return names_[index(end)];
}

int cable::run_in_network(cable_end end, const std::string& command, std::string* out) const {
    if (!ready()) return -1;
    return shell(
        "nsenter --net=" + descriptor_path(namespaces_[index(end)]) + " sh -c " + quote(command),
        out);
}

bool cable::make_chain(cable_end end, const std::string& hook) {
    std::vector<std::string>& made = chains_[index(end)];
    for (const std::string& chain : made)
        if (chain == hook) return true;
    std::string script = "table netdev tarnvale {\n  chain " + hook + " {\n    type filter hook " +
                         hook + " device \"" + name(end) + "\" priority 0;\n  }\n}\n";
    std::string out;
    if (run_in_network(end, "printf %s " + quote(script) + " | nft -f - 2>&1", &out) != 0) {
        failure_ = "nft: " + out;
        return false;
    }
    made.push_back(hook);
    return true;
}

bool cable::add_rule(cable_end end, const std::string& hook, const std::string& rule) {
    if (!ready() || !make_chain(end, hook)) return false;
    std::string out;
    if (run_in_network(end, "nft add rule netdev tarnvale " + hook + " " + rule + " 2>&1", &out) !=
        0) {
        failure_ = "nft: " + out;
        return false;
    }
    return true;
}

long long cable::counted(cable_end end, const std::string& hook) const {
    std::string listing;
    if (run_in_network(end, "nft list chain netdev tarnvale " + hook + " 2>/dev/null", &listing) !=
        0)
        return -1;
    long long total = 0;
    std::istringstream words(listing);
    std::string word;
    while (words >> word) {
        if (word != "packets") continue;
        long long n = 0;
        if (words >> n) total += n;
    }
    return total;
}

long long cable::received_bytes(cable_end end) const {
    std::string table;
    if (run_in_network(end, "cat /proc/net/dev", &table) != 0) return -1;
    std::istringstream lines(table);
    std::string line;
    while (std::getline(lines, line)) {
        std::size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        std::string interface = line.substr(0, colon);
        interface.erase(0, interface.find_first_not_of(' '));
        if (interface == name(end)) return std::atoll(line.c_str() + colon + 1);
    }
    return -1;
}

}  // namespace bootsetup_sandbox
