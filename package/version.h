#pragma once

#include <cstdint>

// A version is one 32-bit number compared unsigned: major (bits 31-24),
// minor (23-16), stage (15-8: 'a' alpha, 'b' beta, 'c' release candidate,
// 'f' final) and the number within the stage (7-0).
constexpr std::uint32_t make_version(unsigned major, unsigned minor, unsigned char stage,
                                     unsigned number) {
    return (major << 24) | (minor << 16) | (static_cast<std::uint32_t>(stage) << 8) | number;
}

// The text of a version ("2.9.5", "3.0beta", "3.0rc3", "3.0alpha42"), in one
// static area that the next call overwrites.
const char* version_text(std::uint32_t version);

// The inverse of version_text: "2.9.5", "2.9", "3.0beta", "3.0rc3",
// "3.0alpha42". A bare "major.minor" is final ('f'); "2.9.0" and "3.0rc0"
// mean "2.9" and "3.0rc". False for text that names no version, does not fit
// the byte fields, has a leading zero, a sign, blanks or trailing bytes; then
// *version is left alone.
[[nodiscard]] bool parse_version(const char* text, std::uint32_t* version);
