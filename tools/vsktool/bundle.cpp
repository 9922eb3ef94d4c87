#include <getopt.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "package/format.h"
#include "package/package_reader.h"
#include "package/package_writer.h"
#include "tools/vsktool/commands.h"
#include "tools/vsktool/options.h"
#include "tools/vsktool/package_fields.h"
#include "tools/vsktool/package_input.h"
#include "tools/vsktool/package_walk.h"

namespace {

const char usage[] = "vsktool bundle [options] OUTPUT.vsk MEMBER.vsk...";

const char help[] =
    "Joins packages into a bundle: the bundle's own header and relations, then\n"
    "every part of every member, unchanged.\n"
    "  --name NAME          bundle name (1-16 bytes)               required\n"
    "  --version TEXT       version: 2.9.5, 2.9, 3.0beta, 3.0rc3   required\n"
    "  --revision N         orders builds of one version (default 0)\n"
    "  --arch NAME          architecture (none: read as i386)\n"
    "  --description TEXT   one-paragraph description\n"
    "  --depends SPEC       needs a package; repeatable\n"
    "  --provides SPEC      provides a name; repeatable\n"
    "  --conflicts SPEC     conflicts with a package; repeatable\n"
    "                       SPEC is NAME[:MIN[:MAX[:PRIORITY]]]\n"
    "  --disabled NAME      member installed disabled unless it was enabled\n"
    "                       before; repeatable\n"
    "  --untracked          install without a database entry\n";

enum : int { option_disabled = option_first_own };

struct bundle_request {
    package_fields fields;
    std::vector<relation> disabled;
    const char* output = nullptr;
    std::vector<const char*> members;
};

int parse_bundle(int argc, char** argv, bundle_request& request) {
    std::vector<option> options = shared_options();
    options.insert(options.end() - 1, {"disabled", required_argument, nullptr, option_disabled});
    opterr = 0;
    optind = 0;
    for (;;) {
        int code = getopt_long(argc, argv, "", options.data(), nullptr);
        if (code == -1) break;
        int shared = take_shared_option(code, optarg, request.fields, usage);
        if (shared == exit_usage) return exit_usage;
        if (shared == 1) continue;
        if (code == option_help) {
            std::printf("usage: %s\n%s", usage, help);
            return -1;
        }
        if (code != option_disabled) {
            return usage_error(usage, "unknown option \"%s\"", argv[optind - 1]);
        }
        if (const char* why = bad_name_reason(optarg)) {
            return usage_error(usage, "--disabled \"%s\": name %s", optarg, why);
        }
        relation r;
        r.name = optarg;
        request.disabled.push_back(r);
    }
    if (argc - optind < 2)
        return usage_error(usage, "needs an output file and at least one member");
    request.output = argv[optind];
    for (int i = optind + 1; i < argc; ++i) request.members.push_back(argv[i]);
    return check_fields(request.fields, usage);
}

// Reads a member through once before anything is written: it must be a
// whole, well-formed plain package, and its name must be new.
bool check_member(const char* path, std::vector<std::string>& names) {
    package_input input(path);
    if (!input.open()) return false;
    if (input.size_known() && input.real_size() != input.declared_size()) {
        report(path, "the header declares %llu bytes, the file holds %llu",
               static_cast<unsigned long long>(input.declared_size()),
               static_cast<unsigned long long>(input.real_size()));
        return false;
    }
    package_summary summary;
    package_visitor skip_contents;
    if (!walk_package(input, summary, skip_contents, true)) return false;
    if (summary.header_type == part_bundle) {
        report(path, "is a bundle; a bundle cannot be a member");
        return false;
    }
    for (const std::string& name : names) {
        if (name == summary.name) {
            report(path, "a member named %s is already in the bundle", name.c_str());
            return false;
        }
    }
    if (input.reader().is_untracked()) {
        report(path, "warning: a member keeps no untracked mark; use --untracked on the bundle");
    }
    names.push_back(summary.name);
    return true;
}

bool check_disabled(const bundle_request& request, const std::vector<std::string>& names) {
    for (const relation& r : request.disabled) {
        bool found = false;
        for (const std::string& name : names) found = found || r.name == name.c_str();
        if (!found) {
            report(request.output, "--disabled %s names no member of the bundle", r.name.text());
            return false;
        }
    }
    return true;
}

// Copies every part after the member's file header, byte for byte.
bool copy_member(package_writer& writer, const char* path, const char* output) {
    package_input input(path);
    if (!input.open()) return false;
    package_reader& reader = input.reader();
    static char chunk[64 * 1024];
    while (reader.next_part() >= 0) {
        writer.begin_part(static_cast<std::uint16_t>(reader.current_type()));
        std::uint32_t left = reader.part_length();
        while (left > 0) {
            std::uint32_t piece = left < sizeof chunk ? left : sizeof chunk;
            reader.read(chunk, piece);
            if (reader.last_count() != piece) {
                report(path, "part %d at offset %u: payload cut short", reader.current_type(),
                       reader.payload_offset() - part_header_size);
                return false;
            }
            writer.write(chunk, piece);
            left -= piece;
        }
        writer.end_part();
        if (writer.failed()) {
            report(output, "cannot write: %s", errno != 0 ? std::strerror(errno) : "write failed");
            return false;
        }
    }
    return true;
}

bool write_bundle(const bundle_request& request, const char* path) {
    errno = 0;
    package_writer writer(path, request.fields.untracked);
    if (!writer.is_open() || writer.failed()) {
        report(path, "cannot create: %s", std::strerror(errno));
        return false;
    }
    write_description_parts(writer, part_bundle, request.fields);
    write_relation_part(writer, part_disabled_members, request.disabled);
    for (const char* member : request.members) {
        if (!copy_member(writer, member, request.output)) return false;
    }
    writer.finish();
    if (writer.failed()) {
        report(request.output, "cannot write: %s",
               errno != 0 ? std::strerror(errno) : "write failed");
        return false;
    }
    writer.close();
    if (writer.failed()) {
        report(path, "cannot close: %s", std::strerror(errno));
        return false;
    }
    return true;
}

}  // namespace

int run_bundle(int argc, char** argv) {
    bundle_request request;
    int parsed = parse_bundle(argc, argv, request);
    if (parsed == -1) return exit_ok;
    if (parsed != exit_ok) return parsed;

    std::vector<std::string> names;
    for (const char* member : request.members) {
        if (!check_member(member, names)) return exit_failure;
    }
    if (!check_disabled(request, names)) return exit_failure;

    replacement_file output(request.output);
    // A failed write leaves the partial file to the destructor.
    if (!write_bundle(request, output.partial_path())) return exit_failure;
    return commit_output(output, request.output) ? exit_ok : exit_failure;
}
