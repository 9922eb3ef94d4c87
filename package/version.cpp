#include "package/version.h"

#include <cstdio>

namespace {

// The word between the minor number and the stage number; stages other than
// the three pre-release ones have none.
const char* stage_word(unsigned stage) {
    switch (stage) {
        case 'a':
            return "alpha";
        case 'b':
            return "beta";
        case 'c':
            return "rc";
        default:
            return "";
    }
}

// Reads one decimal component of at most 255. A component is "0" or starts
// with a non-zero digit: "2.09" would print back as "2.9" and is more likely
// a typing slip than a version.
bool parse_component(const char*& at, unsigned* value) {
    if (*at < '0' || *at > '9') return false;
    if (*at == '0' && at[1] >= '0' && at[1] <= '9') return false;
    unsigned result = 0;
    while (*at >= '0' && *at <= '9') {
        result = result * 10 + static_cast<unsigned>(*at - '0');
        if (result > 255) return false;
        ++at;
    }
    *value = result;
    return true;
}

// Matches the word at the front of text and steps over it.
bool take_word(const char*& at, const char* word) {
    const char* probe = at;
    for (; *word != '\0'; ++word, ++probe) {
        if (*probe != *word) return false;
    }
    at = probe;
    return true;
}

}  // namespace

const char* version_text(std::uint32_t version) {
    static char area[80];
    const unsigned major = version >> 24;
    const unsigned minor = (version >> 16) & 0xffu;
    const unsigned stage = (version >> 8) & 0xffu;
    const unsigned number = version & 0xffu;
    if (stage == 'f') {
        if (number != 0) {
            std::snprintf(area, sizeof area, "%u.%u.%u", major, minor, number);
        } else {
            std::snprintf(area, sizeof area, "%u.%u", major, minor);
        }
    } else if (number != 0) {
        std::snprintf(area, sizeof area, "%u.%u%s%u", major, minor, stage_word(stage), number);
    } else {
        std::snprintf(area, sizeof area, "%u.%u%s", major, minor, stage_word(stage));
    }
    return area;
}

bool parse_version(const char* text, std::uint32_t* version) {
    if (text == nullptr) return false;
    const char* at = text;
    unsigned major = 0;
    unsigned minor = 0;
    unsigned number = 0;
    if (!parse_component(at, &major) || *at++ != '.' || !parse_component(at, &minor)) {
        return false;
    }
    // A bare "major.minor" is the final release: the text of a stage other
    // than a, b, c and f has no word and cannot be told apart from it. An
    // explicit zero number ("2.9.0", "3.0rc0") is accepted and means the same
    // as none, which is how such versions are commonly written.
    unsigned char stage = 'f';
    if (*at == '.') {
        ++at;
        if (!parse_component(at, &number)) return false;
    } else if (*at != '\0') {
        if (take_word(at, "alpha")) {
            stage = 'a';
        } else if (take_word(at, "beta")) {
            stage = 'b';
        } else if (take_word(at, "rc")) {
            stage = 'c';
        } else {
            return false;
        }
        if (*at != '\0' && !parse_component(at, &number)) return false;
    }
    if (*at != '\0') return false;
    *version = make_version(major, minor, stage, number);
    return true;
}
