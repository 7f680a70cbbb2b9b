# Which Windows architectures this machine builds and which it runs, and where each one lives.
# Sourced by the other scripts. Every architecture is built; an architecture runs (programs, tests)
# only where the machine executes code of its kind, which some processors cannot do for 32-bit x86.

all_archs=(i686 x86_64)

# The smallest Linux programs of each kind: an ELF header, one loadable segment and the code of
# exit(0). Whether the kernel starts them is the only sure answer: a processor may run 64-bit code
# without the 32-bit compatibility mode, whatever the machine's name says.
probe_program() {
    case $1 in
    i686)
        printf '\x7f\x45\x4c\x46\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
        printf '\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00'
        printf '\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00'
        printf '\x00\x80\x04\x08\x00\x80\x04\x08\x5d\x00\x00\x00\x5d\x00\x00\x00\x05\x00\x00\x00'
        printf '\x00\x10\x00\x00\xb8\x01\x00\x00\x00\x31\xdb\xcd\x80'
        ;;
    x86_64)
        printf '\x7f\x45\x4c\x46\x02\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x3e\x00'
        printf '\x01\x00\x00\x00\x78\x00\x40\x00\x00\x00\x00\x00\x40\x00\x00\x00\x00\x00\x00\x00'
        printf '\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x40\x00\x38\x00\x01\x00\x00\x00'
        printf '\x00\x00\x00\x00\x01\x00\x00\x00\x05\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00'
        printf '\x00\x00\x40\x00\x00\x00\x00\x00\x00\x00\x40\x00\x00\x00\x00\x00\x81\x00\x00\x00'
        printf '\x00\x00\x00\x00\x81\x00\x00\x00\x00\x00\x00\x00\x00\x10\x00\x00\x00\x00\x00\x00'
        printf '\xb8\x3c\x00\x00\x00\x31\xff\x0f\x05'
        ;;
    esac
}

machine_executes() {
    local probe status
    probe=$(mktemp)
    probe_program "$1" >"$probe"
    chmod +x "$probe"
    "$probe" 2>/dev/null && status=0 || status=1
    rm -f "$probe"
    return $status
}

# The architectures whose programs this machine runs, the 32-bit one first.
runnable_archs() {
    local arch
    for arch in "${all_archs[@]}"; do
        machine_executes "$arch" && echo "$arch"
    done
    return 0
}

# The architecture of the run folder: the program users install where the machine runs it.
run_arch() {
    local arch
    for arch in "${all_archs[@]}"; do
        machine_executes "$arch" && { echo "$arch"; return 0; }
    done
    return 0
}

toolchain_triple() {
    echo "$1-w64-mingw32"
}
