#include <cinttypes>
#include <cstdio>
#include <string>

#include "package/format.h"
#include "package/version.h"
#include "tools/vsktool/commands.h"
#include "tools/vsktool/options.h"
#include "tools/vsktool/package_input.h"
#include "tools/vsktool/package_walk.h"

namespace {

const char usage[] = "vsktool info FILE.vsk";
const char help[] =
    "Shows a package's header, architecture, relations, description, scripts,\n"
    "the members of a bundle, and its declared and real size.\n";

// Labels take a fixed column so that continuation lines line up under the
// first value.
constexpr int label_width = 14;

void field(const std::string& indent, const char* label, const std::string& value) {
    std::printf("%s%-*s%s\n", indent.c_str(), label_width, label, value.c_str());
}

// A multi-line value keeps its lines, each under the value column.
void text_field(const std::string& indent, const char* label, const std::string& text) {
    std::size_t start = 0;
    bool first = true;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = printable(text.data() + start, end - start);
        if (first || !line.empty() || end < text.size()) field(indent, first ? label : "", line);
        first = false;
        start = end + 1;
    }
}

void relation_field(const std::string& indent, const char* label,
                    const std::vector<relation>& list) {
    for (std::size_t i = 0; i < list.size(); ++i) {
        field(indent, i == 0 ? label : "", relation_text(list[i]));
    }
}

std::string bytes_text(std::uint32_t count) {
    return std::to_string(count) + " bytes";
}

void print_summary(const package_summary& s, const std::string& indent, bool untracked) {
    bool bundle = s.header_type == part_bundle;
    field(indent, bundle ? "Bundle:" : "Package:", printable(s.name.data(), s.name.size()));
    field(indent, "Version:", version_text(s.version));
    field(indent, "Revision:", std::to_string(s.revision));
    if (indent.empty()) {
        field(indent, "Tracking:",
              untracked ? "untracked (installed without a database entry)" : "tracked");
    }
    field(indent, "Architecture:",
          s.has_architecture ? printable(s.architecture.data(), s.architecture.size())
                             : "i386 (no architecture part)");
    if (s.has_description) text_field(indent, "Description:", s.description);
    relation_field(indent, "Depends:", s.depends);
    relation_field(indent, "Provides:", s.provides);
    relation_field(indent, "Conflicts:", s.conflicts);
    if (bundle) {
        relation_field(indent, "Disabled:", s.disabled);
        field(indent, "Members:", std::to_string(s.members.size()));
        for (const package_summary& member : s.members) {
            std::printf("\n");
            print_summary(member, indent + "  ", untracked);
        }
        return;
    }
    std::string scripts;
    if (s.has_oninstall) scripts = "oninstall (" + bytes_text(s.oninstall_size) + ")";
    if (s.has_onuninstall) {
        scripts += (scripts.empty() ? "" : ", ") + std::string("onuninstall (") +
                   bytes_text(s.onuninstall_size) + ")";
    }
    field(indent, "Scripts:", scripts.empty() ? "none" : scripts);
    field(indent, "Files:", s.has_archive ? bytes_text(s.archive_size) + " compressed" : "none");
}

}  // namespace

int run_info(int argc, char** argv) {
    const char* file = nullptr;
    int parsed = single_file_arguments(argc, argv, usage, help, &file);
    if (parsed == -1) return exit_ok;
    if (parsed != exit_ok) return parsed;

    package_input input(file);
    if (!input.open()) return exit_failure;
    package_summary top;
    package_visitor skip_contents;
    if (!walk_package(input, top, skip_contents, false)) return exit_failure;

    print_summary(top, "", input.reader().is_untracked());
    std::printf("\n");
    std::string size = std::to_string(input.declared_size()) + " bytes declared";
    if (input.size_known()) {
        size += ", " + std::to_string(input.real_size()) + " bytes in the file";
        if (input.real_size() != input.declared_size()) size += " (mismatch)";
    }
    field("", "Size:", size);
    std::fflush(stdout);
    if (input.size_known() && input.real_size() != input.declared_size()) {
        report(file, "declares %" PRIu64 " bytes but holds %" PRIu64, input.declared_size(),
               input.real_size());
        return exit_failure;
    }
    return exit_ok;
}
