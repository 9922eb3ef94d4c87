#include "base/standard_streams.h"

#include <new>

#include "base/file_buffers.h"

namespace {

struct console_set {
    file_in_buffer in_buffer{0};
    file_out_buffer out_buffer{1};
    file_out_buffer err_buffer{2};
    in_stream in{&in_buffer};
    out_stream out{&out_buffer};
    out_stream err{&err_buffer};
};

// The streams are never destroyed: the empty destructor of the union leaves
// its member alone, so nothing is flushed at exit and code that runs during
// exit can still use them.
union console_storage {
    constexpr console_storage() : unused(0) {}
    ~console_storage() {}
    char unused;
    console_set set;
};

console_storage storage;

// Built ahead of every ordinary static constructor, so such constructors may
// already write to the console.
__attribute__((constructor(101))) void make_console_streams() {
    new (&storage.set) console_set;
}

}  // namespace

constinit in_stream& console_in = storage.set.in;
constinit out_stream& console_out = storage.set.out;
constinit out_stream& console_err = storage.set.err;
