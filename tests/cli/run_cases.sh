#!/usr/bin/env bash
# Runs the end-to-end cases of the kivoparse tool from a case file:
#   run_cases.sh KIVOPARSE CASEFILE [NAME]    (no NAME: every case)
# A case starts with "=== NAME" and is made of "key: value" lines:
#   skip-if: CMD    the case is skipped when CMD succeeds
#   setup: CMD      shell command run first, in the case's own empty directory
#   stdin: FMT      printf format of the standard input (default: empty)
#   run: CMD        the shell command to test; $K is the tool
#   stdout: FMT     printf format of the exact standard output (default: empty)
#   stdout-file: F  the exact standard output is expected/F
#   stderr: FMT     printf format of the exact standard error (default: empty)
#   usage: CMD      expected/usage-CMD.txt follows stderr; the status defaults to 2
#   status: N       the exit status (default 0)
#   check: CMD      must succeed afterwards; file_is PATH FMT compares a file
# Outputs are compared byte for byte: NUL bytes and line feeds count.
set -u
K=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
HERE=$(cd "$(dirname "$2")" && pwd)
WORK=$(mktemp -d "${TMPDIR:-/tmp}/kivoparse-cli.XXXXXX")
trap 'chmod -R u+rwx "$WORK" 2>/dev/null; rm -rf "$WORK"' EXIT
export K
failed=0 count=0

file_is() {
    printf "$2" | cmp -s - "$1" || { echo "  $1: $(od -An -c "$1" 2>&1 | head -3)" >&2; return 1; }
}

# run_case NAME LINE...: one case, from its "key: value" lines.
run_case() {
    local name=$1 run="" stdin="" stdout="" stdout_file="" stderr="" usage="" status="" line key why=""
    shift
    mkdir -p "$WORK/$name" && cd "$WORK/$name" || return 1
    for line; do
        key=${line%%: *}
        case $key in
            skip-if) eval "${line#*: }" >/dev/null 2>&1 && { echo "skip: $name" >&2; return 0; } ;;
            setup) eval "${line#*: }" || why+=" setup failed: $line;" ;;
            run | stdin | stdout | stdout-file | stderr | usage | status) printf -v "${key/-/_}" '%s' "${line#*: }" ;;
        esac
    done
    printf "$stdin" >.stdin
    (eval "$run") <.stdin >.out 2>.err
    local rc=$?
    [ -n "$usage" ] && status=${status:-2}
    [ "$rc" = "${status:-0}" ] || why+=" status $rc, expected ${status:-0};"
    if [ -n "$stdout_file" ]; then
        cmp -s "$HERE/expected/$stdout_file" .out || why+=" stdout differs from expected/$stdout_file;"
    else
        file_is .out "$stdout" 2>/dev/null || why+=" stdout: $(od -An -c .out | head -3);"
    fi
    { printf "$stderr"; [ -z "$usage" ] || cat "$HERE/expected/usage-$usage.txt"; } | cmp -s - .err ||
        why+=" stderr: $(head -c 300 .err);"
    for line; do [ "${line%%: *}" != check ] || eval "${line#*: }" || why+=" check failed: $line;"; done
    [ -z "$why" ] || { echo "FAIL: $name:$why" >&2; return 1; }
}

# Each case's lines are handed to run_case as its arguments.
lines=() name=""
flush() {
    if [ -n "$name" ] && { [ -z "${3:-}" ] || [ "$3" = "$name" ]; }; then
        count=$((count + 1))
        (run_case "$name" "${lines[@]+"${lines[@]}"}") || failed=1
    fi
}
while IFS= read -r line || [ -n "$line" ]; do
    case $line in
        "=== "*) flush "$@"; name=${line#=== }; lines=() ;;
        "" | "#"*) ;;
        *) lines+=("$line") ;;
    esac
done <"$2"
flush "$@"
[ "$count" -gt 0 ] || { echo "no case named '${3:-}'" >&2; exit 1; }
exit $failed
