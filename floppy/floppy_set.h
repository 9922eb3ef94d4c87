#pragma once

#include <cstdint>
#include <cstdio>

#include "base/byte_string.h"
#include "floppy/floppy_header.h"

// What the floppy prompts need from the console, which belongs to the
// program above this library.
class floppy_prompter {
public:
    virtual ~floppy_prompter() = default;
    // Returns once the user pressed the key (10 for Enter).
    virtual void wait_for_key(int key) = 0;
};

// "1st", "2nd", "3rd", then "4th", "11th", "21th" and so on.
[[nodiscard]] byte_string ordinal_text(unsigned number);

// Asks for the floppy of part k until its part file can be opened from
// "/floppy" (mounted from "/dev/fd0"). Returns the part file, or null when
// it exists but cannot be opened; the floppy then stays mounted.
[[nodiscard]] std::FILE* open_floppy_part(floppy_header& record, unsigned k,
                                          floppy_prompter& prompter);

// Checks one part file and writes its data to output, repairing one bad
// block per group from a single parity block. record holds the header of
// the last part accepted; the part's header replaces it when the part
// belongs to the same set. Returns the bytes written (the part's
// data_length), 0 for a bad floppy (nothing written), or -1 when writing to
// output failed.
[[nodiscard]] std::int64_t install_part(floppy_header& record, std::FILE* part, std::FILE* output);
