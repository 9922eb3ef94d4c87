#include "bootsetup/floppy_prompts.h"

#include "bootsetup/prompts.h"

void console_floppy_prompter::wait_for_key(int key) {
    ::wait_for_key(key);
}
