#!/bin/sh
# with-keyring.sh [--locked] PROGRAM [ARGS...]
#
# Runs PROGRAM inside a D-Bus session of its own, with a gnome-keyring
# Secret Service and throwaway HOME and XDG folders. By default the login
# keyring is created and unlocked; with --locked the daemon runs without one,
# so that every store needs a prompt that cannot be shown.
#
# PROGRAM sees ORVIK_KEYRING_READY=unlocked|locked when the daemon is on the
# bus, or ORVIK_KEYRING_UNAVAILABLE=<why> when it could not be started.
# The daemon is stopped before this script returns.
set -u
mode=unlocked
if [ "${1:-}" = "--locked" ]; then
    mode=locked
    shift
fi
[ $# -ge 1 ] || { echo "usage: $0 [--locked] PROGRAM [ARGS...]" >&2; exit 2; }

tmp=$(mktemp -d "${TMPDIR:-/tmp}/orvik-keyring-XXXXXX") || exit 1
trap 'rm -rf "$tmp"' EXIT INT TERM
mkdir -p "$tmp/home" "$tmp/data" "$tmp/config" "$tmp/cache" "$tmp/runtime"
chmod 700 "$tmp/runtime"
HOME="$tmp/home" XDG_DATA_HOME="$tmp/data" XDG_CONFIG_HOME="$tmp/config" XDG_CACHE_HOME="$tmp/cache" \
XDG_RUNTIME_DIR="$tmp/runtime"
export HOME XDG_DATA_HOME XDG_CONFIG_HOME XDG_CACHE_HOME XDG_RUNTIME_DIR
export ORVIK_KEYRING_MODE="$mode"

for tool in dbus-run-session dbus-send gnome-keyring-daemon; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        ORVIK_KEYRING_UNAVAILABLE="$tool is not installed" "$@"
        exit $?
    fi
done

dbus-run-session -- sh -c '
    if [ "$ORVIK_KEYRING_MODE" = unlocked ]; then
        printf %s "orvik-test-keyring" |
            gnome-keyring-daemon --foreground --unlock --components=secrets >/dev/null 2>&1 &
    else
        gnome-keyring-daemon --foreground --components=secrets </dev/null >/dev/null 2>&1 &
    fi
    daemon=$!
    ready=""
    i=0
    while [ $i -lt 100 ]; do
        if dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
               org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets 2>/dev/null |
               grep -q "boolean true"; then
            ready=1
            break
        fi
        kill -0 $daemon 2>/dev/null || break
        sleep 0.1
        i=$((i + 1))
    done
    if [ -n "$ready" ]; then
        ORVIK_KEYRING_READY="$ORVIK_KEYRING_MODE" "$@"
    else
        ORVIK_KEYRING_UNAVAILABLE="gnome-keyring-daemon did not come up on the session bus" "$@"
    fi
    rc=$?
    kill $daemon 2>/dev/null
    wait $daemon 2>/dev/null
    exit $rc
' sh "$@"
