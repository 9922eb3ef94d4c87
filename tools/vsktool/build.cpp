#include <fcntl.h>
#include <getopt.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "base/posix_io.h"
#include "package/deflate_buffer.h"
#include "package/format.h"
#include "package/package_writer.h"
#include "tools/vsktool/commands.h"
#include "tools/vsktool/directory_archive.h"
#include "tools/vsktool/options.h"
#include "tools/vsktool/package_fields.h"

namespace {

const char usage[] = "vsktool build [options] DIR OUTPUT.vsk";

const char help[] =
    "Builds a package from the files below DIR.\n"
    "  --name NAME          package name (1-16 bytes)             required\n"
    "  --version TEXT       version: 2.9.5, 2.9, 3.0beta, 3.0rc3   required\n"
    "  --revision N         orders builds of one version (default 0)\n"
    "  --arch NAME          architecture (none: read as i386)\n"
    "  --description TEXT   one-paragraph description\n"
    "  --depends SPEC       needs a package; repeatable\n"
    "  --provides SPEC      provides a name; repeatable\n"
    "  --conflicts SPEC     conflicts with a package; repeatable\n"
    "                       SPEC is NAME[:MIN[:MAX[:PRIORITY]]], MIN and MAX\n"
    "                       version texts (empty: no bound)\n"
    "  --oninstall FILE     script run after installing\n"
    "  --onuninstall FILE   script run before uninstalling\n"
    "  --untracked          install without a database entry\n"
    "  --owner-root         every file owned by 0:0\n"
    "  --time SECONDS       every file's modification time\n";

enum : int {
    option_oninstall = option_first_own,
    option_onuninstall,
    option_owner_root,
    option_time
};

struct build_request {
    package_fields fields;
    const char* oninstall = nullptr;
    const char* onuninstall = nullptr;
    tree_options tree;
    const char* dir = nullptr;
    const char* output = nullptr;
};

int parse_build(int argc, char** argv, build_request& request) {
    std::vector<option> options = shared_options();
    options.insert(options.end() - 1,
                   {
                       {"oninstall", required_argument, nullptr, option_oninstall},
                       {"onuninstall", required_argument, nullptr, option_onuninstall},
                       {"owner-root", no_argument, nullptr, option_owner_root},
                       {"time", required_argument, nullptr, option_time},
                   });
    opterr = 0;
    optind = 0;
    for (;;) {
        int code = getopt_long(argc, argv, "", options.data(), nullptr);
        if (code == -1) break;
        int shared = take_shared_option(code, optarg, request.fields, usage);
        if (shared == exit_usage) return exit_usage;
        if (shared == 1) continue;
        switch (code) {
            case option_help:
                std::printf("usage: %s\n%s", usage, help);
                return -1;
            case option_oninstall:
                request.oninstall = optarg;
                break;
            case option_onuninstall:
                request.onuninstall = optarg;
                break;
            case option_owner_root:
                request.tree.owner_root = true;
                break;
            case option_time:
                if (!parse_number(optarg, &request.tree.time)) {
                    return usage_error(usage, "--time \"%s\" is not a number of seconds", optarg);
                }
                request.tree.fixed_time = true;
                break;
            default:
                return usage_error(usage, "unknown option \"%s\"", argv[optind - 1]);
        }
    }
    if (argc - optind != 2) return usage_error(usage, "needs a directory and an output file");
    request.dir = argv[optind];
    request.output = argv[optind + 1];
    return check_fields(request.fields, usage);
}

bool write_failed(const package_writer& writer, const char* output) {
    if (!writer.failed()) return false;
    report(output, "cannot write: %s", errno != 0 ? std::strerror(errno) : "write failed");
    return true;
}

// A script part carries the script's text as it is; it is streamed like any
// other file.
bool write_script_part(package_writer& writer, std::uint16_t type, const char* path,
                       const char* output) {
    int file = open(path, O_RDONLY | O_CLOEXEC);
    if (file < 0) {
        report(path, "cannot open: %s", std::strerror(errno));
        return false;
    }
    writer.begin_part(type);
    char chunk[64 * 1024];
    bool ok = true;
    for (;;) {
        const ssize_t got = read_all(file, chunk, sizeof chunk);
        if (got < 0) {
            report(path, "cannot read: %s", std::strerror(errno));
            ok = false;
            break;
        }
        if (got > 0) writer.write(chunk, got);
        if (static_cast<std::size_t>(got) < sizeof chunk) break;
    }
    close(file);
    writer.end_part();
    return ok && !write_failed(writer, output);
}

bool write_files_part(package_writer& writer, const build_request& request) {
    writer.begin_part(part_files);
    bool ok;
    {
        deflate_buffer packer(writer.buffer());
        out_stream archive(&packer);
        ok = write_tree(request.dir, archive, request.tree);
        if (ok && !packer.finish()) {
            report(request.output, "cannot write the archive: %s",
                   errno != 0 ? std::strerror(errno) : "compression failed");
            ok = false;
        }
    }
    writer.end_part();
    return ok && !write_failed(writer, request.output);
}

bool write_package(build_request& request, const char* path) {
    errno = 0;
    package_writer writer(path, request.fields.untracked);
    if (!writer.is_open() || writer.failed()) {
        report(path, "cannot create: %s", std::strerror(errno));
        return false;
    }
    struct stat self;
    if (fstat(writer.descriptor(), &self) == 0)
        request.tree.skip.emplace_back(self.st_dev, self.st_ino);

    write_description_parts(writer, part_package, request.fields);
    if (write_failed(writer, request.output)) return false;
    if (request.oninstall != nullptr &&
        !write_script_part(writer, part_oninstall, request.oninstall, request.output)) {
        return false;
    }
    if (request.onuninstall != nullptr &&
        !write_script_part(writer, part_onuninstall, request.onuninstall, request.output)) {
        return false;
    }
    if (!write_files_part(writer, request)) return false;
    writer.finish();
    if (write_failed(writer, request.output)) return false;
    writer.close();
    if (writer.failed()) {
        report(path, "cannot close: %s", std::strerror(errno));
        return false;
    }
    return true;
}

// Scripts are checked before anything is written, so that a mistyped path
// does not cost a whole compression run.
bool scripts_readable(const build_request& request) {
    for (const char* path : {request.oninstall, request.onuninstall}) {
        if (path == nullptr) continue;
        struct stat info;
        if (stat(path, &info) != 0 || access(path, R_OK) != 0) {
            report(path, "cannot read: %s", std::strerror(errno));
            return false;
        }
        if (!S_ISREG(info.st_mode)) {
            report(path, "not a regular file");
            return false;
        }
    }
    return true;
}

}  // namespace

int run_build(int argc, char** argv) {
    build_request request;
    int parsed = parse_build(argc, argv, request);
    if (parsed == -1) return exit_ok;
    if (parsed != exit_ok) return parsed;
    if (!scripts_readable(request)) return exit_failure;
    // A package that replaces one inside the tree must not take it in.
    struct stat old;
    if (stat(request.output, &old) == 0) request.tree.skip.emplace_back(old.st_dev, old.st_ino);
    replacement_file output(request.output);
    // A failed write leaves the partial file to the destructor.
    if (!write_package(request, output.partial_path())) return exit_failure;
    return commit_output(output, request.output) ? exit_ok : exit_failure;
}
