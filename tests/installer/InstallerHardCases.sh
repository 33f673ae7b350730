# The installer's hard cases, sourced by InstallerTest.sh (its helpers and variables): folders
# chosen with /D=, camera files in use, failures half way and missing rights. Starts and ends
# with nothing installed.

# The file the camera's class names in one registry view, if it is registered there.
registered_files() { # view
  run reg query "HKLM\\Software\\Classes\\CLSID\\$camera_clsid\\InprocServer32" /ve "/reg:$1" 2>/dev/null |
    tr -d '\r' | sed -n 's/^ *([^)]*) *REG_[A-Z_]* *//p'
}
# Every registration of the camera names a file that is there.
registrations_valid() {
  local view path
  [ -n "$camera_clsid" ] || return 1
  for view in 64 32; do
    while IFS= read -r path; do
      path=${path//\\//}
      [ -e "$WINEPREFIX/drive_c/${path#[Cc]:/}" ] || { echo "  a registration names a missing file: $path"; return 1; }
    done < <(registered_files $view)
  done
}
no_leftovers() { # folder: nothing set aside or waiting beside the installed files
  [ -z "$(find "$1" -name '*.new' -o -name '*.old' 2>/dev/null)" ]
}
# The uninstaller run in place (_?=), so that its exit code is its own; the caller then removes
# the uninstaller and the folder, as the custom goes. Like /D=, _?= cannot name a folder with
# spaces through Wine, so this is for the folders outside Program Files.
uninstall_in_place() { # unix folder, Windows folder
  run "$2\\Uninstall.exe" /S "_?=$2"
  local rc=$?
  rm -f "$1/Uninstall.exe"
  rmdir "$1" 2>/dev/null
  return $rc
}
restart() { wineboot -r >/dev/null 2>&1 </dev/null; }
# Wine passes on the low 8 bits of a Windows exit code.
exit_code_is() { # Windows code, the code seen
  [ "$2" = $(($1 % 256)) ]
}

# ---- Without administrator rights nothing is touched ----
build_setup "$work/User.exe" 0.0.4 -DACCOUNT_TYPE=User || echo "FAIL: makensis with a user's account"
run "Z:$work/User.exe" /S
check "without administrator rights the installer stops at once (exit 740)" exit_code_is 740 $?
untouched() { lacks "$dir" && ! run reg query "$uninstall_key" /reg:64 >/dev/null 2>&1; }
check "and has touched nothing" untouched

# ---- /D=: an install elsewhere is upgraded where it is; /D= to another folder moves it ----
custom=$WINEPREFIX/drive_c/MurmellaCustom wcustom='C:\MurmellaCustom'
moved=$WINEPREFIX/drive_c/MurmellaMoved wmoved='C:\MurmellaMoved'
run_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Run'
run "Z:$setup" /S "/D=$wcustom"
check "an install to a custom folder (/D=) succeeds" [ $? = 0 ]
check "it is in that folder" have "$custom/camera/x64/MurmellaScreenSharing.ax"
run reg add "$run_key" /v MurMellachatRun /d "\"$wcustom\\MurmellaChat.exe\"" /f /reg:64 >/dev/null
run "Z:$setup" /S
check "an upgrade without /D= succeeds" [ $? = 0 ]
check "it went to the custom folder, not to the default one" lacks "$dir"
check "the custom folder holds the new console" cmp -s "$custom/MurmellaChat.exe" "$chat64"
check "the Apps entry still names the custom folder" [ "$(value "$uninstall_key" InstallLocation)" = "$wcustom" ]
check "one registration per bitness after the upgrade" cameras_are 1
run "Z:$setup" /S "/D=$wmoved"
check "an install with /D= naming another folder succeeds" [ $? = 0 ]
check "the product moved: the earlier folder is gone" lacks "$custom"
for f in MurmellaChat.exe Uninstall.exe camera/x64/MurmellaScreenSharing.ax; do
  check "the new folder holds $f" have "$moved/$f"
done
check "the Apps entry names the new folder" [ "$(value "$uninstall_key" InstallLocation)" = "$wmoved" ]
check "the autostart value names the moved console" [ "$(value "$run_key" MurMellachatRun)" = "\"$wmoved\\MurmellaChat.exe\"" ]
check "one registration per bitness after the move" cameras_are 1
check "the camera's registration names the moved file" \
  [ "$(registered_files 64)" = "$wmoved\\camera\\x64\\MurmellaScreenSharing.ax" ]
check "no registration names a missing file after the move" registrations_valid
uninstall_in_place "$moved" "$wmoved"
check "the moved install uninstalls" [ $? = 0 ]
check "and leaves nothing" lacks "$moved"

# ---- A failing registration on an upgrade leaves the earlier version working ----
run "Z:$setup" /S
version=$(value "$uninstall_key" DisplayVersion)
run "Z:$work/Broken.exe" /S
check "an upgrade whose camera does not register fails" [ $? != 0 ]
check "the earlier version stays installed" [ "$(value "$uninstall_key" DisplayVersion)" = "$version" ]
check "with its own console" cmp -s "$dir/MurmellaChat.exe" "$chat64"
check "and its own camera" cmp -s "$dir/camera/x64/MurmellaScreenSharing.ax" "$camera64"
check "and nothing set aside left behind" no_leftovers "$dir"
check "its cameras are listed once" cameras_are 1
check "and registered to files that are there" registrations_valid
run "$windir\\Uninstall.exe" /S
wait_uninstalled

# ---- Camera files in use: capture clients stream from both cameras while the files are held ----
# The earlier version's cameras are marked (bytes appended), so the new files can be told apart.
for b in 64 32; do
  src=$camera64
  [ $b = 32 ] && src=$camera32
  [ -f "$src" ] || continue
  cp "$src" "$work/earlier$b.ax" && printf 'an earlier build' >>"$work/earlier$b.ax"
done
build_setup "$work/Earlier.exe" 0.0.1 -DCAMERA64="$work/earlier64.ax" -DCAMERA32="$work/earlier32.ax" ||
  echo "FAIL: makensis on the earlier version"
# Installed outside Program Files, so that the uninstaller can be run in place.
inuse=$WINEPREFIX/drive_c/MurmellaInUse winuse='C:\MurmellaInUse'
held=("$winuse\\camera\\x64\\MurmellaScreenSharing.ax")
[ "$wine32" = 1 ] && held+=("$winuse\\camera\\x86\\MurmellaScreenSharing.ax")
users=()
hold_cameras() {
  local c i=0
  for c in "${clients[@]}"; do
    i=$((i + 1))
    wine "$c" grab --device MurmellaScreenSharing --seconds 120 --out "Z:$work/stream$i" >/dev/null 2>&1 </dev/null &
    users+=($!)
  done
  touch "$work/holding"
  wine "$holdfile" "Z:$work/holding" "${held[@]}" >"$work/held.out" 2>&1 </dev/null &
  users+=($!)
  for _ in $(seq 1 100); do grep -qs held "$work/held.out" && break; sleep 0.1; done
  sleep 2 # the clients' graphs are running
  grep -qs held "$work/held.out"
}
streaming() { local p; for p in "${users[@]}"; do kill -0 "$p" 2>/dev/null || return 1; done; }
release_cameras() {
  rm -f "$work/holding"
  local p
  for p in "${users[@]}"; do kill "$p" 2>/dev/null; wait "$p" 2>/dev/null; done
  users=()
}

run "Z:$work/Earlier.exe" /S "/D=$winuse"
check "the earlier version installs" [ $? = 0 ]
# A file that cannot be written (a folder in the way of the new camera) stops the upgrade
# before anything changed.
mkdir "$inuse/camera/x64/MurmellaScreenSharing.ax.new"
run "Z:$setup" /S
check "an upgrade that cannot write a file fails" [ $? != 0 ]
rmdir "$inuse/camera/x64/MurmellaScreenSharing.ax.new"
check "and leaves the earlier camera in place" cmp -s "$inuse/camera/x64/MurmellaScreenSharing.ax" "$work/earlier64.ax"
check "with nothing new beside it" no_leftovers "$inuse"
check "and still registered" cameras_are 1
check "capture clients stream from the cameras, their files held" hold_cameras
run "Z:$setup" /S
check "an upgrade over cameras in use says a restart is needed (exit 3010)" exit_code_is 3010 $?
check "the capture clients go on streaming" streaming
check "no registration names a missing file before the restart" registrations_valid
check "the console is already the new one" cmp -s "$inuse/MurmellaChat.exe" "$chat64"
check "the held camera stays the earlier one until the restart" cmp -s "$inuse/camera/x64/MurmellaScreenSharing.ax" "$work/earlier64.ax"
release_cameras
restart
check "after the restart the 64-bit camera is the new one" cmp -s "$inuse/camera/x64/MurmellaScreenSharing.ax" "$camera64"
[ "$wine32" = 1 ] &&
  check "after the restart the 32-bit camera is the new one" cmp -s "$inuse/camera/x86/MurmellaScreenSharing.ax" "$camera32"
check "one copy of each file: nothing beside them" no_leftovers "$inuse"
check "every capture client lists the camera once" cameras_are 1
check "no registration names a missing file after the restart" registrations_valid

check "capture clients stream again, the files held" hold_cameras
uninstall_in_place "$inuse" "$winuse"
check "an uninstall with cameras in use says a restart is needed (exit 3010)" exit_code_is 3010 $?
check "the Apps entry is gone" no_value "$uninstall_key" DisplayName
check "no capture client lists the camera any more" cameras_are 0
check "no registration names a missing file" registrations_valid
release_cameras
restart
check "after the restart no file is left" lacks "$inuse"
check "and no capture client lists the camera" cameras_are 0
