#!/usr/bin/env bash
# installer_tests.sh machine|machine+32bit|user BUILD_DIR SETUP_EXE
# Installs the setup program silently into a folder that holds a stand-in wizard, checks
# the files, the registration in both registry views and the Add or Remove Programs entry,
# drives the installed extension with the shell host, uninstalls it in place and compares
# the registry with the state before installing: nothing left, nothing foreign removed.
set -euo pipefail
mode=$1 build=$2 setup=$3
scope=${mode%+32bit}
# The DLLs as packed, beside the setup program.
payload=$(dirname "$setup")/payload
export WINEPREFIX=$build/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# Every call through the 64-bit loader, as on machines that run no 32-bit programs; Wine
# starts a 32-bit setup program itself where it can.
wine=/usr/lib/wine/wine64

clsid='{B0EC6BBF-49C8-11D5-901D-00B0D064D823}'
approved='Software\Microsoft\Windows\CurrentVersion\Shell Extensions\Approved'
uninstall='Software\Microsoft\Windows\CurrentVersion\Uninstall\Orrelin'
app_paths='Software\Microsoft\Windows\CurrentVersion\App Paths\Brannoc.exe'
folder_win="C:\\orrelin-setup-$scope\\Halvorn Brannoc"
folder=$WINEPREFIX/drive_c/orrelin-setup-$scope/"Halvorn Brannoc"
work=$(mktemp -d)
failures=0
trap 'rm -rf "$work"' EXIT

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
check() { if eval "$2"; then echo "ok: $1"; else fail "$1"; fi; }

# The machine a PE file is built for, as its header states it: 8664 (x64) or 014c (x86).
pe_machine() {
  local header
  header=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
  od -An -tx2 -j$((header + 4)) -N2 "$1" | tr -d ' '
}
case $setup in *-x64-setup.exe) machine=8664 ;; *) machine=014c ;; esac
check "setup program built for machine $machine" '[ "$(pe_machine "$setup")" = "$machine" ]'

# reg.exe's answer to one value: its data, or empty when absent.
reg_value() { # key value-name-or-/ve view
  local args=(query "$1")
  if [ "$2" = /ve ]; then args+=(/ve); else args+=(/v "$2"); fi
  "$wine" reg "${args[@]}" "/reg:$3" 2>/dev/null | tr -d '\r' |
    sed -n 's/^    [^ ].*    REG_[A-Z_]*    //p' | head -n 1 || true
}

# The registry parts an installation may touch, as text: the machine's software in both
# views, the classes in both views and the whole current user.
snapshot() { # out
  : >"$1"
  local where
  for where in 'HKLM\Software:64' 'HKLM\Software:32' 'HKCR:64' 'HKCR:32' 'HKCU:64'; do
    local key=${where%:*} view=${where##*:}
    # An export fails when another test's keys go while it reads them: it is tried again,
    # and a snapshot never holds an earlier export in its place.
    local exported=0
    for _ in 1 2 3; do
      rm -f "$work/export.reg"
      if "$wine" reg export "$key" "$work/export.reg" "/reg:$view" /y >/dev/null 2>&1; then exported=1; break; fi
    done
    [ "$exported" = 1 ] || { echo "FAIL: reg export $key /reg:$view"; return 1; }
    echo "[[ $key /reg:$view ]]" >>"$1"
    # UTF-16 out. Left out: Wine's own settings and changing times, and the scratch keys of
    # the registrar's tests, which may run meanwhile.
    iconv -f UTF-16LE -t UTF-8 "$work/export.reg" | tr -d '\r' |
      awk '/^\[/{skip = index($0, "\\Software\\Wine\\") || index($0, "\\Software\\OrrelinTests")}
           !skip && !/^"LastBootTime"/ && !/^#time=/' >>"$1"
  done
}

# The machine's part of a snapshot: its sections of HKLM and HKCR.
# Wine's RegisterTypeLibForUser registers the library's interfaces for the machine (a stub
# that says so); on Windows they go to the user's classes. Only those keys are left out.
machine_part() {
  awk '/^\[\[ /{on = ($2 != "HKCU")} /^\[/{skip = index($0, "Interface\\{B0EC6BBE-49C8-11D5-901D-00B0D064D823}") > 0}
       on && !skip' "$1"
}

rm -rf "$WINEPREFIX/drive_c/orrelin-setup-$scope"
mkdir -p "$folder"
cp "$build/x86_64/bin/Brannoc.exe" "$folder/"
# Keys that Windows has and a new Wine prefix may lack. Registration makes them when they
# are missing and leaves them, emptied, when it removes its values; without them here,
# whichever test registered first would decide what "before installing" holds.
for key in 'HKLM\Software\Microsoft\Windows\CurrentVersion\PropertySystem\PropertyHandlers' \
  'HKCU\Software\Classes\CLSID' 'HKCU\Software\Classes\Interface' 'HKCU\Software\Classes\Typelib' \
  'HKCU\Software\Microsoft\Windows\CurrentVersion\PreviewHandlers'; do
  "$wine" reg add "$key" /f /reg:64 >/dev/null
done
# The 32-bit component registers its property handler in the 32-bit view.
"$wine" reg add 'HKLM\Software\Microsoft\Windows\CurrentVersion\PropertySystem\PropertyHandlers' /f /reg:32 >/dev/null
# Before installing means without this extension: the keys an earlier regsvr32 /u of
# another test leaves (the info tip handler naming our class, emptied handler keys) go.
for classes in 'HKLM\Software\Classes' 'HKCU\Software\Classes'; do
  for view in 64 32; do
    for key in '.dfu\shellex' 'dfufile\ShellEx'; do
      "$wine" reg delete "$classes\\$key" /f "/reg:$view" >/dev/null 2>&1 || true
    done
  done
done
if [ "$scope" = machine ]; then
  # Windows always has the machine's list of installed programs; a new Wine prefix may not.
  "$wine" reg add 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /f /reg:64 >/dev/null
  # Another program's association of the file type, which the removal must leave as it was.
  "$wine" reg add 'HKLM\Software\Classes\.dfu' /ve /d dfufile /f /reg:64 >/dev/null
  "$wine" reg add 'HKLM\Software\Classes\.dfu' /v "Content Type" /d application/octet-stream /f /reg:64 >/dev/null
else
  # The wizard as it registers itself: the setup program finds the folder without /D=.
  "$wine" reg add "HKCU\\$app_paths" /ve /d "$folder_win\\Brannoc.exe" /f /reg:64 >/dev/null
fi
snapshot "$work/before.txt"

switches=(/S)
root=HKLM
if [ "$scope" = user ]; then switches+=(/CurrentUser); root=HKCU; fi
if [ "$mode" = machine+32bit ]; then switches+=(/With32Bit); fi
started=$(date +%s%N)
# Through cmd, so the program receives the command line as written: /D= takes the rest of
# it, spaces included, and would not be found inside the quotes Wine puts around it.
if [ "$scope" = user ]; then
  "$wine" "$setup" "${switches[@]}"
else
  "$wine" cmd /c "$("$wine" winepath -w "$setup") ${switches[*]} /D=$folder_win"
fi
echo "installed in $((($(date +%s%N) - started) / 1000000)) ms"
if [ "$scope" = machine ]; then
  # Installing again upgrades in place: the same files, one entry, the same registration.
  "$wine" cmd /c "$("$wine" winepath -w "$setup") ${switches[*]} /D=$folder_win"
  entries=$("$wine" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /reg:64 | tr -d '\r' |
    grep -ci 'Uninstall\\Orrelin' || true)
  check "one entry after installing again" '[ "$entries" -eq 1 ]'
fi

check "x86_64 Orrelin.dll installed" 'cmp -s "$folder/Orrelin.dll" "$payload/x86_64/Orrelin.dll"'
check "x86_64 Korvex.dll installed" 'cmp -s "$folder/Korvex.dll" "$payload/x86_64/Korvex.dll"'
check "uninstaller installed" '[ -f "$folder/Uninstall-Orrelin.exe" ]'
check "stand-in wizard untouched" 'cmp -s "$folder/Brannoc.exe" "$build/x86_64/bin/Brannoc.exe"'

if [ "$scope" = user ]; then
  classes='HKCU\Software\Classes'
  check "HKLM unchanged while installed" \
    'snapshot "$work/installed.txt"; diff <(machine_part "$work/before.txt") <(machine_part "$work/installed.txt")'
else
  classes='HKCR'
fi
if [ "$mode" != machine+32bit ]; then
  check "no 32-bit copy without asking" '[ ! -e "$folder/x86" ]'
else
  check "i686 Orrelin.dll installed" 'cmp -s "$folder/x86/Orrelin.dll" "$payload/i686/Orrelin.dll"'
  check "i686 registered in the 32-bit view" \
    '[ "$(reg_value "$classes\CLSID\\$clsid\InprocServer32" /ve 32)" = "$folder_win\x86\Orrelin.dll" ]'
fi
check "x86_64 registered in the 64-bit view" \
  '[ "$(reg_value "$classes\CLSID\\$clsid\InprocServer32" /ve 64)" = "$folder_win\Orrelin.dll" ]'
check "approved" '[ "$(reg_value "$root\\$approved" "$clsid" 64)" = "CTxtInfoShlExt extension" ]'
check "thumbnail provider on the extension" \
  '[ "$(reg_value "$classes\.dfu\shellex\{E357FCCD-A995-4576-B01F-234630154E96}" /ve 64)" = "{75E21AA9-E4B9-4554-9E19-FEC5135C8DB5}" ]'

for row in "DisplayName=Orrelin (DFU firmware files in Explorer)" "DisplayVersion=2.4.0.0" "Publisher=Halvorn" \
  "InstallLocation=$folder_win" "UninstallString=\"$folder_win\\Uninstall-Orrelin.exe\"" \
  "QuietUninstallString=\"$folder_win\\Uninstall-Orrelin.exe\" /S" "DisplayIcon=$folder_win\\Uninstall-Orrelin.exe" \
  "NoModify=0x1" "NoRepair=0x1"; do
  name=${row%%=*} expected=${row#*=}
  check "entry $name" '[ "$(reg_value "$root\\$uninstall" "$name" 64)" = "$expected" ]'
done
size=$(reg_value "$root\\$uninstall" EstimatedSize 64)
check "entry EstimatedSize ($size KB)" '[ -n "$size" ] && [ $((size)) -gt 100 ]'

if [ "$scope" = machine ]; then
  # The shell host takes the handlers from the registry, as Explorer does: the installed
  # library answers and finds the wizard beside itself.
  (cd "$folder" && "$wine" "$build/x86_64/bin/dfushell.exe" --no-ui "$build/x86_64/bin/engine-samples/ids.dfu") \
    >"$work/host.txt" 2>&1 || true
  tr -d '\r' <"$work/host.txt" >"$work/host-lf.txt"
  check "info tip shown" 'grep -q "Device Firmware Upgrade (DFU) file" "$work/host-lf.txt"'
  check "menu entries shown" 'grep -Eq "Context menu from Orrelin.DFUShellExt: [1-9]" "$work/host-lf.txt" && grep -q "using the Halvorn Device" "$work/host-lf.txt"'
  [ "$failures" -eq 0 ] || cat "$work/host-lf.txt"
fi

# In place (_?=): an uninstaller started with only /S returns before it has finished.
(cd "$folder" && "$wine" cmd /c "Uninstall-Orrelin.exe /S _?=$folder_win")
check "library files removed" '[ ! -e "$folder/Orrelin.dll" ] && [ ! -e "$folder/Korvex.dll" ] && [ ! -e "$folder/x86" ]'
check "wizard stays" '[ -f "$folder/Brannoc.exe" ]'
# Running in place, the uninstaller cannot delete itself.
rm -f "$folder/Uninstall-Orrelin.exe"
snapshot "$work/after.txt"
if diff -u "$work/before.txt" "$work/after.txt" >"$work/diff.txt"; then
  echo "ok: registry after removal equals before installing ($(wc -l <"$work/before.txt") lines compared)"
else
  fail "registry after removal differs from before installing:"
  head -n 60 "$work/diff.txt"
fi
if [ "$scope" = user ]; then
  "$wine" reg delete "HKCU\\$app_paths" /f /reg:64 >/dev/null 2>&1 || true
else
  "$wine" reg delete 'HKLM\Software\Classes\.dfu' /f /reg:64 >/dev/null 2>&1 || true
fi
rm -rf "$WINEPREFIX/drive_c/orrelin-setup-$scope"
echo "$failures failure(s)"
[ "$failures" -eq 0 ]
