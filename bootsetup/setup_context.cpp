#include "bootsetup/setup_context.h"

#include <cstring>

volatile unsigned char setup_finished = 0;

void init_setup_context(setup_context& context) {
    std::memset(&context.floppy, 0, sizeof context.floppy);
    context.floppy.part_count = 1;
    clear_disk_record(context.target);
}
