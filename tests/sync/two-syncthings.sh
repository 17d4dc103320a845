#!/bin/bash
# One keychain on two machines, with the real Syncthing in between. Not part of the test
# run: it needs the syncthing program (Debian package "syncthing") and takes a minute.
#
#   tests/sync/two-syncthings.sh [build folder]
#
# Two Syncthing instances on loopback ports, each with a home of its own and a shared
# folder holding the keychain, talk only to each other: every device is addressed as
# tcp://127.0.0.1:PORT, and global discovery, local announcements, relays, NAT
# traversal, usage reporting, crash reports and upgrades are off, so nothing leaves the
# machine. Both folders are paused, each machine changes the keychain with keyloft-cli,
# both are resumed, and once Syncthing has made its conflict copy, one keyloft-cli
# command on each machine must leave both with every entry and no conflict copy.
set -euo pipefail

build=$(realpath "${1:-build}")
cli="$build/src/cli/keyloft-cli"
[ -x "$cli" ] || { echo "no $cli; build keyloft-cli first" >&2; exit 2; }
command -v syncthing >/dev/null || { echo "syncthing is not installed" >&2; exit 2; }

root=$(mktemp -d /tmp/keyloft-two-syncthings.XXXXXX)
password=two-machines
base=$((20000 + RANDOM % 20000))
pids=()

stop_all() {
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    for pid in "${pids[@]}"; do
        # Bounded: a Syncthing that does not end within ten seconds is killed.
        for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
        kill -9 "$pid" 2>/dev/null || true
    done
    [ -n "${KEEP:-}" ] && echo "kept $root" || rm -rf "$root"
}
trap stop_all EXIT

say() { printf '== %s\n' "$*"; }

# wait_for SECONDS DESCRIPTION COMMAND...: runs COMMAND until it succeeds, at most SECONDS.
wait_for() {
    local seconds=$1 what=$2
    shift 2
    for _ in $(seq $((seconds * 4))); do
        if "$@" >/dev/null 2>&1; then return 0; fi
        sleep 0.25
    done
    echo "FAILED: waited $seconds s for $what" >&2
    exit 1
}

# Machine settings: A and B, their GUI and sync ports.
declare -A gui sync key id
gui[A]=$base; sync[A]=$((base + 1)); gui[B]=$((base + 2)); sync[B]=$((base + 3))

for m in A B; do
    mkdir -p "$root/$m/shared" "$root/$m/data"
    syncthing generate --home="$root/$m/home" --no-default-folder --skip-port-probing \
        >"$root/$m/generate.log" 2>&1
    id[$m]=$(sed -n 's/.*<device id="\([^"]*\)".*/\1/p' "$root/$m/home/config.xml" | head -1)
    key[$m]=$(sed -n 's/.*<apikey>\(.*\)<\/apikey>.*/\1/p' "$root/$m/home/config.xml")
done

configure() {
    local m=$1 other=$2
    python3 - "$root/$m/home/config.xml" "${gui[$m]}" "${sync[$m]}" "${id[$m]}" \
        "${id[$other]}" "${sync[$other]}" "$root/$m/shared" <<'PY'
import sys, xml.etree.ElementTree as ET
path, gui, port, me, other, other_port, folder = sys.argv[1:]
tree = ET.parse(path)
config = tree.getroot()
config.find('gui/address').text = '127.0.0.1:' + gui
options = config.find('options')
settings = {
    'listenAddress': 'tcp://127.0.0.1:' + port,
    'globalAnnounceEnabled': 'false', 'localAnnounceEnabled': 'false',
    'relaysEnabled': 'false', 'natEnabled': 'false', 'urAccepted': '-1',
    'autoUpgradeIntervalH': '0', 'startBrowser': 'false',
    'crashReportingEnabled': 'false', 'reconnectionIntervalS': '1',
}
for name, value in settings.items():
    options.find(name).text = value
for device in config.findall('device'):
    device.find('address').text = 'tcp://127.0.0.1:' + port
peer = ET.SubElement(config, 'device', id=other, name='peer', compression='metadata',
                     introducer='false')
ET.SubElement(peer, 'address').text = 'tcp://127.0.0.1:' + other_port
shared = ET.Element('folder', id='keyloft', label='keyloft', path=folder, type='sendreceive',
                    rescanIntervalS='5', fsWatcherEnabled='true', fsWatcherDelayS='1')
ET.SubElement(shared, 'device', id=me)
ET.SubElement(shared, 'device', id=other)
# Missing, it would be 0: no conflict copies at all, the older change simply lost.
ET.SubElement(shared, 'maxConflicts').text = '10'
config.insert(0, shared)
tree.write(path)
PY
    # The lock file beside the keychain belongs to each machine alone.
    printf '*.keychain.lock\n' >"$root/$m/shared/.stignore"
}
configure A B
configure B A

for m in A B; do
    STNOUPGRADE=1 syncthing serve --home="$root/$m/home" --no-browser --no-restart \
        --logfile="$root/$m/syncthing.log" >"$root/$m/serve.log" 2>&1 &
    pids+=($!)
done

api() { # api MACHINE METHOD PATH [BODY]
    curl -sf -X "$2" -H "X-API-Key: ${key[$1]}" "http://127.0.0.1:${gui[$1]}/rest/$3" \
        ${4:+-d "$4"}
}
connected() { api "$1" GET system/connections | grep -q '"connected": *true'; }
parted() { ! connected "$1"; }
idle() {
    local status
    status=$(api "$1" GET "db/status?folder=keyloft") || return 1
    grep -q '"state": *"idle"' <<<"$status" && grep -q '"needTotalItems": *0' <<<"$status"
}
# Pauses (true) or resumes (false) machine M's connection to the other machine.
pause() {
    local other=B
    [ "$1" = B ] && other=A
    api "$1" PATCH "config/devices/${id[$other]}" "{\"paused\": $2}"
}

# keyloft-cli on machine M, the keychain in its shared folder, its trash its own.
kcli() {
    local m=$1
    shift
    XDG_DATA_HOME="$root/$m/data" \
        "$cli" --keychain "$root/$m/shared/shared.keychain" --password-fd 3 "$@" 3<<<"$password"
}
conflict_copies() { find "$root/$1/shared" -name 'shared.sync-conflict-*' | sort; }
has_conflict_copy() { [ -n "$(conflict_copies "$1")" ]; }
no_conflict_copy() { [ -z "$(conflict_copies "$1")" ]; }
same_keychain() { cmp -s "$root/A/shared/shared.keychain" "$root/B/shared/shared.keychain"; }

say "Syncthing $(syncthing --version | cut -d' ' -f2), A on 127.0.0.1:${sync[A]}, B on 127.0.0.1:${sync[B]}"
wait_for 60 "both instances to answer" api A GET system/ping
wait_for 60 "both instances to answer" api B GET system/ping
wait_for 60 "A and B to connect" connected A

say "A creates the keychain with one entry; it reaches B"
XDG_DATA_HOME="$root/A/data" \
    "$cli" create-keychain "$root/A/shared/shared.keychain" --password-fd 3 3<<<"$password
$password"
printf 'shared-pw\n' | kcli A add Shared --user both --notes "made on A" >/dev/null
wait_for 60 "the keychain on B" same_keychain

say "Both machines paused; each changes the keychain"
pause A true
pause B true
wait_for 30 "A and B to part" parted A
printf 'a-pw\n' | kcli A add "Only on A" >/dev/null
printf 'a-new\n' | kcli A edit Shared --password-stdin
sleep 1.1 # the two changes get different modification times
printf 'b-pw\n' | kcli B add "Only on B" >/dev/null
kcli B rm --yes "Shared" >/dev/null
printf 'b-shared\n' | kcli B add "Shared" --notes "made again on B" >/dev/null
kcli A list
kcli B list
# Each machine's Syncthing takes in its own change before they meet again.
api A POST "db/scan?folder=keyloft"
api B POST "db/scan?folder=keyloft"
wait_for 30 "A to scan" idle A
wait_for 30 "B to scan" idle B

say "Both machines resumed; waiting for Syncthing's conflict copy"
pause A false
pause B false
wait_for 60 "A and B to connect again" connected A
wait_for 90 "a conflict copy on A" has_conflict_copy A
wait_for 90 "a conflict copy on B" has_conflict_copy B
wait_for 90 "A to be in sync" idle A
wait_for 90 "B to be in sync" idle B
conflict_copies A | sed "s|$root/||"

say "One keyloft-cli command on A"
kcli A list
wait_for 90 "B to receive A's merge" same_keychain
wait_for 90 "the conflict copy to leave B" no_conflict_copy B
say "One keyloft-cli command on B"
kcli B list
wait_for 90 "A to be in sync" idle A
wait_for 90 "B to be in sync" idle B

failed=0
for m in A B; do
    labels=$(kcli "$m" list | cut -f1 | sort | tr '\n' ',')
    echo "$m holds: $labels"
    for wanted in "Only on A" "Only on B" "Shared"; do
        grep -q "$wanted," <<<"$labels" || { echo "FAILED: $m lacks $wanted"; failed=1; }
    done
    if has_conflict_copy "$m"; then
        echo "FAILED: a conflict copy is left on $m"; failed=1
    fi
    { ls -A "$root/$m/data/Trash/files" 2>/dev/null || true; } | sed "s/^/$m's trash: /"
done
if same_keychain; then echo "A and B hold the same keychain file"; fi
[ "$failed" = 0 ] && say "PASSED" || { say "FAILED"; exit 1; }
