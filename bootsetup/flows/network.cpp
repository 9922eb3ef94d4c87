#include "bootsetup/flows/network.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

#include "base/array.h"
#include "base/byte_string.h"
#include "base/programs.h"
#include "bootsetup/flows/installer_pipe.h"
#include "bootsetup/flows/steps.h"
#include "bootsetup/install_order.h"
#include "bootsetup/modules.h"
#include "bootsetup/package_list.h"
#include "bootsetup/prompts.h"
#include "bootsetup/screen.h"
#include "bootsetup/setup_context.h"
#include "bootsetup/target.h"
#include "remote/install_client.h"
#include "remote/install_server.h"

namespace {

// The console of bootsetup as the remote installation sees it: the same
// stdio stream and key reader as the menus, so that output and input keep
// their order.
class setup_console_port : public remote_host {
public:
    explicit setup_console_port(setup_context* context = nullptr) : context_(context) {}
    ~setup_console_port() override {
        if (installer_ != nullptr) (void)close_program(installer_);
    }

    void print(const char* text) override { std::fputs(text, stdout); }
    void flush() override { std::fflush(stdout); }
    int read_key() override { return ::read_key(); }
    void clear_screen() override { ::clear_screen(); }
    void move_cursor(int column, int row) override { ::move_cursor(column, row); }
    void clear_line() override { ::clear_line(); }
    void set_attributes(int bits) override { ::set_attributes(bits); }
    void print_wrapped(const char* text) override { ::print_wrapped(text, false); }
    bool ask_yes_no(const char* question) override { return ask_yes_no_showing_cursor(question); }
    void edit_line(const char* label, const char* default_value, char* result, int size) override {
        ::edit_line(label, default_value, result, size);
    }

    // The client's machine.
    void show_banner(const char* kind) override { ::show_banner(kind); }
    void load_network_drivers() override { load_modules(network_modules); }
    bool find_target_disk() override { return ::find_target_disk(*context_); }
    bool prepare_target_disk(bool keep) override { return ::prepare_target_disk(*context_, keep); }
    bool start_installer() override {
        installer_ = start_package_installer();
        return installer_ != nullptr;
    }
    bool feed_installer(const unsigned char* bytes, std::size_t count) override {
        return ::feed_installer(installer_, bytes, count);
    }
    void close_installer() override {
        // The installer's exit status is not looked at: it has reported
        // its own failures on the console.
        if (installer_ != nullptr) (void)close_program(installer_);
        installer_ = nullptr;
    }
    void finish_installation() override {
        ::finish_installation(*context_);
        setup_finished = 1;
    }

private:
    setup_context* context_;
    std::FILE* installer_ = nullptr;
};

array<byte_string> package_paths(const package_list& list) {
    install_order order;
    build_install_order(order, list);
    array<byte_string> paths;
    byte_string path;
    while (next_package_path(order, path)) paths.push_back(path);
    return paths;
}

}  // namespace

remote_outcome install_remote_router(const package_list& list) {
    setup_console_port console;
    install_server server(console);
    if (!select_router(server)) return remote_outcome::no_router;
    return install_router(server, package_paths(list)) ? remote_outcome::installed
                                                       : remote_outcome::failed;
}

bool network_installation(setup_context& context) {
    setup_console_port host(&context);
    return network_install(host);
}
