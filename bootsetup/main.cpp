#include "bootsetup/console_choice.h"
#include "bootsetup/dispatch.h"
#include "bootsetup/init_fork.h"
#include "bootsetup/modules.h"
#include "bootsetup/reboot.h"
#include "bootsetup/setup_context.h"
#include "bootsetup/signal_handlers.h"
#include "bootsetup/terminal.h"

int main(int argc, char** argv) {
    int parent_result = 0;
    if (!split_off_worker(argc > 0 ? argv[0] : nullptr, parent_result)) return parent_result;
    choose_console();
    setup_console = new console_terminal;
    install_signal_handlers();
    load_modules(base_modules);
    setup_context context;
    init_setup_context(context);
    run_installation(context, argc, argv);
    return finish_and_reboot();
}
