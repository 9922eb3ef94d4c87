#pragma once

#include "base/in_stream.h"
#include "base/out_stream.h"

// The standard streams on descriptors 0, 1 and 2, made before main runs and
// never flushed by the library: output that must appear ends with end_line
// or flush.
extern in_stream& console_in;
extern out_stream& console_out;
extern out_stream& console_err;
