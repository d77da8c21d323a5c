#!/usr/bin/env bash
# Tests of the Windows build under Wine, from the checkout root:
#   control/win/tests/run-wine.sh modules   both modules as data: exports, imports, resources
#   control/win/tests/run-wine.sh control   register, the client, both scripts, unregister
#   control/win/tests/run-wine.sh library   the library's own tests, one Wine start
# BUILD64 and BUILD32 name the build directories (build-win64, build-win32).
# The Wine prefix is made fresh in $BUILD64/wineprefix by the first command
# that needs it.
set -uo pipefail
BUILD64=${BUILD64:-build-win64}
BUILD32=${BUILD32:-build-win32}
OCX64=$BUILD64/control/win/KIVOPARSE.OCX
OCX32=$BUILD32/control/win/KIVOPARSE.OCX
TESTS=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

export WINEPREFIX=$PWD/$BUILD64/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY

# Windows paths of files under the checkout, through Wine's Z: drive.
trap 'wineserver -k 2>/dev/null' EXIT

winpath() { printf 'Z:%s' "$(realpath "$1" | tr / '\\')"; }

# One wineserver for all the Wine starts of a command (each would start
# its own otherwise, seconds apiece), ended when the script ends.
prefix() {
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wineboot -i >/dev/null 2>&1 || return 1
    # Windows and dialogs (the property frame) need no display.
    wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
    wineserver -w
  fi
  wineserver -p
}

# The four exports at ordinals 1 to 4, and no import but the system's own
# DLLs: a module that needs mingw's run-time DLLs does not load on Windows.
check_module() {
  local module=$1 dump status=0
  dump=$(x86_64-w64-mingw32-objdump -p "$module") || return 1
  local expected='1 DllCanUnloadNow 2 DllGetClassObject 3 DllRegisterServer 4 DllUnregisterServer'
  local exports
  exports=$(printf '%s\n' "$dump" | sed -n '/Ordinal\/Name Pointer/,/^$/p' | grep -E '^\s+\[' |
    sed -E 's/.*\[ *([0-9]+)\] +(\+base\[ *[0-9]+\] +[0-9a-f]+ +)?([A-Za-z]+).*/\1 \3/' | awk '{print $1+1, $2}' | tr '\n' ' ')
  [ "${exports% }" = "$expected" ] || { echo "$module exports: $exports" >&2; status=1; }
  local imports
  imports=$(printf '%s\n' "$dump" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | sort | tr '\n' ' ')
  case "$imports" in
    *libstdc++*|*libgcc*|*libwinpthread*) echo "$module needs mingw DLLs: $imports" >&2; status=1 ;;
  esac
  echo "$module: exports ${exports% }; imports $imports"
  return $status
}

# The resources, decompiled (the type library's bytes left out: the client
# loads it), are those of resources.expected in both modules.
check_resources() {
  x86_64-w64-mingw32-windres -i "$1" -O rc | sed '/^1 "TYPELIB"/,/^END/{/^  0x/d}' |
    diff - "$TESTS/resources.expected" || { echo "$1: resources differ from resources.expected" >&2; return 1; }
}

modules() {
  local status=0
  for module in "$OCX64" "$OCX32"; do
    check_module "$module" || status=1
    check_resources "$module" || status=1
  done
  x86_64-w64-mingw32-objdump -f "$OCX32" | grep -q 'file format pei-i386' || { echo "$OCX32 is not 32-bit" >&2; status=1; }
  return $status
}

# cscript exits 0 even on an uncaught error and prints nothing, so each
# script ends with a line that the expected output checks.
script() {
  local name=$1 out
  out=$(cd "$TESTS" && wine cscript //nologo "$name" | tr -d '\r')
  if ! diff <(printf '%s\n' "$out") "$TESTS/$name.expected"; then
    echo "$name: the output above differs from $name.expected" >&2
    return 1
  fi
  echo "$name: as expected"
}

# The keys registration writes: both ProgIDs, both classes, the library.
KEYS=('HKCR\KIVOPARSE.KIVOParseCtrl.1' 'HKCR\CLSID\{AD4D4056-9C88-4612-A1B8-7841BB8058B5}'
  'HKCR\KIVOPARSE.KIVOParsePropPage.1' 'HKCR\CLSID\{1BF491E6-EFA1-420D-804A-386D710EA86C}'
  'HKCR\TypeLib\{E240F9F5-186F-440A-9FC9-AE719588CF30}')

# Exported as regedit text, the module's path written MODULE.
registry() {
  local key text module folder
  module=$(winpath "$OCX64")
  module=${module//\\/\\\\}
  folder=${module%\\\\*}
  for key in "${KEYS[@]}"; do
    wine reg export "$key" 'C:\keys.reg' /y >/dev/null 2>&1 || { echo "no key $key"; continue; }
    text=$(iconv -f UTF-16 -t UTF-8 "$WINEPREFIX/drive_c/keys.reg" | tr -d '\r' | grep -v '^Windows Registry')
    text=${text//"$module"/MODULE}
    printf '%s\n' "${text//"$folder"/FOLDER}"
  done
}

control() {
  prefix || return 1
  local client=$BUILD64/control/win/tests/kivoparse_ocx_client.exe status=0 key
  wine regsvr32 /s "$(winpath "$OCX64")" || { echo "regsvr32 failed" >&2; return 1; }
  registry | diff - "$TESTS/registry.expected" || { echo "the keys differ from registry.expected" >&2; status=1; }
  wine "$client" "$(winpath "$OCX64")" "$(winpath "$OCX32")" || status=1
  script scenario.vbs || status=1
  script scenario.js || status=1
  wine regsvr32 /u /s "$(winpath "$OCX64")" || { echo "regsvr32 /u failed" >&2; status=1; }
  for key in "${KEYS[@]}"; do
    wine reg query "$key" >/dev/null 2>&1 && { echo "$key is still there after regsvr32 /u" >&2; status=1; }
  done
  return $status
}

# The log is written in text mode, so its lines end in CR LF here; the
# tests compare lines. The stress suites are left to the Linux runs: under
# Wine they take minutes and show nothing the rest does not.
library() {
  prefix || return 1
  (cd "$BUILD64/tests" && wine kivoparse_tests.exe --gtest_brief=1 \
    '--gtest_filter=-MillionLevels.*:RandomDocuments.*:*long_runs*:EngineModes.AdversarialFamilies*')
  return $?
}

case "${1:-}" in
  modules|control|library) "$1" ;;
  *) echo "usage: $0 modules|control|library" >&2; exit 2 ;;
esac
