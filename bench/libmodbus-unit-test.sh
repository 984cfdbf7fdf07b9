#!/bin/bash
# Runs libmodbus's own unit-test client (tests/unit-test-client.c) against
# korvex-cli run --strict serving the client's test map, and counts its checks.
#
#   bench/libmodbus-unit-test.sh [--tcp] LIBMODBUS_SOURCE_DIR [KORVEX_CLI]
#
# LIBMODBUS_SOURCE_DIR is a libmodbus source tree of the version installed
# (3.1.6 on Debian 12: git clone -b v3.1.6 https://github.com/stephane/libmodbus),
# or the examples folder of Debian's libmodbus-dev
# (/usr/share/doc/libmodbus-dev/examples), which holds the same client;
# nothing of it is copied into this repository. With --tcp the client runs in
# its Modbus TCP mode against korvex-cli run --tcp=127.0.0.1:1502. The client is built in a
# temporary folder against the system's libmodbus, with two changes: it opens
# the emulator's virtual port, and a failed check is counted instead of ending
# the run, so that every check is tried. Its checks that need libmodbus's own
# test server (a late answer at 0x172, a wrong slave at 0x171, a malformed
# answer to a read of 2 registers, exception 06 at 0x170) fail against any
# other slave.
set -euo pipefail

mode=rtu
if [ "${1:-}" = "--tcp" ]; then
    mode=tcp
    shift
fi
src=${1:?usage: $0 [--tcp] LIBMODBUS_SOURCE_DIR [KORVEX_CLI]}
root=$(cd "$(dirname "$0")/.." && pwd)
cli=${2:-$root/build/src/app/korvex-cli}
tests=$src/tests
[ -d "$tests" ] || tests=$src
[ -f "$tests/unit-test-client.c" ] && { [ -f "$tests/unit-test.h.in" ] || [ -f "$tests/unit-test.h" ]; } ||
    { echo "no unit-test-client.c and unit-test.h(.in) in $src or $src/tests" >&2; exit 2; }
[ -x "$cli" ] || { echo "no korvex-cli at $cli (build first)" >&2; exit 2; }

work=$(mktemp -d)
korvex=
cleanup() {
    [ -n "$korvex" ] && kill "$korvex" 2>/dev/null && wait "$korvex" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

link=$work/tty
if [ -f "$tests/unit-test.h.in" ]; then
    sed -e 's/@HAVE_INTTYPES_H@/1/' -e 's/@HAVE_STDINT_H@/1/' "$tests/unit-test.h.in" > "$work/unit-test.h"
else
    cp "$tests/unit-test.h" "$work/unit-test.h"
fi
# The checks count instead of jumping to the end; the count is printed at exit.
sed -e '/^#define ASSERT_TRUE/,/^};/{
            s/printf("OK\\n");/printf("OK\\n"); ++ut_passed;/
            s/goto close;/++ut_failed;/
        }' \
    -e "s|\"/dev/ttyUSB1\"|\"$link\"|" \
    -e '/#include "unit-test.h"/a\
static int ut_passed, ut_failed;\
static void ut_report(void) __attribute__((destructor));\
static void ut_report(void) { printf("\\nCHECKS: %d passed, %d failed\\n", ut_passed, ut_failed); }' \
    "$tests/unit-test-client.c" > "$work/unit-test-client.c"
cc -o "$work/unit-test-client" -I"$work" "$work/unit-test-client.c" \
    $(pkg-config --cflags --libs libmodbus) -w

export XDG_CONFIG_HOME=$work/config
mkdir -p "$XDG_CONFIG_HOME"
if [ "$mode" = tcp ]; then
    transport=--tcp=127.0.0.1:1502
    ready="^N	"
else
    transport=--virtual="$link"
    ready="^V	"
fi
"$cli" run --strict "$transport" "$root/examples/libmodbus-unit-test.kvxd" > "$work/korvex.log" 2>&1 &
korvex=$!
for _ in $(seq 100); do
    grep -q "$ready" "$work/korvex.log" && break
    sleep 0.1
done
grep -q "$ready" "$work/korvex.log" || { echo "korvex-cli did not start:" >&2; cat "$work/korvex.log" >&2; exit 1; }

"$work/unit-test-client" "$mode" > "$work/client.log" 2>&1 || true
# The checks' titles with their results; frames and waits of the debug output
# are left out.
sed -E -e 's/(\[[0-9A-F]{2}\])+//g' -e 's/Waiting for a confirmation\.\.\.//g' \
    -e 's/<(\[[0-9A-F]{2}\])*//g' "$work/client.log" |
    grep -E "OK$|assertion error|^Additional data" || true
echo
grep "^CHECKS:" "$work/client.log" || { echo "the client did not finish:" >&2; tail -20 "$work/client.log" >&2; exit 1; }
