#pragma once

// Keeps the inherited standard streams when the VGA console can be opened;
// otherwise moves them to the serial line and sends the output of other
// programs to "/dev/null" (log_device), since there is no hidden console.
void choose_console(const char* vga_console = "/dev/tty0",
                    const char* serial_console = "/dev/ttyS0");
