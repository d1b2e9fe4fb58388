# Sourced by the scripts that start Wine: "${fixed_layout[@]}" before a command runs it, and every
# process it starts, with the address space laid out without randomisation.
#
# Debian's 64-bit Wine loader has no preloader: it is an ordinary program linked at 0x7d000000,
# and nothing holds the addresses every Windows process needs before the C library's heap
# starts right after the loader. Current kernels start that heap anywhere in the gigabyte above
# the loader, so in a few thousand Wine processes one finds it across 0x7ffe0000, where its
# shared user data page belongs ("failed to map the shared user data: c0000018"). That process
# ends before its first instruction; when it is a program being started, CreateProcess in its
# parent fails with ERROR_INTERNAL_ERROR. Without randomisation the heap stays at the loader,
# far below. The setting passes to every child, the wine server and Wine's services included.
# Where the system refuses it (some container profiles), commands run as they are.
fixed_layout=()
if setarch -R true 2>/dev/null; then
    fixed_layout=(setarch -R)
fi

# Wine's 32-bit loader is a 32-bit Linux program. A kernel started with its 32-bit emulation
# off (ia32_emulation=off, the default of some kernels) refuses it with "Exec format error":
# there no 32-bit Windows program can run, and the scripts skip what needs one, saying so.
# ZU_EMULATE_32BIT=1 makes a machine that runs 32-bit programs behave as one that does not, so
# that the build's 64-bit tools and the emulated tier can be tried there.
zu_runs_32bit() {
    [ "${ZU_EMULATE_32BIT:-}" != 1 ] && /usr/lib/wine/wine --version >/dev/null 2>&1
}
# Whether 32-bit programs can run under qemu's user-mode emulation instead (wine-emulated.sh).
zu_emulates_32bit() {
    command -v qemu-i386-static >/dev/null 2>&1
}
zu_no_32bit_notice() {
    echo "$1: skipped: this kernel cannot run 32-bit programs (32-bit emulation is off), so Wine runs no 32-bit Windows program here" >&2
}
