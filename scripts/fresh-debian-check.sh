#!/usr/bin/env bash
# Proves the README's two set-up commands on a fresh machine: a new minimal Debian 12 root
# (debootstrap --variant=minbase bookworm, from the Debian mirror this machine's apt uses), the
# project's tree copied in, then scripts/run.sh and scripts/test.sh run in it as root, each with
# a plain environment and timed. Slow (test.sh builds everything from nothing), so neither CI nor
# scripts/test.sh runs it. Needs root: debootstrap, chroot and mounts.
#   scripts/fresh-debian-check.sh [--reuse-base] [--worktree]
#   scripts/fresh-debian-check.sh --in-last COMMAND
# --reuse-base  starts from the untouched root that an earlier run kept, not a new debootstrap
# --worktree    copies the working tree (tracked and untracked files, not the ignored ones)
#               instead of the commit HEAD
# --in-last     runs COMMAND (bash) in the project inside the root the last run left, as it was
#               left: to check a mend of one stage without starting again from nothing
# Everything is in build/fresh-debian/: base/ (the kept untouched root), root/ (the root of the
# last run, kept), logs/.
set -euo pipefail
cd "$(dirname "$0")/.."

usage() { sed -n 's/^#   //p' "$0"; }
reuse=no
tree="head"
inside=""
while [ $# -gt 0 ]; do
    case "$1" in
        --reuse-base) reuse=yes ;;
        --worktree) tree=worktree ;;
        --in-last)
            inside=${2:?--in-last needs a command}
            shift
            ;;
        -h | --help)
            usage
            exit 0
            ;;
        *)
            usage >&2
            exit 2
            ;;
    esac
    shift
done
[ "$(id -u)" -eq 0 ] || { echo "$0: needs root (debootstrap, chroot, mounts)" >&2; exit 2; }

mkdir -p build/fresh-debian
dir=$(realpath build/fresh-debian)
base=$dir/base
root=$dir/root
logs=$dir/logs
project=/root/project
suite=bookworm

# Mount points at or under $1, deepest last, as this process sees them.
mounts_under() {
    awk -v r="$1" '$5 == r || index($5, r "/") == 1 { print $5 }' /proc/self/mountinfo
}

# Removes a root; refused while anything is mounted in it, since its /dev is the machine's.
remove_root() {
    [ -e "$1" ] || return 0
    if [ -n "$(mounts_under "$1")" ]; then
        echo "$0: still mounted in $1, not removing it:" >&2
        mounts_under "$1" >&2
        exit 1
    fi
    rm -rf --one-file-system "$1"
}

mounted=()
mount_root() {
    local spec
    # A pty instance of its own: the simulators' terminals and the tests' do not meet the
    # machine's, and /dev/ptmx in the bound /dev opens the instance beside it.
    for spec in "proc proc -t proc" "sys sysfs -t sysfs" "dev /dev --bind" \
        "dev/pts devpts -t devpts -o newinstance,ptmxmode=0666,mode=620,gid=5" \
        "dev/shm tmpfs -t tmpfs -o mode=1777" "tmp tmpfs -t tmpfs -o mode=1777"; do
        # shellcheck disable=SC2086  # the words of the spec are meant
        set -- $spec
        local at=$root/$1 what=$2
        shift 2
        mount "$@" "$what" "$at"
        mounted+=("$at")
    done
}

# Processes left in the root (a database server, a simulator, Wine's server) would keep its
# mounts busy: they are ended first, then everything is unmounted, deepest first.
cleanup() {
    local p pids=() i
    for p in /proc/[0-9]*; do
        [ "$(readlink "$p/root" 2>/dev/null)" = "$root" ] && pids+=("${p#/proc/}")
    done
    if [ ${#pids[@]} -ne 0 ]; then
        kill "${pids[@]}" 2>/dev/null || true
        for _ in $(seq 50); do
            kill -0 "${pids[@]}" 2>/dev/null || break
            sleep 0.1
        done
        kill -9 "${pids[@]}" 2>/dev/null || true
    fi
    for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
        umount "${mounted[i]}" 2>/dev/null || umount -l "${mounted[i]}" ||
            echo "$0: could not unmount ${mounted[i]}" >&2
    done
    mounted=()
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

# The command in the project inside the root, as a user's fresh shell would start it.
in_root() {
    chroot "$root" /usr/bin/env -i PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
        HOME=/root LANG=C.UTF-8 /bin/bash -c "cd $project && $1" </dev/null
}

duration() { printf '%dm %02ds' $(($1 / 60)) $(($1 % 60)); }

report=()
failed=0
# Runs $2 in the root with its output in logs/$1.log; records its status and wall time.
timed() {
    local log=$logs/$1.log start status=0
    echo "running $2 (log: $log)"
    start=$SECONDS
    # In the background, so that Ctrl-C reaches the trap at once, not when the command ends.
    in_root "$2" >"$log" 2>&1 &
    wait $! || status=$?
    report+=("$(printf '  %-22s exit %-3d %s' "$2" "$status" "$(duration $((SECONDS - start)))")")
    if [ "$status" -ne 0 ]; then
        failed=1
        echo "  $2 failed; its log ends:"
        tail -n 15 "$log" | sed 's/^/    /'
    fi
}

if [ -n "$inside" ]; then
    [ -d "$root$project" ] || { echo "$0: no root of an earlier run in $root" >&2; exit 1; }
    mkdir -p "$logs"
    mount_root
    timed in-last "$inside"
    printf '%s\n' "${report[@]}"
    exit "$failed"
fi

# The mirror, and each Debian suite of this release, that this machine's apt uses, as
# "URI SUITE" lines, from one-line and deb822 sources alike; other sources have other suites.
debian_sources() {
    {
        cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null |
            sed -n 's/^[[:space:]]*deb[[:space:]]\+\(\[[^]]*\][[:space:]]\+\)\?\([^[:space:]]\+\)[[:space:]]\+\([^[:space:]]\+\).*/\2 \3/p'
        local f
        for f in /etc/apt/sources.list.d/*.sources; do
            [ -f "$f" ] || continue
            awk 'function flush(  n, m, i, j, u, s) {
                     if (types ~ /(^| )deb( |$)/ && enabled != "no") {
                         n = split(uris, u, " "); m = split(suites, s, " ")
                         for (i = 1; i <= n; i++) for (j = 1; j <= m; j++) print u[i], s[j]
                     }
                     types = uris = suites = enabled = ""
                 }
                 /^#/ { next }
                 /^[ \t]*$/ { flush(); next }
                 { key = tolower($1); $1 = "" }
                 key == "types:" { types = $0 }
                 key == "uris:" { uris = $0 }
                 key == "suites:" { suites = $0 }
                 key == "enabled:" { enabled = tolower($2) }
                 END { flush() }' "$f"
        done
    } | awk -v s="$suite" '$2 == s || $2 == s "-updates" || $2 == s "-security"' | sort -u
}
sources=$(debian_sources)
mirror=$(awk -v s="$suite" '$2 == s { print $1; exit }' <<<"$sources")
[ -n "$mirror" ] || { echo "$0: this machine's apt names no Debian mirror for $suite" >&2; exit 1; }

rm -rf "$logs"
mkdir -p "$logs"
start=$SECONDS
if [ "$reuse" = yes ] && [ -d "$base" ]; then
    how="the kept root of an earlier debootstrap"
else
    how="debootstrap --variant=minbase $suite $mirror"
    remove_root "$base"
    remove_root "$base.new"
    echo "running $how (log: $logs/debootstrap.log)"
    debootstrap --variant=minbase "$suite" "$base.new" "$mirror" >"$logs/debootstrap.log" 2>&1 || {
        tail -n 15 "$logs/debootstrap.log" >&2
        exit 1
    }
    mv "$base.new" "$base"
fi
remove_root "$root"
cp -a "$base" "$root"
setup=$((SECONDS - start))

# As a fresh install's apt would be set: the same mirror for the release, its updates and its
# security suite. Services that packages start (PostgreSQL's own cluster) stay stopped: inside a
# chroot they would share this machine's network and outlive the run.
awk '{ print "deb " $1 " " $2 " main" }' <<<"$sources" >"$root/etc/apt/sources.list"
cp /etc/resolv.conf "$root/etc/resolv.conf"
printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
chmod 755 "$root/usr/sbin/policy-rc.d"

mkdir -p "$root$project"
if [ "$tree" = head ]; then
    what="HEAD $(git rev-parse --short HEAD)"
    git archive HEAD | tar -x -C "$root$project"
else
    what="the working tree at $(git rev-parse --short HEAD)"
    git ls-files -z -co --exclude-standard |
        while IFS= read -r -d '' f; do [ -e "$f" ] && printf '%s\0' "$f"; done |
        tar --null -T - -c | tar -x -C "$root$project"
fi

mount_root
timed run scripts/run.sh
timed test scripts/test.sh
cleanup

echo
echo "Fresh Debian 12 check of $what, root from $how ($(duration "$setup")):"
printf '%s\n' "${report[@]}"
echo "Logs: $logs/ (the root is kept in $root for --in-last)"
exit "$failed"
