#include "remote/net_clock.h"

#include <sys/select.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>

namespace {

class wall_clock final : public net_clock {
public:
    std::int64_t now() override { return now_us(); }

    void sleep(std::uint32_t microseconds) override {
        timeval wait{static_cast<time_t>(microseconds / 1000000),
                     static_cast<suseconds_t>(microseconds % 1000000)};
        // A signal may cut the pause short; the callers poll afterwards
        // anyway, so a shorter pause only costs one more round.
        (void)select(0, nullptr, nullptr, nullptr, &wait);
    }

    int wait_readable(int socket, std::uint32_t limit) override {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(socket, &readable);
        timeval wait{static_cast<time_t>(limit / 1000000),
                     static_cast<suseconds_t>(limit % 1000000)};
        const int ready = select(socket + 1, &readable, nullptr, nullptr, &wait);
        if (ready < 0) return -1;
        return ready > 0 ? 1 : 0;
    }

    int wait_datagram_or_key(int socket) override {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(socket, &readable);
        FD_SET(STDIN_FILENO, &readable);
        const int highest = socket > STDIN_FILENO ? socket : STDIN_FILENO;
        if (select(highest + 1, &readable, nullptr, nullptr, nullptr) < 0) {
            return errno == EINTR ? wait_interrupted : wait_failed;
        }
        // A waiting key wins over a waiting datagram: the user decides.
        if (FD_ISSET(STDIN_FILENO, &readable)) return wait_key;
        return wait_datagram;
    }
};

}  // namespace

net_clock& system_clock() {
    static wall_clock clock;
    return clock;
}

std::int64_t now_us() {
    timeval now{};
    if (gettimeofday(&now, nullptr) != 0) return 0;
    return static_cast<std::int64_t>(now.tv_sec) * 1000000 + now.tv_usec;
}
