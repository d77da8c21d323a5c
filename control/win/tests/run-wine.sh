#!/usr/bin/env bash
# Tests of the Windows build under Wine, from the checkout root:
#   control/win/tests/run-wine.sh modules   both modules as data: exports, imports, resources
#   control/win/tests/run-wine.sh control   each module in turn: without registration (side-by-side
#                                           manifest), then register, the client, the code pages,
#                                           both scripts, unregister; the 32-bit one through WOW64
#                                           (SysWOW64's regsvr32, cscript and reg)
#   control/win/tests/run-wine.sh library   the library's own tests, one Wine start
# BUILD64 and BUILD32 name the build directories (build-win64, build-win32).
# The Wine prefix is made fresh in $BUILD64/wineprefix by the first command
# that needs it.
set -uo pipefail
BUILD64=${BUILD64:-build-win64}
BUILD32=${BUILD32:-build-win32}
OCX64=$BUILD64/control/win/KIVOPARSE.OCX
OCX32=$BUILD32/control/win/KIVOPARSE.OCX
SYSWOW64='C:\windows\syswow64'
# Debian's `wine` is the 32-bit loader once wine32 is installed, and a
# 32-bit process that names System32 gets SysWOW64: the 64-bit programs of
# the prefix (regsvr32, reg, cscript) are started with the 64-bit loader.
WINE64=wine
[ -x /usr/lib/wine/wine64 ] && WINE64=/usr/lib/wine/wine64
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
# A DLL runs in its host's process: subsystem Windows GUI. Release modules
# carry no symbols.
check_module() {
  local module=$1 dump status=0
  dump=$(x86_64-w64-mingw32-objdump -p "$module") || return 1
  grep -Eq '^Subsystem\s.*\(Windows GUI\)' <<<"$dump" ||
    { echo "$module: subsystem is not Windows GUI" >&2; status=1; }
  x86_64-w64-mingw32-objdump -f "$module" | grep -q HAS_SYMS && { echo "$module is not stripped" >&2; status=1; }
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
# script NAME LOADER CSCRIPT
script() {
  local name=$1 loader=$2 cscript=$3 out
  out=$(cd "$TESTS" && "$loader" "$cscript" //nologo "$name" | tr -d '\r')
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
# registry MODULE LOADER REG
registry() {
  local key text module folder loader=$2 reg=$3
  module=$(winpath "$1")
  module=${module//\\/\\\\}
  folder=${module%\\\\*}
  for key in "${KEYS[@]}"; do
    "$loader" "$reg" export "$key" 'C:\keys.reg' /y >/dev/null 2>&1 || { echo "no key $key"; continue; }
    text=$(iconv -f UTF-16 -t UTF-8 "$WINEPREFIX/drive_c/keys.reg" | tr -d '\r' | grep -v '^Windows Registry')
    text=${text//"$module"/MODULE}
    printf '%s\n' "${text//"$folder"/FOLDER}"
  done
}

# The code-page cases (codepage.cases) in processes whose ANSI code page is
# 1252 and 932: Wine takes it from LC_CTYPE's name, installed or not (C.UTF-8
# gives 1252; a locale that is not installed leaves file names ASCII only).
# codepage LOADER TESTS-BUILD
codepage() {
  local locale status=0
  for locale in C.UTF-8 ja_JP.UTF-8; do
    LC_ALL=$locale "$1" "$2/kivoparse_ocx_client.exe" /codepage "$(winpath "$TESTS/codepage.cases")" || status=1
  done
  return $status
}

# Before registration: the module, its assembly manifest and a host's
# manifest in one folder, as a user without administrator rights ships them.
# regfree LOADER BUILD
regfree() {
  local folder=$2/regfree
  rm -rf "$folder" && mkdir -p "$folder" || return 1
  cp "$2/control/win/KIVOPARSE.OCX" "$TESTS/KIVOParse.manifest" "$TESTS/kivoparse-host.manifest" "$folder/" || return 1
  "$1" "$2/control/win/tests/kivoparse_ocx_client.exe" /regfree "$(winpath "$folder/kivoparse-host.manifest")"
}

# control_width BUILD OTHER-MODULE LOADER SYSTEM-FOLDER TYPELIB-PLATFORM: one module
# registered with the regsvr32 of its width (System32 for 64-bit hosts,
# SysWOW64 for 32-bit ones), seen through the registry view of that width,
# driven by the client and the scripts of that width, then unregistered.
control_width() {
  local build=$1 other=$2 loader=$3 system=$4 platform=$5 status=0 key
  local module=$build/control/win/KIVOPARSE.OCX tests=$build/control/win/tests
  echo "--- $module, through $system"
  regfree "$loader" "$build" || status=1
  "$loader" "$system\\regsvr32.exe" /s "$(winpath "$module")" || { echo "regsvr32 failed" >&2; return 1; }
  registry "$module" "$loader" "$system\\reg.exe" | diff - <(sed "s/\\\\win64]\$/\\\\$platform]/" "$TESTS/registry.expected") ||
    { echo "the keys differ from registry.expected" >&2; status=1; }
  "$loader" "$tests/kivoparse_ocx_client.exe" "$(winpath "$module")" "$(winpath "$tests/KIVOPARSE_FAULTS.OCX")" \
    "$(winpath "$other")" || status=1
  codepage "$loader" "$tests" || status=1
  script scenario.vbs "$loader" "$system\\cscript.exe" || status=1
  script scenario.js "$loader" "$system\\cscript.exe" || status=1
  "$loader" "$system\\regsvr32.exe" /u /s "$(winpath "$module")" || { echo "regsvr32 /u failed" >&2; status=1; }
  for key in "${KEYS[@]}"; do
    "$loader" "$system\\reg.exe" query "$key" >/dev/null 2>&1 && { echo "$key is still there after regsvr32 /u" >&2; status=1; }
  done
  return $status
}

# Both modules registered at once, as on a machine with 32-bit and 64-bit
# hosts: removing one keeps the ProgIDs, which both widths share, for the
# other (control_width saw that removing the last one leaves no key).
both_widths() {
  local status=0
  "$WINE64" 'C:\windows\system32\regsvr32.exe' /s "$(winpath "$OCX64")" &&
    wine "$SYSWOW64\\regsvr32.exe" /s "$(winpath "$OCX32")" &&
    wine "$SYSWOW64\\regsvr32.exe" /u /s "$(winpath "$OCX32")" || { echo "regsvr32 failed" >&2; return 1; }
  echo "--- 64-bit host, after the 32-bit module was unregistered"
  script scenario.js "$WINE64" 'C:\windows\system32\cscript.exe' || status=1
  "$WINE64" 'C:\windows\system32\regsvr32.exe' /u /s "$(winpath "$OCX64")" || status=1
  return $status
}

# The 32-bit module needs Wine's 32-bit half (Debian's wine32, i386
# multiarch): without it, Wine has no SysWOW64 to run it in.
control() {
  prefix || return 1
  local status=0
  control_width "$BUILD64" "$OCX32" "$WINE64" 'C:\windows\system32' win64 || status=1
  if [ -f "$WINEPREFIX/drive_c/windows/syswow64/regsvr32.exe" ]; then
    control_width "$BUILD32" "$OCX64" wine "$SYSWOW64" win32 || status=1
    both_widths || status=1
  else
    echo "no 32-bit Wine (package wine32): the 32-bit module was not run" >&2
    status=1
  fi
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
