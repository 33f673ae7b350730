#!/usr/bin/env bash
# MurmellaSetup.exe end to end in the Wine prefix scripts/with-wine prepared: a failed camera
# registration stops the install; a silent install registers both cameras (each bitness's
# capture client lists one), the console runs from the installed path and writes its quoted
# autostart value; an upgrade over a running console ends it (its options saved and kept) and
# leaves one registration; a silent uninstall over a running console ends it, removes files,
# registrations, autostart values, shortcut and Apps entry and keeps the options unless asked.
# Then the hard cases: an install made with /D= is upgraded in place; /D= to another folder moves
# the product; an upgrade and an uninstall while capture clients stream from the cameras and
# the files are held the way Windows holds a loaded library (exit 3010, finished by a restart);
# a failing registration on a fresh install and on an upgrade changes nothing; an account
# without administrator rights is stopped at once.
#
# Where 32-bit programs cannot run (MURMELLA_WINE32=0 from scripts/with-wine), the same script
# is built as a 64-bit installer without the 32-bit console and camera, and that is tested.
#
# usage: InstallerTest.sh SETUP MAKENSIS SCRIPT CAMSNAP64 CAMSNAP32 CHAT64 CAMERA64 HOLDFILE
#                         OBJDUMP CHECKIMPORTS
set -u
setup=$1 makensis=$2 nsi=$3 camsnap64=$4 camsnap32=$5 chat64=$6 camera64=$7 holdfile=$8
objdump=$9 checkimports=${10}
root=$(cd "$(dirname "$0")/../.." && pwd)
run() { "$root/scripts/wine-run" "$@"; }
: "${WINEPREFIX:?run under scripts/with-wine}"
for f in "$setup" "$camsnap64" "$chat64" "$camera64" "$holdfile"; do
  [ -f "$f" ] || { echo "installer test: $f is missing; build the win64 preset, then the win32 one"; exit 1; }
done
camera32=$(dirname "$setup")/../VirtualWebCam/MurmellaScreenSharing.ax
chat32=$(dirname "$setup")/../console/MurmellaChat.exe
wine32=${MURMELLA_WINE32:-1}
shipped=$setup
clients=("$camsnap64")
[ "$wine32" = 1 ] && clients+=("$camsnap32")
# No desktop entries for the Start-menu shortcut outside the prefix.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-};winemenubuilder.exe=d"

failures=0
check() { # description, then a command that must succeed
  local what=$1; shift
  if "$@"; then echo "ok: $what [${SECONDS}s]"; else echo "FAIL: $what [${SECONDS}s]"; failures=$((failures + 1)); fi
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
  declare -F release_cameras >/dev/null && release_cameras
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
cameras_are() { # count: every capture client lists the camera that often
  local c
  for c in "${clients[@]}"; do [ "$(cameras "$c")" = "$1" ] || return 1; done
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

# An installer from this script with the given files and defines (the camera files may be
# replaced); a 64-bit-only one where 32-bit programs cannot run.
build_setup() { # out, version, then -DNAME=VALUE... (which replace the built files' names)
  local out=$1 version=$2; shift 2
  local -A given=([CHAT64]=$chat64 [CAMERA64]=$camera64 [CHAT32]=$chat32 [CAMERA32]=$camera32)
  local extra=() d name
  for d in "$@"; do
    name=${d#-D}; name=${name%%=*}
    if [ -n "${given[$name]+set}" ]; then given[$name]=${d#*=}; else extra+=("$d"); fi
  done
  [ "$wine32" = 1 ] || extra+=(-DWIN64_ONLY)
  # zlib: the test's installers are made in seconds, where LZMA takes a quarter of a minute.
  "$makensis" -V1 -NOCD "-XSetCompressor /FINAL zlib" "-DVERSION=$version" "-DOUTFILE=$out" "${extra[@]}" \
    "-DCHAT64=${given[CHAT64]}" "-DCAMERA64=${given[CAMERA64]}" "-DCHAT32=${given[CHAT32]}" \
    "-DCAMERA32=${given[CAMERA32]}" "$nsi" >/dev/null
}
if [ "$wine32" != 1 ]; then
  echo "note: this machine cannot run 32-bit programs: a 64-bit installer from the same script is tested"
  build_setup "$work/Setup64.exe" 0.0.2 || echo "FAIL: makensis on the 64-bit-only set"
  setup=$work/Setup64.exe
fi

# Leftovers of an earlier run go first.
if have "$dir/Uninstall.exe"; then
  run "$windir\\Uninstall.exe" /S /REMOVESETTINGS
  wait_uninstalled
fi
run reg delete 'HKCU\Murmellachat' /f >/dev/null 2>&1
# Tests run before this one may have registered the camera from the build tree (one class for
# every copy): unregistered here, so that the test starts with no camera at all.
run regsvr32 /s /u "Z:$camera64" >/dev/null 2>&1
[ "$wine32" = 1 ] && run 'C:\windows\syswow64\regsvr32.exe' /s /u "Z:$camera32" >/dev/null 2>&1

check "the installer imports system DLLs only" cmake -DOBJDUMP="$objdump" -DFILE="$shipped" -P "$checkimports"
check "the installer carries its version resource" bash -c \
  "'${objdump%objdump}windres' -i '$shipped' -O rc | grep -q 'VALUE \"ProductName\", \"Murmella\"'"

# A camera that does not register stops the install with an error, and leaves nothing behind.
echo 'not a library' >"$work/broken.ax"
build_setup "$work/Broken.exe" 0.0.3 -DCAMERA64="$work/broken.ax" -DCAMERA32="$work/broken.ax" ||
  echo "FAIL: makensis on the broken set"
run "Z:$work/Broken.exe" /S
check "a failed registration fails the install" [ $? != 0 ]
check "and leaves no Apps entry" no_value "$uninstall_key" DisplayName
check "no files or folder" lacks "$dir"
check "no shortcut" lacks "$shortcut"
check "no capture client lists the camera" cameras_are 0

# The operator's options before the first run: popups off.
run reg add "$params" /v chpopup.Checked /t REG_SZ /d False /f >/dev/null
run "Z:$setup" /S
check "the silent install succeeds" [ $? = 0 ]
check "MurmellaChat is the 64-bit build" cmp -s "$dir/MurmellaChat.exe" "$chat64"
check "the 64-bit camera is installed" have "$dir/camera/x64/MurmellaScreenSharing.ax"
[ "$wine32" = 1 ] && check "the 32-bit camera is installed" have "$dir/camera/x86/MurmellaScreenSharing.ax"
check "the uninstaller is installed" have "$dir/Uninstall.exe"
objdump_setup=$objdump
[ "$wine32" = 1 ] || objdump_setup=${objdump/i686/x86_64}
check "the uninstaller imports system DLLs only" cmake -DOBJDUMP="$objdump_setup" -DFILE="$dir/Uninstall.exe" -P "$checkimports"
check "the Start-menu shortcut exists" have "$shortcut"
check "both capture clients list the camera once" cameras_are 1
# The camera's class, as capture clients see it: the key its registrations are checked under.
camera_clsid=$(run "$camsnap64" list 2>/dev/null | sed -n 's/.*"name":"MurmellaScreenSharing","clsid":"\([^"]*\)".*/\1/p')
check "the camera's class is known ($camera_clsid)" [ -n "$camera_clsid" ]
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

. "$(dirname "$0")/InstallerHardCases.sh"

echo "$failures failed"
[ "$failures" = 0 ]
