#!/bin/bash
# The service at work in the build tree's Wine prefix: installs the suite with
# tandemctl, registers a demo folder, changes files there and shows, live, what
# the catalog plug-in holds and which events a client receives.
#   demo.sh [DIR]     watch DIR of this machine instead, until Ctrl+C
#   demo.sh --short   the quick, checked form the tests run
# Everything it installed or made is removed when it ends.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TANDEM_BUILD_DIR:-$root/build}
short=0
user_dir=
case "${1:-}" in
    --short) short=1 ;;
    "") ;;
    *) user_dir=$(cd "$1" && pwd) ;;
esac

export WINEPREFIX="$build/wineprefix"
work=$(mktemp -d "${TMPDIR:-/tmp}/tandem-demo.XXXXXX")
log="$work/demo.log"
w() { "$build/wine-run.sh" "$@"; }
ctl() { w "$build/bin/tandemctl.exe" "$@" </dev/null 2>>"$log"; }
say() { printf '\033[1m== %s\033[0m\n' "$*"; }
fail() { echo "demo: $*" >&2; exit 1; }

# A wine server of its own: under Wine a server process that an earlier run
# ended still answers for its classes until the wine server goes. The short
# form runs alone among the tests, so nothing else is using it.
[ $short -eq 0 ] || { wineserver -k 2>/dev/null; wineserver -w 2>/dev/null; } || true
# Prefix first: its drive letters exist once it is made.
w cmd.exe /c exit </dev/null >/dev/null 2>&1
if [ -n "$user_dir" ]; then
    # The drive root gets the storage's identity folder, so the letter maps a
    # folder of ours and the user's folder is reached through a link in it.
    mkdir -p "$work/drive"
    ln -s "$user_dir" "$work/drive/Folder"
    ln -sfn "$work/drive" "$WINEPREFIX/dosdevices/t:"
    folder='T:\Folder'
    unix_folder=$user_dir
else
    folder='C:\Tandem Demo'
    unix_folder="$WINEPREFIX/drive_c/Tandem Demo"
    rm -rf "$unix_folder"
    mkdir -p "$unix_folder"
fi

# Processes of this build's service, by their Windows command line.
service_pids() { ps -eo pid=,args= | grep -F "Z:${build//\//\\}\\bin\\tandem.exe" | grep -v grep | awk '{print $1}'; }

pids=()
loops=()
cleanup() {
    local status=$?
    set +e
    [ $status -eq 0 ] || { echo "demo: failed; the end of its log:" >&2; tail -n 5 "$log" >&2; }
    trap - EXIT INT TERM
    for pid in "${loops[@]}"; do kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; done
    say "removing what the demo made"
    ctl unregister Demo "$folder" >/dev/null
    w net stop Tandem </dev/null >>"$log" 2>&1
    # A client killed while connected would keep the service's process
    # waiting for its objects: the watch sees the service go and ends itself.
    for pid in "${pids[@]}"; do
        for _ in $(seq 20); do kill -0 "$pid" 2>/dev/null || break; sleep 0.5; done
        kill "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    done
    # The stopped service's process waits for its clients' objects; a
    # service deleted while it lives stays marked for deletion and the next
    # install fails, so it is given a moment and then ended.
    for _ in $(seq 30); do [ -z "$(service_pids)" ] && break; sleep 0.5; done
    for pid in $(service_pids); do kill "$pid" 2>/dev/null; done
    ctl uninstall >>"$log"
    [ -n "$user_dir" ] && rm -f "$WINEPREFIX/dosdevices/t:" || rm -rf "$unix_folder"
    WINEPREFIX="$build/wineprefix" wineserver -k 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# The catalog as tandemctl lists it, one "path<TAB>size<TAB>time" a line.
catalog() { ctl catalog "$folder" | tr -d '\r' | sort; }

# Waits until the catalog satisfies a test (a function of the listing).
await() {
    local test=$1 deadline=$((SECONDS + ${2:-40}))
    while [ $SECONDS -lt $deadline ]; do
        catalog >"$work/catalog.now"
        "$test" "$work/catalog.now" && return 0
        sleep 1
    done
    echo "catalog now:" >&2
    cat "$work/catalog.now" >&2
    return 1
}

# Live: every change of the catalog as it happens.
follow_catalog() {
    : >"$work/catalog.shown"
    while :; do
        catalog >"$work/catalog.next" 2>/dev/null || true
        diff "$work/catalog.shown" "$work/catalog.next" | sed -n \
            -e 's/^> \([^\t]*\)\t\([^\t]*\).*/  [plug-in] catalogued  \1  (\2 bytes)/p' \
            -e 's/^< \([^\t]*\)\t.*/  [plug-in] forgotten    \1/p' || true
        mv "$work/catalog.next" "$work/catalog.shown"
        sleep 1
    done
}

has() { grep -qF "$folder\\$2	" "$1"; }
lacks() { ! has "$@"; }

# The demo's steps; each makes one kind of change from this machine's side.
step_new_files() {
    say "new files"
    printf 'hello\n' >"$unix_folder/hello.txt"
    printf 'caf\xc3\xa9 au lait\n' >"$unix_folder/Caf$(printf '\xc3\xa9') menu.txt"
    printf '# notes\n' >"$unix_folder/notes.md"
    check_new_files() { has "$1" hello.txt && has "$1" "Café menu.txt" && has "$1" notes.md; }
    await check_new_files || fail "the new files did not reach the catalog"
}
step_rename() {
    say "a rename: notes.md -> notes (renamed).md"
    mv "$unix_folder/notes.md" "$unix_folder/notes (renamed).md"
    check_rename() { has "$1" "notes (renamed).md" && lacks "$1" notes.md; }
    await check_rename || fail "the rename did not reach the catalog"
}
step_delete() {
    say "a delete: hello.txt"
    rm "$unix_folder/hello.txt"
    check_delete() { lacks "$1" hello.txt; }
    await check_delete || fail "the delete did not reach the catalog"
}
step_sub_folder() {
    say "a sub-folder with a file"
    mkdir "$unix_folder/Sub Folder"
    printf 'deep\n' >"$unix_folder/Sub Folder/deep.txt"
    check_sub_folder() { has "$1" 'Sub Folder\deep.txt'; }
    await check_sub_folder || fail "the sub-folder's file did not reach the catalog"
}
steps=(step_new_files step_rename step_delete step_sub_folder)

say "installing the suite into $WINEPREFIX"
ctl install
w net start Tandem </dev/null >>"$log" 2>&1 || fail "the service did not start (see $log)"

say "events, as a client receives them (tandemctl watch)"
# Started by exec, so that the job is the program itself and ends with it.
if [ $short -eq 0 ]; then
    ( exec "$build/wine-run.sh" "$build/bin/tandemctl.exe" watch </dev/null 2>&1 ) > >(sed -u 's/^/  [event] /') &
else
    ( exec "$build/wine-run.sh" "$build/bin/tandemctl.exe" watch </dev/null 2>>"$log" ) >"$work/events" &
fi
pids+=($!)
sleep 2
say "registering $folder"
ctl register Demo "$folder" --subtree
ctl list
if [ $short -eq 0 ]; then
    follow_catalog &
    loops+=($!)
fi

if [ -n "$user_dir" ]; then
    check_any() { true; }
    await check_any
else
    for step in "${steps[@]}"; do "$step"; done
fi

say "the catalog of $folder"
catalog
first=$(catalog | head -n 1 | cut -f 1)
if [ -n "$first" ]; then
    say "properties of $first (tandemctl props)"
    ctl props "$first" | tr -d '\r'
fi

if [ $short -eq 1 ]; then
    catalog | cut -f 1 | while IFS= read -r file; do
        ctl props "$file" | tr -d '\r' | grep -qF "500	VT_BSTR	$file" || fail "no properties for $file"
    done
    grep -q "OnStatusChange  *C:.Tandem Demo  notice  folder added" "$work/events" ||
        fail "the watching client did not see the folder added"
    say "demo checked"
    exit 0
fi
cat <<EOT

The service is running in $WINEPREFIX. In another terminal try:
  $build/wine-run.sh $build/bin/tandemctl.exe list
  $build/wine-run.sh $build/bin/tandemctl.exe storages
  $build/wine-run.sh $build/bin/tandemctl.exe refresh '$folder'
  $build/wine-run.sh $build/bin/tandemctl.exe catalog
  $build/wine-run.sh $build/bin/tandemctl.exe --help
Files you put in $unix_folder reach the catalog above. Ctrl+C stops and removes everything.
EOT
while :; do sleep 1; done
