#pragma once

#include "disk/disk_record.h"
#include "floppy/floppy_header.h"

// What every installation flow works on: the header of the floppy set being
// read and the disk the new system goes to.
struct setup_context {
    floppy_header floppy;
    disk_record target;
};

// Everything zero except the floppy part count, which is 1 so that a floppy
// installation asks for the first data floppy before it knows the real
// count.
void init_setup_context(setup_context& context);

// Set once the installation flow has returned; until then an interrupt
// aborts the installation.
extern volatile unsigned char setup_finished;
