#!/usr/bin/env bash
# Times keyloft-cli beside keepassxc-cli (the peer; Debian package keepassxc) on the same
# workloads of 1,000 and 10,000 entries: list, show a password, add, edit, rm. Each
# figure is the median wall time of whole processes, in milliseconds.
#
#   bench/bench_cli.sh BUILD_FOLDER [RUNS]
#
# Key derivation runs at each tool's minimum, so the figures show per-entry costs:
# keyloft's keychain file comes from bench_cli_keychain (the cheapest Argon2id cost,
# FileKeychainKdf::minimum(); keyloft-cli create-keychain always uses the standard
# cost); keepassxc-cli's database is imported with the lowest decryption time it
# accepts (-t 100 ms). The
# "open" row times what each tool pays before any command: keyloft-cli --help, and
# keepassxc-cli db-info (open and key derivation).
#
# Not run by the tests. Runs in a temporary home without a session bus, so nothing of
# the user's is touched.
set -euo pipefail
build=$(cd "${1:?build folder}" && pwd)
runs=${2:-5}
cli=$build/src/cli/keyloft-cli
make_keychain=$build/bench/bench_cli_keychain
command -v keepassxc-cli >/dev/null || { echo "keepassxc-cli is not installed" >&2; exit 1; }
pw='bench password'

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
echo "$pw" >"$work/pwfile"
mkdir -p "$work/home/config" && mkdir -m 700 "$work/run"
export HOME=$work/home XDG_CONFIG_HOME=$work/home/config XDG_RUNTIME_DIR=$work/run
export DBUS_SESSION_BUS_ADDRESS=unix:path=$work/no-bus
unset DISPLAY WAYLAND_DISPLAY

# Runs a command RUNS times (its input on standard input) and prints the medians of its
# wall time and of its processor time (user + system), in ms. @R@ in an argument becomes
# the run's number, so that the adds and removals of one run meet. On a shared machine
# the processor time is the steadier figure.
median_ms() {
    local input=$1 walls=() cpus=()
    shift
    for ((r = 0; r < runs; r++)); do
        local args=("${@//@R@/$r}")
        # keyloft-cli reads the keychain's password from descriptor 3, the entry's from
        # standard input.
        printf '%b' "$input" | /usr/bin/time -f '%e %U %S' -o "$work/time" "${args[@]}" \
            >/dev/null 2>"$work/err" 3<"$work/pwfile" || {
            echo "failed: $* ($(cat "$work/err"))" >&2
            exit 1
        }
        read -r wall user system <"$work/time"
        walls+=("$(awk -v w="$wall" 'BEGIN { printf "%d", w * 1000 }')")
        cpus+=("$(awk -v u="$user" -v s="$system" 'BEGIN { printf "%d", (u + s) * 1000 }')")
    done
    echo "$(printf '%s\n' "${walls[@]}" | sort -n | sed -n "$((runs / 2 + 1))p")" \
        "$(printf '%s\n' "${cpus[@]}" | sort -n | sed -n "$((runs / 2 + 1))p")"
}

# The same entries as bench_cli_keychain writes, as a KeePass XML file.
write_xml() {
    python3 - "$1" "$2" <<'PY'
import base64, sys
from xml.sax.saxutils import escape
n, path = int(sys.argv[1]), sys.argv[2]
with open(path, "w") as out:
    out.write('<?xml version="1.0" encoding="UTF-8"?>\n<KeePassFile><Meta><Generator>bench'
              '</Generator></Meta><Root><Group><UUID>%s</UUID><Name>Root</Name>\n'
              % base64.b64encode(b"\0" * 16).decode())
    for i in range(n):
        fields = {"Title": "Entry %d" % ((i * 7919) % n), "UserName": "user%d" % i,
                  "Password": "pw-%d" % i, "Notes": "Notes for entry %d" % i}
        out.write("<Entry><UUID>%s</UUID>" % base64.b64encode((i + 1).to_bytes(16, "big")).decode())
        for key, value in fields.items():
            out.write("<String><Key>%s</Key><Value>%s</Value></String>" % (key, escape(value)))
        out.write("</Entry>\n")
    out.write("</Group></Root></KeePassFile>\n")
PY
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.1fx", (b > 0 ? a / b : 0) }'; }

printf '%-8s %-14s %27s   %27s\n' "" "" "wall time (ms)" "processor time (ms)"
printf '%-8s %-14s %10s %10s %6s   %10s %10s %6s\n' entries command keepassxc keyloft ratio \
    keepassxc keyloft ratio
for n in 1000 10000; do
    keychain=$work/k$n.keychain
    db=$work/k$n.kdbx
    "$make_keychain" "$keychain" "$n"
    write_xml "$n" "$work/k$n.xml"
    printf '%s\n%s\n' "$pw" "$pw" | keepassxc-cli import -q -p -t 100 "$work/k$n.xml" "$db" >/dev/null 2>&1
    kl=("$cli" --keychain "$keychain" --password-fd 3)

    declare -A peer=() ours=()
    peer[open]=$(median_ms "$pw\n" keepassxc-cli db-info -q "$db")
    ours[open]=$(median_ms "" "$cli" --help)
    peer[list]=$(median_ms "$pw\n" keepassxc-cli ls -q "$db")
    ours[list]=$(median_ms "" "${kl[@]}" list)
    peer[show-password]=$(median_ms "$pw\n" keepassxc-cli show -q -s -a Password "$db" "Entry 7")
    ours[show-password]=$(median_ms "" "${kl[@]}" show --password "Entry 7")
    # add, edit and rm each change the file; rm takes back the entry add made.
    peer[add]=$(median_ms "$pw\nnew-pw\n" keepassxc-cli add -q -u someone -p "$db" "New @R@")
    ours[add]=$(median_ms "new-pw\n" "${kl[@]}" add "New @R@" --user someone)
    peer[edit]=$(median_ms "$pw\n" keepassxc-cli edit -q -u changed "$db" "Entry 7")
    ours[edit]=$(median_ms "" "${kl[@]}" edit "Entry 7" --user changed)
    peer[rm]=$(median_ms "$pw\n" keepassxc-cli rm -q "$db" "New @R@")
    ours[rm]=$(median_ms "" "${kl[@]}" rm --yes "New @R@")
    for command in open list show-password add edit rm; do
        read -r pw_wall pw_cpu <<<"${peer[$command]}"
        read -r kl_wall kl_cpu <<<"${ours[$command]}"
        printf '%-8s %-14s %10s %10s %6s   %10s %10s %6s\n' "$n" "$command" "$pw_wall" \
            "$kl_wall" "$(ratio "$pw_wall" "$kl_wall")" "$pw_cpu" "$kl_cpu" \
            "$(ratio "$pw_cpu" "$kl_cpu")"
    done
    unset peer ours
done
