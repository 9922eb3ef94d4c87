// Preload library of the bootsetup sandbox, and of nothing else: the kernel
// of the test machines has neither "vfat" nor "iso9660", so mounts of those
// two types are carried out from the sandbox's media table instead.
//
// The table "/.sandbox/media.map" holds lines "DEVICE TYPE SOURCE". For
// "iso9660" SOURCE is a disc image made with genisoimage and is mounted with
// fuseiso; for "vfat" SOURCE is the directory the medium was made from and
// is bind-mounted (a FAT driver in user space would show only upper-case
// short names). The table is read at every mount, so a test can change the
// floppy in the drive between two prompts. Every other mount goes to the
// kernel untouched.

#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using mount_function = int (*)(const char*, const char*, const char*, unsigned long, const void*);

const char media_table[] = "/.sandbox/media.map";
const char mount_log[] = "/.sandbox/mounts.log";
const char fuseiso[] = "/usr/bin/fuseiso";

mount_function real_mount() {
    static mount_function real = reinterpret_cast<mount_function>(dlsym(RTLD_NEXT, "mount"));
    return real;
}

// Children of bootsetup must not inherit the layer: the package installer
// chroots to the new system, where this library does not exist.
__attribute__((constructor)) void forget_preload() {
    unsetenv("LD_PRELOAD");
}

void note(const char* source, const char* target, const char* type, const char* outcome) {
    FILE* log = fopen(mount_log, "a");
    if (!log) return;
    fprintf(log, "%s %s %s %s\n", source ? source : "-", target ? target : "-", type, outcome);
    fclose(log);
}

// The table's SOURCE for DEVICE and TYPE, copied into SOURCE; false when
// the drive holds no such medium.
bool find_medium(const char* device, const char* type, char* source, size_t size) {
    FILE* table = fopen(media_table, "r");
    if (!table) return false;
    char line[1024];
    bool found = false;
    while (!found && fgets(line, sizeof line, table)) {
        char d[256], t[64], s[768];
        if (sscanf(line, "%255s %63s %767s", d, t, s) != 3) continue;
        if (strcmp(d, device) == 0 && strcmp(t, type) == 0 && strlen(s) < size) {
            strcpy(source, s);
            found = true;
        }
    }
    fclose(table);
    return found;
}

int mount_image(const char* image, const char* target) {
    // bootsetup reaps children from its SIGCHLD handler; holding the signal
    // back keeps fuseiso's status for the wait below.
    sigset_t chld, old;
    sigemptyset(&chld);
    sigaddset(&chld, SIGCHLD);
    sigprocmask(SIG_BLOCK, &chld, &old);
    pid_t pid = fork();
    if (pid == 0) {
        sigprocmask(SIG_SETMASK, &old, nullptr);
        int null = open("/dev/null", O_RDWR);
        if (null >= 0) {
            dup2(null, 0);
            dup2(null, 1);
            dup2(null, 2);
        }
        // -n: no "$HOME/.mtab.fuseiso"; the machine has no home directory.
        execl(fuseiso, fuseiso, "-n", image, target, static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = -1;
    if (pid > 0) {
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }
    sigprocmask(SIG_SETMASK, &old, nullptr);
    if (pid < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        errno = EIO;
        return -1;
    }
    return 0;
}

int mount_directory(const char* directory, const char* target, unsigned long flags) {
    if (real_mount()(directory, target, nullptr, MS_BIND, nullptr) != 0) return -1;
    if (flags & MS_RDONLY)
        real_mount()(nullptr, target, nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr);
    return 0;
}

int mount_medium(const char* source, const char* target, const char* type, unsigned long flags) {
    char medium[768];
    struct stat node;
    if (!source || stat(source, &node) != 0) {
        note(source, target, type, "no-device");
        errno = ENOENT;
        return -1;
    }
    if (!find_medium(source, type, medium, sizeof medium)) {
        // What the kernel says when the device holds no such file system.
        note(source, target, type, "no-medium");
        errno = EINVAL;
        return -1;
    }
    int result = strcmp(type, "iso9660") == 0 ? mount_image(medium, target)
                                              : mount_directory(medium, target, flags);
    int saved = errno;
    note(source, target, type, result == 0 ? medium : "failed");
    errno = saved;
    return result;
}

}  // namespace

extern "C" int mount(const char* source, const char* target, const char* type, unsigned long flags,
                     const void* data) {
    if (type && (strcmp(type, "vfat") == 0 || strcmp(type, "iso9660") == 0))
        return mount_medium(source, target, type, flags);
    return real_mount()(source, target, type, flags, data);
}
