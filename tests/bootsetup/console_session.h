#pragma once

// Runs a piece of bootsetup in a forked child whose standard input and
// output are a pseudo-terminal (or pipes), feeds it keys and collects the
// bytes it draws. The child reports results on a side channel with report().
//
//   auto run = console_test::run_on_pty([] { console_test::report(ask_yes_no("Go?") ? "yes" :
//   "no"); },
//                                       {{"[y/n]:", "y"}});
//   EXPECT_EQ(run.output, "Go? [y/n]:y\n");

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace console_test {

struct session_result {
    std::string output;
    std::string report;
    int status = -1;
    bool timed_out = false;
};

// Once the output holds `after`, the keys are sent and `check` (if any) runs
// with the child's pid.
struct key_step {
    std::string after;
    std::string keys;
    std::function<void(pid_t)> check = nullptr;
};

inline int report_descriptor = -1;

inline void report(const std::string& text) {
    if (report_descriptor >= 0) {
        [[maybe_unused]] ssize_t written = write(report_descriptor, text.data(), text.size());
    }
}

// Output post-processing is turned off so that the bytes are the program's
// own; keys arrive one at a time unless canonical input is asked for.
inline void configure_slave(int slave, bool canonical) {
    termios settings{};
    tcgetattr(slave, &settings);
    settings.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    if (!canonical) {
        settings.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
        settings.c_cc[VMIN] = 1;
        settings.c_cc[VTIME] = 0;
    } else {
        settings.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    }
    tcsetattr(slave, TCSANOW, &settings);
}

inline void read_available(int descriptor, std::string& into) {
    char piece[4096];
    for (;;) {
        const ssize_t got = read(descriptor, piece, sizeof piece);
        if (got <= 0) return;
        into.append(piece, static_cast<std::size_t>(got));
    }
}

inline void run_child(int input, int output, int side, const std::function<void()>& body) {
    dup2(input, 0);
    dup2(output, 1);
    report_descriptor = side;
    body();
    std::fflush(stdout);
    _exit(0);
}

// Drives the child until it has ended and its output is drained, or until
// the time is up (then the child is killed).
inline session_result drive(pid_t child, int output, int input, int side,
                            const std::vector<key_step>& steps, double seconds) {
    session_result result;
    fcntl(output, F_SETFL, O_NONBLOCK);
    fcntl(side, F_SETFL, O_NONBLOCK);
    std::size_t next = 0;
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::milliseconds(static_cast<int>(seconds * 1000));
    bool ended = false;
    while (!ended) {
        pollfd wait_for{output, POLLIN, 0};
        poll(&wait_for, 1, 20);
        read_available(output, result.output);
        read_available(side, result.report);
        while (next < steps.size() && result.output.find(steps[next].after) != std::string::npos) {
            if (steps[next].check) steps[next].check(child);
            const std::string& keys = steps[next].keys;
            if (!keys.empty()) {
                [[maybe_unused]] ssize_t written = write(input, keys.data(), keys.size());
            }
            ++next;
        }
        if (waitpid(child, &result.status, WNOHANG) == child) ended = true;
        if (!ended && std::chrono::steady_clock::now() > deadline) {
            kill(child, SIGKILL);
            waitpid(child, &result.status, 0);
            result.timed_out = true;
            ended = true;
        }
    }
    read_available(output, result.output);
    read_available(side, result.report);
    return result;
}

inline session_result run_on_pty(const std::function<void()>& body,
                                 const std::vector<key_step>& steps = {}, bool canonical = false,
                                 double seconds = 10) {
    int master = -1;
    int slave = -1;
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) return {};
    configure_slave(slave, canonical);
    int side[2];
    if (pipe(side) != 0) return {};
    std::fflush(stdout);
    const pid_t child = fork();
    if (child == 0) {
        close(master);
        close(side[0]);
        setsid();
        run_child(slave, slave, side[1], body);
    }
    close(slave);
    close(side[1]);
    session_result result = drive(child, master, master, side[0], steps, seconds);
    close(master);
    close(side[0]);
    return result;
}

// Standard input is a pipe holding exactly input and then its end; standard
// output is a pipe too.
inline session_result run_on_pipes(const std::function<void()>& body, const std::string& input = {},
                                   double seconds = 10) {
    int in[2];
    int out[2];
    int side[2];
    if (pipe(in) != 0 || pipe(out) != 0 || pipe(side) != 0) return {};
    std::fflush(stdout);
    const pid_t child = fork();
    if (child == 0) {
        close(in[1]);
        close(out[0]);
        close(side[0]);
        run_child(in[0], out[1], side[1], body);
    }
    close(in[0]);
    close(out[1]);
    close(side[1]);
    [[maybe_unused]] ssize_t written = write(in[1], input.data(), input.size());
    close(in[1]);
    session_result result = drive(child, out[0], -1, side[0], {}, seconds);
    close(out[0]);
    close(side[0]);
    return result;
}

inline bool exited_with(const session_result& result, int code) {
    return !result.timed_out && WIFEXITED(result.status) && WEXITSTATUS(result.status) == code;
}

}  // namespace console_test
