#include "bootsetup/flows/installer_pipe.h"

#include <sys/mount.h>

#include "disk/programs.h"

std::FILE* start_package_installer() { return open_program_input("/sbin/installer", {"-r", "/mnt", "-"}); }

bool feed_installer(std::FILE* installer, const void* bytes, std::size_t count) {
    return std::fwrite(bytes, 1, count, installer) == count && std::fflush(installer) == 0;
}

const char* mount_media(const char* type, unsigned long flags) {
    for (const char* device : media_devices) {
        if (mount(device, "/floppy", type, flags, nullptr) == 0) return device;
    }
    return nullptr;
}
