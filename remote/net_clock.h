#pragma once

#include <cstdint>

// The time of the transport and every wait that is measured on it. The
// protocol's limits (1 s polls, 20 ms retransmissions, 30 s silences) all go
// through one of these, so that a test can run the whole schedule on a clock
// of its own, with a scripted peer answering inside the waits.
class net_clock {
public:
    net_clock() = default;
    net_clock(const net_clock&) = delete;
    net_clock& operator=(const net_clock&) = delete;
    virtual ~net_clock() = default;

    // Microseconds since the Epoch; 0 when the clock cannot be read.
    [[nodiscard]] virtual std::int64_t now() = 0;
    virtual void sleep(std::uint32_t microseconds) = 0;
    // Waits until socket is readable or limit microseconds have passed: 1
    // readable, 0 time is up, -1 the wait failed (a signal, say).
    [[nodiscard]] virtual int wait_readable(int socket, std::uint32_t limit) = 0;
    // Waits without a limit on socket and on standard input.
    [[nodiscard]] virtual int wait_datagram_or_key(int socket) = 0;
};

// Results of wait_datagram_or_key.
enum wait_outcome : int {
    wait_failed = 0,
    wait_datagram = 1,
    wait_key = 2,
    wait_interrupted = 3,
};

// gettimeofday and select.
net_clock& system_clock();

// The wall clock in microseconds, computed in 64 bits; 0 when it cannot be
// read.
[[nodiscard]] std::int64_t now_us();
