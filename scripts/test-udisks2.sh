#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright 2026 The Snapsalvager developers
# The card opened through the real udisks2: a system D-Bus daemon, polkitd, systemd-udevd and
# udisksd started by hand on a bus of their own, a root-only loop device holding a small card
# image, and the window's access path run as an unprivileged test user: once with a polkit
# rule that allows opening the device (the scan must find what root finds), once without (no
# authentication agent runs, so the window must say so). Needs root; skips, with the reason,
# where a daemon cannot run. Everything it starts or adds is stopped or removed on exit.
#
#   scripts/test-udisks2.sh [BUILD_DIR]     (default build/default)
set -uo pipefail

build=${1:-build/default}
program=$(realpath -m "$build/tests/wizard/udisks2_real_scan")
export QT_QPA_PLATFORM=offscreen

skip() { echo "skipped: $*"; exit 0; }

[ "$(id -u)" -eq 0 ] || skip "needs root (a loop device, a test user, a polkit rule)"
[ -x "$program" ] || skip "$program is not built"
udisksd=/usr/libexec/udisks2/udisksd
polkitd=/usr/lib/polkit-1/polkitd
udevd=$(command -v systemd-udevd || echo /lib/systemd/systemd-udevd)
for tool in dbus-daemon udevadm udisksctl losetup useradd userdel setpriv; do
  command -v "$tool" >/dev/null || skip "$tool is not installed (scripts/deps.sh)"
done
for daemon in "$udisksd" "$polkitd" "$udevd"; do
  [ -x "$daemon" ] || skip "$daemon is not installed (scripts/deps.sh)"
done
# A udev daemon that already runs (a systemd host) serves; a second one would fight it.
own_udevd=1
[ -S /run/udev/control ] && own_udevd=0
[ -d /etc/polkit-1/rules.d ] || skip "no /etc/polkit-1/rules.d"

work=$(mktemp -d /tmp/snapsalvager-udisks2.XXXXXX)
chmod 755 "$work"
# Qt's runtime folder for root's runs stays in here too.
export XDG_RUNTIME_DIR=$work/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR"
user=ssudt$$
rule=/etc/polkit-1/rules.d/10-snapsalvager-test-$$.rules
pids=()
loop=""
loop_owner=""
made_run_udev=0
[ -d /run/udev ] || made_run_udev=1
made_dev_disk=0
[ -d /dev/disk ] || made_dev_disk=1
user_added=0

cleanup() {
  rm -f "$rule"
  if [ -n "$loop" ]; then
    # Detached, then its links and udev record go while udevd still runs (the detach's own
    # change event would make them again); the node gets its own rights back.
    losetup -d "$loop" 2>/dev/null
    udevadm settle --timeout=10 2>/dev/null
    udevadm trigger --action=remove "/sys/class/block/${loop#/dev/}" 2>/dev/null
    udevadm settle --timeout=10 2>/dev/null
    chown "${loop_owner%% *}" "$loop" 2>/dev/null
    chmod "${loop_owner##* }" "$loop" 2>/dev/null
  fi
  # udisksd first, the bus last.
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    kill "${pids[i]}" 2>/dev/null
    for _ in $(seq 50); do kill -0 "${pids[i]}" 2>/dev/null || break; sleep 0.1; done
    kill -9 "${pids[i]}" 2>/dev/null
    wait "${pids[i]}" 2>/dev/null
  done
  [ "$made_run_udev" = 1 ] && rm -rf /run/udev
  # The link folders udev made for the loop device, now empty.
  [ "$made_dev_disk" = 1 ] && [ -d /dev/disk ] && find /dev/disk -depth -type d -empty -delete
  [ "$user_added" = 1 ] && userdel "$user" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

fail() { echo "FAIL: $*" >&2; for f in "$work"/*.log; do echo "--- $f" >&2; tail -n 20 "$f" >&2; done; exit 1; }

# Starts a daemon in the background, remembered for the cleanup.
start() { local log=$1; shift; "$@" >"$work/$log.log" 2>&1 & pids+=($!); }

# A system bus of our own: the system policy (udisks2's and polkit's rules) on a socket here.
sed -e "s|<listen>.*</listen>|<listen>unix:path=$work/system_bus_socket</listen>|" \
    -e '/<fork\/>/d' -e '/<pidfile>/d' -e '/<user>/d' \
    -e '/<standard_system_servicedirs\/>/d' \
    -e 's|<includedir>system.d</includedir>|<includedir>/usr/share/dbus-1/system.d</includedir>|' \
    /usr/share/dbus-1/system.conf >"$work/system.conf"
export DBUS_SYSTEM_BUS_ADDRESS=unix:path=$work/system_bus_socket
start dbus dbus-daemon --config-file="$work/system.conf" --nofork
for _ in $(seq 50); do [ -S "$work/system_bus_socket" ] && break; sleep 0.1; done
[ -S "$work/system_bus_socket" ] || skip "dbus-daemon --system does not start here: $(tail -n 3 "$work/dbus.log")"

on_bus() { busctl --address="$DBUS_SYSTEM_BUS_ADDRESS" status "$1" >/dev/null 2>&1; }
wait_for() { for _ in $(seq 100); do on_bus "$1" && return 0; sleep 0.1; done; return 1; }

start polkitd "$polkitd" --no-debug
wait_for org.freedesktop.PolicyKit1 || skip "polkitd does not start here: $(tail -n 3 "$work/polkitd.log")"

if [ "$own_udevd" = 1 ]; then
  start udevd "$udevd"
  for _ in $(seq 50); do [ -S /run/udev/control ] && break; sleep 0.1; done
  [ -S /run/udev/control ] || skip "systemd-udevd does not start here: $(tail -n 3 "$work/udevd.log")"
fi

"$program" image "$work/card.img" 2>"$work/image.log" || fail "no card image"
chmod 600 "$work/card.img"
# The node's rights as found, before udev sees it, for the cleanup to put back.
free_loop=$(losetup --find 2>/dev/null) || skip "no loop device here"
loop_owner=$(stat -c '%u:%g %a' "$free_loop") || skip "no loop device node here"
losetup --read-only "$free_loop" "$work/card.img" 2>/dev/null || skip "no loop device here"
loop=$free_loop
chown root:root "$loop" && chmod 600 "$loop"  # root's alone: no group to join
udevadm trigger --action=add "/sys/class/block/${loop#/dev/}"
udevadm settle --timeout=10
chown root:root "$loop" && chmod 600 "$loop"  # the rules may have given it to the disk group

start udisksd "$udisksd"
wait_for org.freedesktop.UDisks2 || skip "udisksd does not start here: $(tail -n 3 "$work/udisksd.log")"
for _ in $(seq 100); do udisksctl info -b "$loop" >/dev/null 2>&1 && break; sleep 0.1; done
udisksctl info -b "$loop" >/dev/null 2>&1 || fail "udisksd does not list $loop"

useradd --system --no-create-home --home-dir "$work/home" --shell /usr/sbin/nologin "$user" || fail "useradd"
user_added=1
mkdir -p "$work/home/runtime" && chmod 700 "$work/home/runtime" && chown -R "$user:" "$work/home"
as_user() {
  setpriv --reuid="$user" --regid="$user" --clear-groups \
    env -i HOME="$work/home" XDG_RUNTIME_DIR="$work/home/runtime" PATH=/usr/bin:/bin QT_QPA_PLATFORM=offscreen LANG=C.UTF-8 \
    DBUS_SYSTEM_BUS_ADDRESS="$DBUS_SYSTEM_BUS_ADDRESS" "$program" "$@"
}
# polkitd rereads its rules when the folder changes.
rules_settle() { sleep 1; }

# What the card holds, read directly by root.
"$program" scan "$loop" >"$work/direct.txt" 2>"$work/direct.log" || fail "the direct scan as root"
[ -s "$work/direct.txt" ] || fail "the direct scan found nothing"

cat >"$rule" <<RULE
// snapsalvager's udisks2 test: $user may open block devices (removed when the test ends).
polkit.addRule(function(action, subject) {
  if (action.id.indexOf("org.freedesktop.udisks2.open-device") == 0 && subject.user == "$user")
    return polkit.Result.YES;
});
RULE
rules_settle
as_user scan "$loop" >"$work/udisks2.txt" 2>"$work/allowed.log" || fail "the scan through udisks2 as $user"
diff -u "$work/direct.txt" "$work/udisks2.txt" >&2 || fail "the scan through udisks2 found something else"
echo "ok: $user scanned root-only $loop through udisks2: $(wc -l <"$work/udisks2.txt") files, as root found"

rm -f "$rule"
rules_settle
as_user no-agent "$loop" >"$work/refused.txt" 2>"$work/refused.log" || fail "without the rule"
echo "ok: without the rule the window says no authentication agent can ask for a password"
