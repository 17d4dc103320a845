#!/usr/bin/env bash
# Times loading 1,000 entries and one change on the Secret Service (a private
# gnome-keyring) beside the same on a keychain file, in one run, and prints the ratios.
# Also times secret-tool's own search over the same items, the floor that any client of
# this keyring meets, and runs bench_live on the same keyring.
# Usage: bench/compare_backends.sh BUILD_DIR
set -euo pipefail
build_dir=$(cd "${1:?build folder}" && pwd)

if [ "${KEYLOFT_BENCH_SESSION:-}" != 1 ]; then
    home=$(mktemp -d)
    trap 'rm -rf "$home"' EXIT
    mkdir -m 700 "$home/runtime"
    export KEYLOFT_BENCH_SESSION=1 HOME="$home" XDG_RUNTIME_DIR="$home/runtime" \
        XDG_DATA_HOME="$home/data" XDG_CONFIG_HOME="$home/config"
    unset DISPLAY WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS
    exec dbus-run-session -- "$0" "$build_dir" 2>/dev/null
fi

printf '%s' bench | gnome-keyring-daemon --unlock --components=secrets --daemonize >/dev/null
gdbus wait --session --timeout 10 org.freedesktop.secrets

secret_service=$("$build_dir/bench/bench_secret_service" 1000 --keep)
file=$(QT_QPA_PLATFORM=offscreen "$build_dir/bench/bench_file_keychain" 2>/dev/null | grep ' 1000 items')
start=$(date +%s%N)
secret-tool search --all crtr Klft >/dev/null 2>&1 || true
floor=$(( ($(date +%s%N) - start) / 1000000 ))

ss_load=$(sed -n 's/^load .*median \([0-9.]*\) ms.*/\1/p' <<<"$secret_service")
ss_change=$(sed -n 's/^one change.*median \([0-9.]*\) ms.*/\1/p' <<<"$secret_service")
file_load=$(sed -n 's/.*load all \([0-9.]*\) ms.*/\1/p' <<<"$file")
file_change=$(sed -n 's/.*modify one \([0-9.]*\) ms.*/\1/p' <<<"$file")
echo "1,000 entries          Secret Service    keychain file    ratio"
awk -v a="$ss_load" -v b="$file_load" 'BEGIN { printf "load all               %10.1f ms    %10.2f ms    %6.0fx\n", a, b, a / b }'
awk -v a="$ss_change" -v b="$file_change" 'BEGIN { printf "one change             %10.1f ms    %10.2f ms    %6.1fx\n", a, b, a / b }'
echo "secret-tool search --all over the same items: ${floor} ms"

# How fast a change made elsewhere reaches a running list of 1,000 entries here.
echo
"$build_dir/bench/bench_live" --secret-service 5
