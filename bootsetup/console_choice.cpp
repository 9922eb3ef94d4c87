#include "bootsetup/console_choice.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "base/programs.h"

void choose_console(const char* vga_console, const char* serial_console) {
    const int vga = open(vga_console, O_WRONLY);
    if (vga >= 0) {
        close(vga);
        return;
    }
    std::strcpy(log_device, "/dev/null");
    std::freopen(serial_console, "r", stdin);
    std::freopen(serial_console, "w", stdout);
    std::freopen(serial_console, "w", stderr);
}
