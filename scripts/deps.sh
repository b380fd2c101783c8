# Installs the Debian packages that a build needs, when they are missing.
# Sourced by the other scripts: `ensure_packages NAME...`.

wq_sudo() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# The packages of the Linux build, tests, benchmarks and tool.
WQ_PACKAGES=(g++ cmake ninja-build pkg-config ccache libgtest-dev libgmock-dev libbenchmark-dev
             libpng-dev libcli11-dev libgif-dev libwebp-dev libjpeg-dev libcairo2-dev fonts-dejavu-core
             libimagequant-dev libavcodec-dev libavformat-dev libavutil-dev libswscale-dev)
# The libFuzzer targets (clang with its sanitizer and fuzzer runtimes).
WQ_FUZZ_PACKAGES=(clang libclang-rt-dev)
# The 32-bit Windows build and its tests under Wine.
WQ_WINDOWS_PACKAGES=(g++-mingw-w64-i686 wine wine32:i386 fonts-wine)

ensure_packages() {
    local missing=()
    for package in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
            missing+=("$package")
        fi
    done
    if [ ${#missing[@]} -eq 0 ]; then
        return 0
    fi
    echo "Installing Debian packages: ${missing[*]}" >&2
    for package in "${missing[@]}"; do
        if [[ "$package" == *:i386 ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
            wq_sudo dpkg --add-architecture i386
        fi
    done
    wq_sudo apt-get -o DPkg::Lock::Timeout=900 update -qq
    DEBIAN_FRONTEND=noninteractive wq_sudo apt-get -o DPkg::Lock::Timeout=900 install -y -qq "${missing[@]}" >&2
}
