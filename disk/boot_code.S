# The program of the master boot record: it starts the boot sector of the
# first active partition. The BIOS loads it to 0x7C00 and jumps there with
# the boot drive in DL; it moves itself to 0x0600 first, because the
# partition's boot sector must be loaded where this program now runs.
#
# Assembled for the 16-bit real mode and linked at 0x0600; the first
# instructions, which still run at 0x7C00, use no absolute address.

        .code16
        .text
        .globl start

        .set relocated_base, 0x0600
        .set load_address, 0x7C00
        .set partition_table, relocated_base + 446
        .set signature_word, load_address + 510
        .set read_attempts, 5

start:
        cli
        xorw    %ax, %ax
        movw    %ax, %ss
        movw    $load_address, %sp
        movw    %ax, %ds
        movw    %ax, %es
        sti
        cld
        movw    $load_address, %si
        movw    $relocated_base, %di
        movw    $256, %cx
        rep movsw
        ljmp    $0, $relocated

relocated:
        movw    $partition_table, %si
        movw    $4, %cx
find_active:
        movb    (%si), %al
        cmpb    $0x80, %al
        je      read_boot_sector
        # Any status other than "active" or "inactive" means the table is
        # damaged, and guessing which partition was meant could boot the
        # wrong system.
        testb   %al, %al
        jnz     missing_system
        addw    $16, %si
        loop    find_active
        int     $0x18
        jmp     halt

read_boot_sector:
        movw    $read_attempts, %di
read_attempt:
        movw    (%si), %dx
        movw    2(%si), %cx
        movw    $load_address, %bx
        movw    $0x0201, %ax
        int     $0x13
        jnc     check_signature
        xorw    %ax, %ax
        movb    (%si), %dl
        int     $0x13
        decw    %di
        jnz     read_attempt
        movw    $error_loading, %si
        jmp     print_message

check_signature:
        cmpw    $0xAA55, signature_word
        jne     missing_system
        # The started sector expects its drive in DL and its partition
        # entry in SI.
        movb    (%si), %dl
        ljmp    $0, $load_address

missing_system:
        movw    $missing_os, %si

        # SI, not BP, walks the text: some video BIOSes destroy BP when the
        # teletype output scrolls the screen.
print_message:
        lodsb
        testb   %al, %al
        jz      halt
        movb    $0x0E, %ah
        movw    $0x0007, %bx
        int     $0x10
        jmp     print_message

halt:
        hlt
        jmp     halt

error_loading:
        .asciz  "Error loading operating system"
missing_os:
        .asciz  "Missing operating system"

        # The image is exactly 184 bytes; .org fails the build if the code
        # grows past that.
        .org    184, 0
