#include <sys/mount.h>

#include <cstdio>

#include "base/programs.h"
#include "bootsetup/floppy_prompts.h"
#include "bootsetup/flows/flows.h"
#include "bootsetup/flows/steps.h"
#include "bootsetup/setup_context.h"
#include "bootsetup/target.h"
#include "floppy/floppy_set.h"

namespace {

// Ends the installer's input after a failure, so that it does not keep
// "/mnt" busy while the dispatch unmounts it.
bool give_up(std::FILE* installer) {
    std::printf("\nFATAL ERROR: Installation error\n");
    (void)close_program(installer);
    return false;
}

}  // namespace

bool install_floppy_set(setup_context& context) {
    std::FILE* installer = open_program_input("/sbin/installer", {"-q", "-r", "/mnt", "-"});
    if (installer == nullptr) {
        std::printf("\nFATAL ERROR: couldn't start install\n");
        return false;
    }
    console_floppy_prompter prompter;
    for (unsigned k = 0; k < context.floppy.part_count;) {
        std::printf("\n");
        std::FILE* part = open_floppy_part(context.floppy, k, prompter);
        if (part == nullptr) return give_up(installer);
        // A bad floppy may still have had its header taken; only a good one
        // may tell how many floppies the set has, or fix the set itself.
        const floppy_header last_good = context.floppy;
        std::int64_t written = install_part(context.floppy, part, installer);
        std::fclose(part);
        if (written < 0) return give_up(installer);
        // A bad floppy comes out of the drive before its replacement goes
        // in, so that the next mount does not land on top of it.
        umount("/floppy");
        if (written == 0) {
            context.floppy = last_good;
            std::printf("\nERROR: bad floppy, please replace it.\n");
            continue;
        }
        ++k;
    }
    (void)close_program(installer);
    return true;
}

bool floppy_installation(setup_context& context) {
    show_banner("floppy installation");
    if (!find_target_disk(context)) return false;
    bool keep = ask_keep_config();
    if (!confirm_erase()) return false;
    if (!prepare_target_disk(context, keep)) return false;
    if (!install_floppy_set(context)) return false;
    finish_installation(context);
    std::printf("\nSoftware installed.\nRemove boot floppy\n");
    return true;
}
