#include "disk/programs.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

char log_device[log_device_size] = "/dev/tty9";

namespace {

// The child of the pipe runners; -1 when there is none.
pid_t pipe_child = -1;

char program_prefix[256];

// Marker argument of open_program_input.
const char null_marker[] = ">null";

// Descriptors above the standard three that a child closes, so that it
// holds no pipe end of ours and sees its input end.
constexpr int highest_closed_descriptor = 15;

// The argument vector and the path actually executed, built before fork so
// that the child only has to call execv.
struct program_image {
    char exec_path[512];
    const char* vector[max_program_arguments + 2];
    bool null_output = false;
};

bool build_image(program_image& image, const char* path, program_arguments arguments,
                 bool understand_marker) {
    const std::size_t prefix = std::strlen(program_prefix);
    const std::size_t length = std::strlen(path);
    if (prefix + length >= sizeof image.exec_path) return false;
    std::memcpy(image.exec_path, program_prefix, prefix);
    std::memcpy(image.exec_path + prefix, path, length + 1);
    std::size_t count = 0;
    image.vector[count++] = path;
    for (const char* argument : arguments) {
        if (understand_marker && std::strcmp(argument, null_marker) == 0) {
            image.null_output = true;
            continue;
        }
        if (count > max_program_arguments) return false;
        image.vector[count++] = argument;
    }
    image.vector[count] = nullptr;
    return true;
}

[[noreturn]] void exec_image(const program_image& image) {
    execv(image.exec_path, const_cast<char* const*>(image.vector));
    _exit(127);
}

// Makes fd the descriptor target; does nothing when fd could not be opened.
void move_descriptor(int fd, int target) {
    if (fd < 0 || fd == target) return;
    dup2(fd, target);
    close(fd);
}

void close_descriptors(int from) {
    for (int fd = from; fd <= highest_closed_descriptor; ++fd) close(fd);
}

int open_log_device() {
    return open(log_device, O_WRONLY | O_APPEND);
}

int wait_for(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return status;
}

}  // namespace

void set_program_prefix(const char* prefix) {
    std::snprintf(program_prefix, sizeof program_prefix, "%s", prefix);
}

int run_program(const char* root, const char* path, program_arguments arguments) {
    program_image image;
    if (!build_image(image, path, arguments, false)) return -1;
    const pid_t pid = fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        close_descriptors(0);
        move_descriptor(open("/dev/null", O_RDONLY), 0);
        move_descriptor(open_log_device(), 1);
        dup2(1, 2);
        if (root != nullptr && chroot(root) != 0) _exit(127);
        exec_image(image);
    }
    return wait_for(pid);
}

namespace {

// Child side of the output runner: nothing to read, the pipe as standard
// output, errors to the log device.
void arrange_output_child(int pipe_end, const program_image&) {
    const int input = open("/dev/null", O_RDONLY);
    const int errors = open_log_device();
    dup2(pipe_end, 1);
    move_descriptor(input, 0);
    move_descriptor(errors, 2);
}

// Child side of the input runner: the pipe as standard input, and with the
// ">null" marker its output to the log device.
void arrange_input_child(int pipe_end, const program_image& image) {
    dup2(pipe_end, 0);
    if (!image.null_output) return;
    const int output = open_log_device();
    if (output < 0) return;
    dup2(output, 1);
    dup2(output, 2);
    if (output > 2) close(output);
}

// Starts the one pipe child; child_reads tells which way the pipe runs. The
// caller gets its own end as a stdio stream, or null.
std::FILE* start_pipe_child(const program_image& image, bool child_reads,
                            void (*arrange)(int pipe_end, const program_image& image)) {
    if (pipe_child != -1) return nullptr;
    int ends[2];
    if (pipe(ends) != 0) return nullptr;
    const int child_end = child_reads ? ends[0] : ends[1];
    const int own_end = child_reads ? ends[1] : ends[0];
    const pid_t pid = fork();
    if (pid < 0) {
        close(ends[0]);
        close(ends[1]);
        return nullptr;
    }
    if (pid == 0) {
        arrange(child_end, image);
        close_descriptors(3);
        exec_image(image);
    }
    close(child_end);
    std::FILE* stream = fdopen(own_end, child_reads ? "w" : "r");
    if (stream == nullptr) {
        close(own_end);
        return nullptr;
    }
    pipe_child = pid;
    return stream;
}

}  // namespace

std::FILE* open_program_output(const char* path, program_arguments arguments) {
    if (pipe_child != -1) return nullptr;
    program_image image;
    if (!build_image(image, path, arguments, false)) return nullptr;
    return start_pipe_child(image, false, &arrange_output_child);
}

std::FILE* open_program_input(const char* path, program_arguments arguments) {
    program_image image;
    if (!build_image(image, path, arguments, true)) return nullptr;
    return start_pipe_child(image, true, &arrange_input_child);
}

int close_program(std::FILE* stream) {
    if (pipe_child == -1) return -1;
    const pid_t pid = pipe_child;
    pipe_child = -1;
    if (std::fclose(stream) != 0) return -1;
    return wait_for(pid);
}
