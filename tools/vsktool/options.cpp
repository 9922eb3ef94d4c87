#include "tools/vsktool/options.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "package/format.h"
#include "package/package_name.h"
#include "package/version.h"

void report(const char* where, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    std::fprintf(stderr, "vsktool: %s: ", where);
    std::vfprintf(stderr, format, arguments);
    std::fputc('\n', stderr);
    va_end(arguments);
}

int usage_error(const char* usage, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    std::fputs("vsktool: ", stderr);
    std::vfprintf(stderr, format, arguments);
    std::fprintf(stderr, "\nusage: %s\n", usage);
    va_end(arguments);
    return exit_usage;
}

bool parse_number(const char* text, std::uint32_t* value) {
    if (*text < '0' || *text > '9') return false;
    errno = 0;
    char* end = nullptr;
    unsigned long long number = std::strtoull(text, &end, 10);
    if (errno != 0 || *end != '\0' || number > 0xffffffffull) return false;
    *value = static_cast<std::uint32_t>(number);
    return true;
}

bool parse_signed(const char* text, std::int32_t* value) {
    const char* digits = (*text == '-' || *text == '+') ? text + 1 : text;
    if (*digits < '0' || *digits > '9') return false;
    errno = 0;
    char* end = nullptr;
    long long number = std::strtoll(text, &end, 10);
    if (errno != 0 || *end != '\0' || number < INT32_MIN || number > INT32_MAX) return false;
    *value = static_cast<std::int32_t>(number);
    return true;
}

bool parse_bound(const std::string& text, std::uint32_t* version) {
    if (text.empty()) {
        *version = 0;
        return true;
    }
    return parse_version(text.c_str(), version);
}

const char* bad_name_reason(const std::string& name) {
    if (name.empty()) return "is empty";
    if (name.size() > static_cast<std::size_t>(name_field_size)) return "is longer than 16 bytes";
    if (name == "." || name == "..") return "is not a usable name";
    for (unsigned char c : name) {
        if (c <= ' ' || c == 0x7f) return "holds a blank or a control character";
        if (c == '/') return "holds a \"/\"";
    }
    // The installer's own rule has the last word, so a package built here is
    // never one it refuses.
    if (!valid_package_name(byte_string(name.data(), name.size()))) return "is not a usable name";
    return nullptr;
}

std::string parse_relation(const char* text, relation& r) {
    std::string fields[4];
    int count = 1;
    for (const char* at = text; *at != '\0'; ++at) {
        if (*at != ':') {
            fields[count - 1] += *at;
        } else if (++count > 4) {
            return "has more than four fields (NAME[:MIN[:MAX[:PRIORITY]]])";
        }
    }
    if (const char* why = bad_name_reason(fields[0])) return std::string("name ") + why;
    if (!parse_bound(fields[1], &r.min)) return "minimum \"" + fields[1] + "\" is not a version";
    if (!parse_bound(fields[2], &r.max)) return "maximum \"" + fields[2] + "\" is not a version";
    if (r.max != 0 && r.min > r.max) return "minimum is above the maximum";
    r.priority = 0;
    if (!fields[3].empty() && !parse_signed(fields[3].c_str(), &r.priority)) {
        return "priority \"" + fields[3] + "\" is not a number";
    }
    r.name = byte_string(fields[0].data(), fields[0].size());
    return std::string();
}

std::string relation_text(const relation& r) {
    std::string text = printable(r.name.data(), r.name.length());
    std::string bounds;
    if (r.min != 0) bounds += std::string(">= ") + version_text(r.min);
    if (r.max != 0) bounds += std::string(bounds.empty() ? "" : ", ") + "<= " + version_text(r.max);
    if (r.priority != 0) {
        bounds +=
            std::string(bounds.empty() ? "" : ", ") + "priority " + std::to_string(r.priority);
    }
    if (!bounds.empty()) text += " (" + bounds + ")";
    return text;
}

std::string printable(const char* data, std::size_t length) {
    std::string text;
    text.reserve(length);
    for (std::size_t i = 0; i < length; ++i) {
        unsigned char c = static_cast<unsigned char>(data[i]);
        if (c < ' ' || c == 0x7f || c == '\\') {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\%03o", c);
            text += escaped;
        } else {
            text += static_cast<char>(c);
        }
    }
    return text;
}

int single_file_arguments(int argc, char** argv, const char* usage, const char* help,
                          const char** file) {
    int first = 1;
    if (first < argc && std::strcmp(argv[first], "--") == 0) {
        ++first;
    } else if (first < argc &&
               (std::strcmp(argv[first], "--help") == 0 || std::strcmp(argv[first], "-h") == 0)) {
        std::printf("usage: %s\n%s", usage, help);
        return -1;
    } else if (first < argc && argv[first][0] == '-' && argv[first][1] != '\0') {
        return usage_error(usage, "unknown option \"%s\"", argv[first]);
    }
    if (argc - first != 1) return usage_error(usage, "needs exactly one package file");
    *file = argv[first];
    return exit_ok;
}

bool commit_output(replacement_file& file, const char* output) {
    if (file.commit()) return true;
    report(output, "cannot rename %s to it: %s", file.partial_path(), std::strerror(errno));
    return false;
}
