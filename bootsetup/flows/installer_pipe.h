#pragma once

#include <cstddef>
#include <cstdio>

// A package installer for one package file: "/sbin/installer -r /mnt -",
// the package on its standard input, its messages on the console. Null when
// it cannot be started.
[[nodiscard]] std::FILE* start_package_installer();

// Writes count bytes into the installer's pipe and pushes them through, so
// that an installer that has ended shows here and not at the close. False
// when they did not all go in.
[[nodiscard]] bool feed_installer(std::FILE* installer, const void* bytes, std::size_t count);

// Pieces of a package written into the pipe at once.
inline constexpr std::size_t installer_piece_bytes = 4096;
