#include "bootsetup/flows/installer_pipe.h"

#include "base/programs.h"

std::FILE* start_package_installer() {
    return open_program_input("/sbin/installer", {"-r", "/mnt", "-"});
}

bool feed_installer(std::FILE* installer, const void* bytes, std::size_t count) {
    return std::fwrite(bytes, 1, count, installer) == count && std::fflush(installer) == 0;
}
