#include "base/programs.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "base/process.h"

char log_device[log_device_size] = "/dev/tty9";

namespace {

// The child of the pipe runners; -1 when there is none.
pid_t pipe_child = -1;

// Marker argument of open_program_input.
const char null_marker[] = ">null";

// The argument vector, built before the child is started.
struct program_image {
    const char* vector[max_program_arguments + 2];
    bool null_output = false;
};

bool build_image(program_image& image, const char* path, program_arguments arguments,
                 bool understand_marker) {
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

int open_null_input() {
    return open("/dev/null", O_RDONLY | O_CLOEXEC);
}

int open_log_device() {
    return open(log_device, O_WRONLY | O_APPEND | O_CLOEXEC);
}

void close_opened(int fd) {
    if (fd >= 0) close(fd);
}

// What could not be opened is closed in the child, or kept from the parent.
int given_or(int fd, int otherwise) {
    return fd >= 0 ? fd : otherwise;
}

}  // namespace

int run_program(const char* root, const char* path, program_arguments arguments) {
    program_image image;
    if (!build_image(image, path, arguments, false)) return -1;
    const int input = open_null_input();
    const int log = open_log_device();
    program_start start;
    start.path = path;
    start.arguments = image.vector;
    start.root = root;
    start.input = given_or(input, closed_descriptor);
    start.output = given_or(log, closed_descriptor);
    start.errors = start.output;
    start.close_others = true;
    const pid_t child = start_program(start);
    close_opened(input);
    close_opened(log);
    if (child < 0) return -1;
    return wait_child(child);
}

namespace {

// Starts the one pipe child; child_reads tells which way the pipe runs, and
// start holds everything but the pipe end. The caller gets its own end as a
// stdio stream, or null.
std::FILE* start_pipe_child(program_start& start, bool child_reads) {
    if (pipe_child != -1) return nullptr;
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) return nullptr;
    const int child_end = child_reads ? ends[0] : ends[1];
    const int own_end = child_reads ? ends[1] : ends[0];
    (child_reads ? start.input : start.output) = child_end;
    start.close_others = true;
    const pid_t child = start_program(start);
    close(child_end);
    if (child < 0) {
        close(own_end);
        return nullptr;
    }
    std::FILE* stream = fdopen(own_end, child_reads ? "w" : "r");
    if (stream == nullptr) {
        close(own_end);
        return nullptr;
    }
    pipe_child = child;
    return stream;
}

}  // namespace

// Nothing to read, the pipe as standard output, errors to the log device.
std::FILE* open_program_output(const char* path, program_arguments arguments) {
    if (pipe_child != -1) return nullptr;
    program_image image;
    if (!build_image(image, path, arguments, false)) return nullptr;
    const int input = open_null_input();
    const int log = open_log_device();
    program_start start;
    start.path = path;
    start.arguments = image.vector;
    start.input = given_or(input, keep_descriptor);
    start.errors = given_or(log, keep_descriptor);
    std::FILE* stream = start_pipe_child(start, false);
    close_opened(input);
    close_opened(log);
    return stream;
}

// The pipe as standard input, and with the ">null" marker the output to the
// log device.
std::FILE* open_program_input(const char* path, program_arguments arguments) {
    program_image image;
    if (!build_image(image, path, arguments, true)) return nullptr;
    const int log = image.null_output && pipe_child == -1 ? open_log_device() : -1;
    program_start start;
    start.path = path;
    start.arguments = image.vector;
    start.output = given_or(log, keep_descriptor);
    start.errors = start.output;
    std::FILE* stream = start_pipe_child(start, true);
    close_opened(log);
    return stream;
}

int close_program(std::FILE* stream) {
    if (pipe_child == -1) return -1;
    const pid_t pid = pipe_child;
    pipe_child = -1;
    if (std::fclose(stream) != 0) return -1;
    return wait_child(pid);
}
