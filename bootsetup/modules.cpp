#include "bootsetup/modules.h"

#include "base/programs.h"

const char* const base_modules[] = {
    "fat", "vfat", "isofs", "cdrom", "ide-cd", "usbcore", "usb-uhci", "usb-ohci", "hid", nullptr,
};

const char* const network_modules[] = {
    "crc32",   "mii",     "slhc",     "8390",      "hp100",       "ne2k-pci",    "lance",
    "3c509",   "3c59x",   "sis900",   "8139too",   "pcnet32",     "winbond-840", "dmfe",
    "tulip",   "ns83820", "sundance", "via-rhine", "e100",        "e1000",       "sk98lin",
    "tg3",     "natsemi", "b44",      "tlan",      "velocityget", "il",          "r8169",
    "rtl8150", "pegasus", nullptr,
};

void load_modules(const char* const* list) {
    for (; *list != nullptr; ++list) {
        int ignored = run_program(nullptr, "/sbin/insmod", {*list});
        (void)ignored;
    }
}
