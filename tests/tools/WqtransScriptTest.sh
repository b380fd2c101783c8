#!/usr/bin/env bash
# scripts/wqtrans on a machine that lacks the tool's packages, with stand-ins for id,
# dpkg-query and apt-get first on PATH and no sudo:
#   - not root: it names the missing packages and how to install them, and stops;
#   - root, apt-get failing: one line per step, then the end of apt's log;
#   - it asks only for the tool's packages, not the tests' or benchmarks';
#   - apt's log is appended to, never emptied;
#   - a tool newer than its sources runs at once, with nothing on stderr.
#   WqtransScriptTest.sh SOURCE_DIR
set -uo pipefail
source_dir="$1"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
failures=0
check() { # check WHAT CONDITION...
    local what="$1"
    shift
    if ! "$@"; then
        echo "FAILED: $what" >&2
        failures=$((failures + 1))
    fi
}

# A copy of the scripts, so that the logs land in the scratch directory.
mkdir -p "$scratch/tree/scripts" "$scratch/bin"
cp "$source_dir/scripts/wqtrans" "$source_dir/scripts/deps.sh" "$scratch/tree/scripts/"
for tool in bash env dirname basename grep sed tail mkdir cat date find; do
    ln -s "$(command -v "$tool")" "$scratch/bin/$tool"
done
printf '#!/bin/sh\nexit 1\n' >"$scratch/bin/dpkg-query"
printf '#!/bin/sh\necho "$FAKE_UID"\n' >"$scratch/bin/id"
printf '#!/bin/sh\necho "apt-get $*" >> "%s/apt-calls"\necho "Reading package lists..."\n[ "$1 $2 $3" = "-o DPkg::Lock::Timeout=900 update" ] && exit 0\necho "E: Unable to locate package libgif-dev"\nexit 100\n' \
    "$scratch" >"$scratch/bin/apt-get"
chmod +x "$scratch/bin/"*

run() { # run UID: the script's status, stdout and stderr
    FAKE_UID="$1" PATH="$scratch/bin" "$scratch/tree/scripts/wqtrans" list >"$scratch/out" 2>"$scratch/err"
    echo $? >"$scratch/status"
}

run 1000
check "not root: fails" test "$(cat "$scratch/status")" -ne 0
check "not root: names the packages" grep -q "needed and not installed: g++ cmake ninja-build pkg-config libpng-dev" "$scratch/err"
check "not root: says how" grep -q "apt-get install" "$scratch/err"
check "not root: no test packages" bash -c "! grep -q 'gtest\|benchmark\|ccache' '$scratch/err'"
check "not root: apt-get not run" test ! -e "$scratch/apt-calls"

mkdir -p "$scratch/tree/build/logs"
echo "an earlier step's log" >"$scratch/tree/build/logs/apt.log"
run 0
check "apt failing: earlier log kept" grep -q "an earlier step's log" "$scratch/tree/build/logs/apt.log"
check "apt failing: fails" test "$(cat "$scratch/status")" -ne 0
check "apt failing: one line per step" grep -qx "Updating the package lists..." "$scratch/err"
check "apt failing: apt's output only in the log's end" bash -c "! grep -q '^Reading' '$scratch/err'"
check "apt failing: shows the log" grep -q "  E: Unable to locate package libgif-dev" "$scratch/err"
check "apt failing: log kept" grep -q "Unable to locate" "$scratch/tree/build/logs/apt.log"
check "apt failing: lock timeout" grep -q "install -y g++ cmake" "$scratch/apt-calls"
check "apt failing: lock timeout on every call" test "$(grep -vc "DPkg::Lock::Timeout=900" "$scratch/apt-calls")" -eq 0
check "apt failing: no test packages" bash -c "! grep -q 'gtest\|benchmark' '$scratch/apt-calls'"

# Built and newer than its sources (the copy has none): run at once, silently, with
# no package asked for.
mkdir -p "$scratch/tree/build/tool/tools" "$scratch/tree/tools"
touch -d "2000-01-01" "$scratch/tree/tools"
printf '#!/bin/sh\necho "ran $*"\n' >"$scratch/tree/build/tool/tools/wqtrans"
chmod +x "$scratch/tree/build/tool/tools/wqtrans"
rm -f "$scratch/apt-calls"
run 1000
check "up to date: runs" test "$(cat "$scratch/status")" -eq 0
check "up to date: the tool's output" grep -qx "ran list" "$scratch/out"
check "up to date: silent" test ! -s "$scratch/err"
check "up to date: no apt-get" test ! -e "$scratch/apt-calls"
# A source newer than the tool: the build is needed again (here: packages first).
touch -d "2001-01-01" "$scratch/tree/build/tool/tools/wqtrans"
touch -d "2002-01-01" "$scratch/tree/tools"
run 1000
check "source changed: not run as it was" bash -c "! grep -q 'ran list' '$scratch/out'"

if [ "$failures" -ne 0 ]; then
    echo "--- stderr of the last run:" >&2
    cat "$scratch/err" >&2
    exit 1
fi
echo "scripts/wqtrans: all checks passed"
