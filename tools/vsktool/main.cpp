#include <cstdio>
#include <cstring>

#include "project_version.h"
#include "tools/vsktool/commands.h"
#include "tools/vsktool/options.h"

namespace {

struct command {
    const char* name;
    int (*run)(int argc, char** argv);
    const char* summary;
};

const command commands[] = {
    {"build", run_build, "build [options] DIR OUTPUT.vsk     package the files below DIR"},
    {"bundle", run_bundle, "bundle [options] OUTPUT.vsk MEMBER.vsk...   join packages"},
    {"info", run_info, "info FILE.vsk                      show header, relations, scripts"},
    {"list", run_list, "list FILE.vsk                      list the files"},
    {"verify", run_verify, "verify FILE.vsk                    check every part and entry"},
    {"floppies", run_floppies, "floppies [options] OUTDIR PACKAGE.vsk...   cut into a floppy set"},
};

void print_commands(std::FILE* out) {
    std::fputs("usage: vsktool COMMAND [options] ARGUMENTS\n", out);
    for (const command& c : commands) std::fprintf(out, "  vsktool %s\n", c.summary);
    std::fputs("'vsktool COMMAND --help' lists the options of a command;\n", out);
    std::fputs("'vsktool --version' prints the version.\n", out);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        print_commands(stdout);
        return exit_ok;
    }
    if (argc >= 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("vsktool %s\n", project_version);
        return exit_ok;
    }
    if (argc >= 2) {
        for (const command& c : commands) {
            if (std::strcmp(argv[1], c.name) == 0) return c.run(argc - 1, argv + 1);
        }
        std::fprintf(stderr, "vsktool: unknown command \"%s\"\n", argv[1]);
    }
    print_commands(stderr);
    return exit_usage;
}
