#!/usr/bin/env bash
# MurmellaSetup.exe end to end in the Wine prefix scripts/with-wine prepared: a failed camera
# registration stops the install; a silent install registers both cameras (each bitness's
# capture client lists one), the console runs from the installed path and writes its quoted
# autostart value; an upgrade over a running console ends it (its options saved and kept) and
# leaves one registration; a silent uninstall over a running console ends it, removes files,
# registrations, autostart values, shortcut and Apps entry and keeps the options unless asked.
#
# usage: InstallerTest.sh SETUP MAKENSIS SCRIPT CAMSNAP64 CAMSNAP32 CHAT64 OBJDUMP CHECKIMPORTS
set -u
setup=$1 makensis=$2 nsi=$3 camsnap64=$4 camsnap32=$5 chat64=$6 objdump=$7 checkimports=$8
root=$(cd "$(dirname "$0")/../.." && pwd)
run() { "$root/scripts/wine-run" "$@"; }
: "${WINEPREFIX:?run under scripts/with-wine}"
for f in "$setup" "$camsnap64" "$chat64"; do
  [ -f "$f" ] || { echo "installer test: $f is missing; build the win64 preset, then the win32 one"; exit 1; }
done
# No desktop entries for the Start-menu shortcut outside the prefix.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-};winemenubuilder.exe=d"

failures=0
check() { # description, then a command that must succeed
  local what=$1; shift
  if "$@"; then echo "ok: $what"; else echo "FAIL: $what"; failures=$((failures + 1)); fi
}
have() { [ -e "$1" ]; }
lacks() { [ ! -e "$1" ]; }

dir="$WINEPREFIX/drive_c/Program Files/Murmella"
windir='C:\Program Files\Murmella'
shortcut="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/MurmellaChat.lnk"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Murmella'
params='HKCU\Murmellachat\params'
run_keys=(Run RunServices RunOnce)
consoles=()
work=$(mktemp -d)
cleanup() {
  local pid
  for pid in "${consoles[@]}"; do kill "$pid" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT

# A value's data as reg.exe prints it, or nothing; the 64-bit view unless told otherwise.
value() { # key, name[, view]
  run reg query "$1" /v "$2" "/reg:${3:-64}" 2>/dev/null | tr -d '\r' |
    sed -n "s/^ *$2 *REG_[A-Z_]* *//p"
}
no_value() { [ -z "$(value "$@")" ]; }
cameras() { # capture client -> how many devices it lists as MurmellaScreenSharing
  run "$1" list 2>/dev/null | grep -c '"name":"MurmellaScreenSharing"'
}
cameras_are() { # count
  [ "$(cameras "$camsnap64")" = "$1" ] && [ "$(cameras "$camsnap32")" = "$1" ]
}
# The uninstaller runs from a copy of itself in the temporary folder and returns at once;
# it is done when its Apps entry and its files are gone.
wait_uninstalled() {
  for _ in $(seq 1 300); do
    if lacks "$dir/Uninstall.exe" && lacks "$dir/MurmellaChat.exe"; then
      # The registry is written after the files.
      for _ in $(seq 1 50); do
        [ -z "$(value "$uninstall_key" DisplayName)" ] && return 0
        sleep 0.2
      done
      return 1
    fi
    sleep 0.2
  done
  return 1
}
start_console() {
  wine "$windir\\MurmellaChat.exe" >/dev/null 2>&1 </dev/null &
  consoles+=($!)
  console=$!
  for _ in $(seq 1 150); do
    [ "$(value 'HKLM\Software\Microsoft\Windows\CurrentVersion\Run' MurMellachatRun)" = "\"$windir\\MurmellaChat.exe\"" ] && return 0
    sleep 0.2
  done
  return 1
}
console_ended() {
  for _ in $(seq 1 100); do
    kill -0 "$console" 2>/dev/null || return 0
    sleep 0.1
  done
  return 1
}

# Leftovers of an earlier run go first.
if have "$dir/Uninstall.exe"; then
  run "$windir\\Uninstall.exe" /S /REMOVESETTINGS
  wait_uninstalled
fi
run reg delete 'HKCU\Murmellachat' /f >/dev/null 2>&1

check "the installer imports system DLLs only" cmake -DOBJDUMP="$objdump" -DFILE="$setup" -P "$checkimports"
check "the installer carries its version resource" bash -c \
  "'${objdump%objdump}windres' -i '$setup' -O rc | grep -q 'VALUE \"ProductName\", \"Murmella\"'"

# A camera that does not register stops the install with an error.
echo 'not a library' >"$work/broken.ax"
"$makensis" -V1 -NOCD -DVERSION=0.0.1 -DOUTFILE="$work/Broken.exe" -DCHAT64="$chat64" -DCHAT32="$chat64" \
  -DCAMERA64="$work/broken.ax" -DCAMERA32="$work/broken.ax" "$nsi" || echo "FAIL: makensis on the broken set"
run "Z:$work/Broken.exe" /S
check "a failed registration fails the install" [ $? != 0 ]
check "and leaves no Apps entry" no_value "$uninstall_key" DisplayName

# The operator's options before the first run: popups off.
run reg add "$params" /v chpopup.Checked /t REG_SZ /d False /f >/dev/null
run "Z:$setup" /S
check "the silent install succeeds" [ $? = 0 ]
check "MurmellaChat is the 64-bit build" cmp -s "$dir/MurmellaChat.exe" "$chat64"
check "both cameras are installed" have "$dir/camera/x64/MurmellaScreenSharing.ax"
check "the 32-bit camera is installed" have "$dir/camera/x86/MurmellaScreenSharing.ax"
check "the uninstaller is installed" have "$dir/Uninstall.exe"
check "the uninstaller imports system DLLs only" cmake -DOBJDUMP="$objdump" -DFILE="$dir/Uninstall.exe" -P "$checkimports"
check "the Start-menu shortcut exists" have "$shortcut"
check "both capture clients list the camera once" cameras_are 1
check "Apps entry: display name" [ "$(value "$uninstall_key" DisplayName)" = Murmella ]
check "Apps entry: version" [ -n "$(value "$uninstall_key" DisplayVersion)" ]
check "Apps entry: publisher" [ -n "$(value "$uninstall_key" Publisher)" ]
check "Apps entry: location" [ "$(value "$uninstall_key" InstallLocation)" = "$windir" ]
check "Apps entry: quiet uninstall" [ "$(value "$uninstall_key" QuietUninstallString)" = "\"$windir\\Uninstall.exe\" /S" ]
size=$(value "$uninstall_key" EstimatedSize)
check "Apps entry: size in KB ($size)" [ $((${size:-0})) -gt 1000 ]

check "the installed console writes its quoted autostart value" start_console

# Upgrade while the console runs: it is asked to end, saves its options, and they stay.
run "Z:$setup" /S
check "the upgrade succeeds" [ $? = 0 ]
check "the upgrade ended the running console" console_ended
check "its options were restored and saved on the way out" [ "$(value "$params" chpopup.Checked)" = False ]
check "and written in full" [ "$(value "$params" chstartup.Checked)" = True ]
check "the upgrade leaves one registration per bitness" cameras_are 1

# Uninstall while the console runs; the autostart value sits in every Run key of both hives.
check "the console runs again" start_console
for k in "${run_keys[@]}"; do
  run reg add "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\$k" /v MurMellachatRun /d x /f >/dev/null
  for view in 64 32; do
    run reg add "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\$k" /v MurMellachatRun /d x /f /reg:$view >/dev/null
  done
done
run "$windir\\Uninstall.exe" /S
check "the silent uninstall finishes" wait_uninstalled
check "the uninstall ended the running console" console_ended
check "the files are gone" lacks "$dir"
check "the shortcut is gone" lacks "$shortcut"
for k in "${run_keys[@]}"; do
  check "no autostart value in HKCU $k" no_value "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\$k" MurMellachatRun
  for view in 64 32; do
    check "no autostart value in HKLM $k ($view-bit view)" \
      no_value "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\$k" MurMellachatRun $view
  done
done
check "no capture client lists the camera" cameras_are 0
check "the options stay" [ "$(value "$params" chpopup.Checked)" = False ]

# Asked to, the uninstaller removes the options and the camera settings too.
run reg add 'HKCU\Software\VarnekSystems\Filters\VirtualWebCamera' /v FramesPerSecond /t REG_DWORD /d 5 /f >/dev/null
run "Z:$setup" /S
run "$windir\\Uninstall.exe" /S /REMOVESETTINGS
check "the second uninstall finishes" wait_uninstalled
check "/REMOVESETTINGS removes the options" no_value "$params" chpopup.Checked
check "/REMOVESETTINGS removes the camera settings" no_value 'HKCU\Software\VarnekSystems\Filters\VirtualWebCamera' FramesPerSecond

echo "$failures failed"
[ "$failures" = 0 ]
