#pragma once

#include "floppy/floppy_set.h"

// The floppy prompts of the floppy library answered on the console.
class console_floppy_prompter : public floppy_prompter {
public:
    void wait_for_key(int key) override;
};
