#!/usr/bin/env bash
# Runs every test of the build folder given as the first argument with CTest; further
# arguments go to CTest (for example -R tst_clientries to run one program).
#
# The tests run inside a private D-Bus session (dbus-run-session) whose Secret
# Service is a gnome-keyring with an unlocked default collection, in a temporary
# home, so that nothing touches the user's own session, keyring or settings. There
# is no display: an unlock prompt shown on one would wait for an answer forever.
set -euo pipefail
build_dir=$(cd "${1:?build folder}" && pwd)
shift
script="$(cd "$(dirname "$0")" && pwd)/$(basename "$0")"
keyring_wait_seconds=10

if [ "${KEYLOFT_TEST_SESSION:-}" != 1 ]; then
    test_home=$(mktemp -d)
    trap 'rm -rf "$test_home"' EXIT
    mkdir -p "$test_home/data" "$test_home/config" "$test_home/cache"
    mkdir -m 700 "$test_home/runtime"
    export KEYLOFT_TEST_SESSION=1 HOME="$test_home" XDG_RUNTIME_DIR="$test_home/runtime" \
        XDG_DATA_HOME="$test_home/data" XDG_CONFIG_HOME="$test_home/config" \
        XDG_CACHE_HOME="$test_home/cache"
    unset DISPLAY WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS
    status=0
    dbus-run-session -- "$script" "$build_dir" "$@" || status=$?
    "$(dirname "$script")/test-share.sh"
    exit "$status"
fi

# Inside the private session: start the keyring, unlocked with a password on its
# standard input, and wait until it owns the Secret Service's name.
printf '%s' keyloft-test |
    gnome-keyring-daemon --unlock --components=secrets --daemonize >/dev/null
if ! gdbus wait --session --timeout "$keyring_wait_seconds" org.freedesktop.secrets; then
    echo "The Secret Service (gnome-keyring) did not start on the test session bus." >&2
    exit 1
fi

# A sanitizer build reports leaks of its libraries' own that we cannot mend; the full
# stacks that suppressions are matched against need the slow unwinder (GLib is built
# without frame pointers).
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$(dirname "$script")/lsan.supp}
export ASAN_OPTIONS=${ASAN_OPTIONS:-fast_unwind_on_malloc=0}
cd "$build_dir"
ctest --output-on-failure --timeout 900 -j "$(nproc)" "$@"
