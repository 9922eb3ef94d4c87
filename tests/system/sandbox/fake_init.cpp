// A stand-in for bootsetup that shows the sandbox test what the machine
// looks like from inside: its process number, host name and devices, the
// media mounts through the preload layer, and the sandbox's partitioning
// tool on the loop disk. It ends the way bootsetup does, with a reboot.

#include <dirent.h>
#include <stdio.h>
#include <string.h>
#include <sys/mount.h>
#include <sys/reboot.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

namespace {

std::string run(const char* command) {
    std::string text;
    FILE* pipe = popen(command, "r");
    if (!pipe) return "?";
    char buffer[512];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, n);
    int status = pclose(pipe);
    return text + "status " + std::to_string(status) + "\n";
}

std::string first_line(const char* path) {
    char line[256] = {0};
    FILE* file = fopen(path, "r");
    if (!file) return std::string("no ") + path;
    if (!fgets(line, sizeof line, file)) line[0] = 0;
    fclose(file);
    line[strcspn(line, "\n")] = 0;
    return line;
}

void list_dev() {
    std::vector<std::string> names;
    if (DIR* dir = opendir("/dev")) {
        while (dirent* entry = readdir(dir))
            if (entry->d_name[0] != '.') names.push_back(entry->d_name);
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    printf("dev:");
    for (const std::string& name : names) printf(" %s", name.c_str());
    printf("\n");
}

void try_mount(const char* device, const char* type, unsigned long flags, const char* file) {
    if (mount(device, "/floppy", type, flags, nullptr) != 0) {
        printf("mount %s %s: %s\n", device, type, strerror(errno));
        return;
    }
    std::string path = std::string("/floppy/") + file;
    printf("mount %s %s: %s\n", device, type, first_line(path.c_str()).c_str());
    umount("/floppy");
}

}  // namespace

int main() {
    char host[64] = {0};
    gethostname(host, sizeof host - 1);
    mount("proc", "/proc", "proc", 0, nullptr);
    printf("pid %d host %s\n", getpid(), host);
    printf("interfaces: %s",
           run("tail -n +3 /proc/net/dev | cut -d: -f1 | tr -d ' ' | tr '\\n' ' '; echo").c_str());
    list_dev();
    try_mount("/dev/hdc", "iso9660", MS_MGC_VAL | MS_RDONLY, "hello.txt");
    try_mount("/dev/hda", "vfat", 0, "hello.txt");
    try_mount("/dev/fd0", "vfat", 0, "tarnvale.n00");
    printf("%s", run("/sbin/sfdisk -g").c_str());
    printf("%s", run("/sbin/sfdisk -d -uC /dev/hda").c_str());
    printf(
        "%s",
        run("printf '0,2,83,*\\n2,1021,83,*\\n0,0,0\\n' | /sbin/sfdisk -q -uC /dev/hda").c_str());
    list_dev();
    printf("%s", run("/sbin/sfdisk -d -uC /dev/hda").c_str());
    printf("%s", run("/sbin/sfdisk -g /dev/sda 2>&1").c_str());
    printf("ready\n");
    fflush(stdout);
    char line[64] = {0};
    if (fgets(line, sizeof line, stdin)) printf("got %s", line);
    fflush(stdout);
    reboot(RB_AUTOBOOT);
    printf("reboot returned\n");
    return 0;
}
