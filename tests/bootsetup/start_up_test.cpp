#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>

#include "base/programs.h"
#include "bootsetup/console_choice.h"
#include "bootsetup/init_fork.h"
#include "bootsetup/reboot.h"
#include "bootsetup/setup_context.h"
#include "bootsetup/signal_handlers.h"
#include "bootsetup/terminal.h"
#include "console_session.h"
#include "tests/support/container_bytes.h"

namespace {

constexpr int no_namespace = 77;

// Runs body as the first process of a fresh PID namespace and returns how
// that process ended: its exit code, 100 + the signal that ended it, or
// no_namespace when none could be made. The body is never run under any
// other process id than 1.
int as_namespace_init(const std::function<int()>& body) {
    std::fflush(stdout);
    const pid_t outer = fork();
    if (outer == 0) {
        if (unshare(CLONE_NEWPID) != 0) _exit(no_namespace);
        const pid_t init = fork();
        if (init == 0) {
            if (getpid() != 1) _exit(no_namespace);
            const int code = body();
            std::fflush(stdout);
            _exit(code);
        }
        int status = 0;
        if (init < 0 || waitpid(init, &status, 0) != init) _exit(no_namespace);
        _exit(WIFSIGNALED(status) ? 100 + WTERMSIG(status) : WEXITSTATUS(status));
    }
    int status = 0;
    waitpid(outer, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(reboot_guard, a_process_started_by_hand_does_not_reboot) {
    const auto plain = console_test::run_on_pipes([] {
        finish_and_reboot();
        console_test::report("returned");
    });
    EXPECT_TRUE(console_test::exited_with(plain, 0));
    EXPECT_EQ(plain.output, "\nRebooting...\nnot the init process: reboot skipped\n");
    EXPECT_EQ(plain.report, "");

    const auto with_console = console_test::run_on_pty([] {
        setup_console = new console_terminal;
        setup_console->enter_raw_mode();
        finish_and_reboot();
    });
    EXPECT_TRUE(console_test::exited_with(with_console, 0));
    EXPECT_EQ(with_console.output,
              "\033[?25h\nRebooting...\nnot the init process: reboot skipped\n");
}

TEST(reboot_guard, who_may_reboot) {
    // A worker forked by a process called init that is not pid 1 may not.
    const auto worker_of_shell = console_test::run_on_pipes([] {
        int result = 0;
        if (split_off_worker("/sbin/init", result)) {
            console_test::report(may_reboot() ? "may" : "may not");
            std::fflush(stdout);
            _exit(0);
        }
    });
    EXPECT_EQ(worker_of_shell.report, "may not");

    const int init = as_namespace_init([] { return may_reboot() ? 1 : 2; });
    if (init == no_namespace) GTEST_SKIP() << "no PID namespace here";
    EXPECT_EQ(init, 1) << "the first process of its namespace";

    EXPECT_EQ(as_namespace_init([] {
                  int result = 0;
                  if (!split_off_worker("bootsetup-init", result)) return WEXITSTATUS(result);
                  _exit(may_reboot() ? 1 : 2);
              }),
              1)
        << "the worker of that first process";

    EXPECT_EQ(as_namespace_init([] {
                  const pid_t other = fork();
                  if (other == 0) _exit(may_reboot() ? 1 : 2);
                  int status = 0;
                  waitpid(other, &status, 0);
                  return WEXITSTATUS(status);
              }),
              2)
        << "a child that split_off_worker did not make";
}

TEST(reboot_guard, the_namespace_init_really_restarts) {
    // A restart inside a PID namespace other than the first ends only that
    // namespace: its init dies of SIGHUP.
    const auto run = console_test::run_on_pipes([] {
        console_test::report(
            std::to_string(as_namespace_init([] { return finish_and_reboot() + 50; })) + " " +
            std::to_string(as_namespace_init([] {
                int result = 0;
                if (!split_off_worker("init", result)) return 60;
                return finish_and_reboot() + 50;
            })));
    });
    if (run.report.starts_with(std::to_string(no_namespace)))
        GTEST_SKIP() << "no PID namespace here";
    if (run.report.starts_with("50")) GTEST_SKIP() << "no right to restart here";
    EXPECT_EQ(run.report, std::to_string(100 + SIGHUP) + " " + std::to_string(100 + SIGHUP));
    EXPECT_EQ(run.output, "\nRebooting...\n\nRebooting...\n");
}

TEST(start_up, split_off_worker) {
    const auto run = console_test::run_on_pipes([] {
        const pid_t before = getpid();
        int result = -5;
        const bool goes_on = split_off_worker("/sbin/bootsetup", result);
        console_test::report(std::string(goes_on && getpid() == before ? "same;" : "forked;") +
                             std::to_string(result) + ";");
        if (!split_off_worker("/sbin/init", result)) {
            console_test::report(std::to_string(WIFEXITED(result) ? WEXITSTATUS(result) : -1));
            return;
        }
        _exit(forked_by_init ? 8 : 7);
    });
    EXPECT_EQ(run.report, "same;-5;7");
}

TEST(start_up, console_choice) {
    const std::string serial = fixture::scratch_path("ttyS0");
    const auto without_vga = console_test::run_on_pipes([serial] {
        fixture::write_file(serial, "");
        choose_console("/nonexistent/tty0", serial.c_str());
        std::printf("on the serial line\n");
        std::fflush(stdout);
        console_test::report(log_device);
    });
    EXPECT_EQ(without_vga.report, "/dev/null");
    EXPECT_EQ(without_vga.output, "");
    EXPECT_EQ(fixture::read_file(serial), "on the serial line\n");

    const auto with_vga = console_test::run_on_pipes([] {
        choose_console("/dev/null", "/nonexistent/ttyS0");
        std::printf("on the console\n");
        console_test::report(log_device);
    });
    EXPECT_EQ(with_vga.report, "/dev/tty9");
    EXPECT_EQ(with_vga.output, "on the console\n");
}

// The abort path unmounts the fixed mount points, so it runs in a mount
// namespace of its own whose mounts do not propagate anywhere.
bool private_mounts() {
    return unshare(CLONE_NEWNS) == 0 &&
           mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
}

TEST(signal_handlers, interrupt_aborts_until_the_flow_has_returned) {
    const auto aborted = console_test::run_on_pty(
        [] {
            if (!private_mounts()) _exit(no_namespace);
            install_signal_handlers();
            setup_console = new console_terminal;
            setup_console->enter_raw_mode();
            raise(SIGINT);
            console_test::report("returned");
        },
        {{"Press ENTER to reboot\n", "x\n"}});
    if (console_test::exited_with(aborted, no_namespace)) GTEST_SKIP() << "no mount namespace here";
    EXPECT_TRUE(console_test::exited_with(aborted, 0));
    EXPECT_EQ(aborted.output,
              "\n\nInstallation aborted\nPress ENTER to reboot\n\a\033[?25h"
              "not the init process: reboot skipped\n");
    EXPECT_EQ(aborted.report, "");

    const auto finished = console_test::run_on_pipes([] {
        install_signal_handlers();
        setup_finished = 1;
        raise(SIGINT);
        console_test::report("returned");
    });
    EXPECT_EQ(finished.report, "returned");
    EXPECT_EQ(finished.output, "");
}

TEST(signal_handlers, broken_pipe_is_an_error_not_the_end) {
    const auto run = console_test::run_on_pipes([] {
        install_signal_handlers();
        int ends[2];
        if (pipe(ends) != 0) return;
        close(ends[0]);
        const bool failed = write(ends[1], "x", 1) < 0 && errno == EPIPE;
        console_test::report(failed ? "EPIPE" : "wrote");
    });
    EXPECT_EQ(run.report, "EPIPE");
}

TEST(signal_handlers, child_reaper_never_waits_for_a_live_child) {
    const auto run = console_test::run_on_pipes(
        [] {
            const pid_t sleeper = fork();
            if (sleeper == 0) {
                sleep(30);
                _exit(0);
            }
            errno = EAGAIN;
            child_reaper(SIGCHLD);
            console_test::report(errno == EAGAIN ? "returned" : "errno changed");
            kill(sleeper, SIGKILL);
        },
        "", 5);
    EXPECT_FALSE(run.timed_out);
    EXPECT_EQ(run.report, "returned");
}

}  // namespace
