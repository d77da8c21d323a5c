#!/usr/bin/env bash
# Runs the end-to-end cases of the kivoparse tool from a case file:
#   run_cases.sh KIVOPARSE CASEFILE [NAME]    (no NAME: every case)
# A case starts with "=== NAME" and is made of "key: value" lines:
#   setup: CMD      shell command run first, in the case's own empty directory
#   skip-if: CMD    the case is skipped when CMD succeeds
#   stdin: FMT      printf format of the standard input (default: empty)
#   run: CMD        the shell command to test; $K is the tool
#   stdout: FMT     printf format of the exact standard output (default: empty)
#   stdout-file: F  the exact standard output is expected/F
#   stderr: FMT     printf format of the exact standard error (default: empty)
#   usage: CMD      expected/usage-CMD.txt follows stderr; the status defaults to 2
#   stderr~: RE     the standard error matches the extended regular expression
#                   RE somewhere (replaces the exact comparison)
#   status: N       the exit status (default 0)
#   check: CMD      must succeed afterwards; file_is PATH FMT compares a file
# Outputs are compared byte for byte: NUL bytes and line feeds count.
set -u
K=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
CASES=$2
ONLY=${3:-}
HERE=$(cd "$(dirname "$2")" && pwd)
WORK=$(mktemp -d "${TMPDIR:-/tmp}/kivoparse-cli.XXXXXX")
trap 'chmod -R u+rwx "$WORK" 2>/dev/null; rm -rf "$WORK"' EXIT
export K
failed=0
count=0

file_is() {
    printf "$2" | cmp -s - "$1" || { echo "  $1: $(od -An -c "$1" 2>&1 | head -3)" >&2; return 1; }
}

run_case() {
    local name=$1 dir="$WORK/$1" key value run="" stdin="" stdout="" stdout_file="" stderr=""
    local usage="" status="" line why=""
    local -a setups=() checks=() patterns=() skips=()
    while IFS= read -r line; do
        key=${line%%: *}
        value=${line#*: }
        case $key in
            setup) setups+=("$value") ;;
            skip-if) skips+=("$value") ;;
            check) checks+=("$value") ;;
            stderr~) patterns+=("$value") ;;
            run | stdin | stdout | stderr | usage | status) printf -v "$key" '%s' "$value" ;;
            stdout-file) stdout_file=$value ;;
        esac
    done
    mkdir -p "$dir" && cd "$dir" || return 1
    for line in "${skips[@]+"${skips[@]}"}"; do
        eval "$line" >/dev/null 2>&1 && { echo "skip: $name" >&2; return 0; }
    done
    for line in "${setups[@]+"${setups[@]}"}"; do eval "$line" || why+=" setup failed: $line;"; done
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
    if [ ${#patterns[@]} -gt 0 ]; then
        for line in "${patterns[@]}"; do grep -Eq -- "$line" .err || why+=" stderr lacks /$line/;"; done
    else
        { printf "$stderr"; [ -z "$usage" ] || cat "$HERE/expected/usage-$usage.txt"; } >.expected-err
        cmp -s .expected-err .err || why+=" stderr: $(head -c 300 .err);"
    fi
    for line in "${checks[@]+"${checks[@]}"}"; do eval "$line" || why+=" check failed: $line;"; done
    cd "$WORK" || return 1
    [ -z "$why" ] && return 0
    echo "FAIL: $name:$why" >&2
    return 1
}

# Each case's lines are handed to run_case on its standard input.
body=""
name=""
flush() {
    [ -n "$name" ] || return 0
    if [ -z "$ONLY" ] || [ "$ONLY" = "$name" ]; then
        count=$((count + 1))
        run_case "$name" <<<"$body" || failed=1
    fi
}
while IFS= read -r line || [ -n "$line" ]; do
    case $line in
        "=== "*) flush; name=${line#=== }; body="" ;;
        "" | "#"*) ;;
        *) body+="$line"$'\n' ;;
    esac
done <"$CASES"
flush
[ "$count" -gt 0 ] || { echo "no case named '$ONLY'" >&2; exit 1; }
exit $failed
