; MurmellaSetup.exe: MurmellaChat (the build of the machine's bitness) and the screen camera in
; both builds, each registered with the regsvr32 of its own bitness, since a capture application
; loads only a camera of its own bitness.
;
; Built by installer/CMakeLists.txt, which passes VERSION (x.y.z), OUTFILE and the built files
; CHAT64, CHAT32, CAMERA64, CAMERA32.
;
; Command line: /S silent; /D=folder the install folder (last, unquoted). Without /D= an
; earlier install is upgraded where it is; with /D= naming another folder the product moves
; there. Uninstaller: /S silent, /REMOVESETTINGS also removes the operator's options and the
; camera settings. Exit code 3010 (silent or not): done, a restart finishes the job (a camera
; file was in use); 740: started without administrator rights.
;
; Test builds only: -DWIN64_ONLY makes a 64-bit installer without the 32-bit console and
; camera, for machines that cannot run 32-bit programs; -DACCOUNT_TYPE=User stands in for
; the account check's answer.

!ifdef WIN64_ONLY
Target amd64-unicode
!else
Unicode true
!endif
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestSupportedOS all

!include LogicLib.nsh
!include x64.nsh
!include FileFunc.nsh
!include WinMessages.nsh

!define PRODUCT "Murmella"
!define PUBLISHER "Varnek Systems"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Murmella"
!define CAMERA "MurmellaScreenSharing.ax"
!define UNINSTALLER "Uninstall.exe"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define AUTOSTART "MurMellachatRun"
; MoveFileEx flags
!define MOVEFILE_REPLACE_EXISTING 1
!define MOVEFILE_DELAY_UNTIL_REBOOT 4
!define ERROR_SUCCESS_REBOOT_REQUIRED 3010
!define ERROR_ELEVATION_REQUIRED 740

Var OldDir     ; the earlier install's folder, or ""
Var Upgrade    ; 1 when the earlier install is in $INSTDIR
Var StChat     ; what placing each file did: new, replaced, held (see PlaceFile)
Var StUninst
Var St64
Var St32

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
; Empty, so that .onInit can tell a /D= from no choice at all; it then picks the earlier
; install's folder or the default.
InstallDir ""
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"
VIAddVersionKey /LANG=0 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=0 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=0 "FileDescription" "Murmella setup: MurmellaChat and the MurmellaScreenSharing camera"
VIAddVersionKey /LANG=0 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "LegalCopyright" "${PUBLISHER}"
VIAddVersionKey /LANG=0 "OriginalFilename" "MurmellaSetup.exe"

Page directory
Page instfiles
UninstPage components
UninstPage instfiles

; ---- Shared by the installer and the uninstaller (NSIS wants the un. twins by name) ----

; The console closes itself to the tray on WM_CLOSE, so it is asked the way the system asks at
; log-off (ENDSESSION_CLOSEAPP, as installers do): it saves its options and ends. Its process
; is then waited for, a bounded time. Sets $R9 to "" when no console is left, else to a message.
!macro EndConsole un
Function ${un}EndConsole
  Push $0
  Push $1
  Push $2
  Push $3
  StrCpy $R9 ""
  StrCpy $3 0
  ${Do}
    FindWindow $0 "MurmellaForm" "MurmellaChat"
    ${If} $0 = 0
      ${Break}
    ${EndIf}
    ${If} $3 >= 3
      StrCpy $R9 "MurmellaChat is still running and did not end when asked. Choose $\"Close Murmellachat$\" in its tray menu, then run this again."
      ${Break}
    ${EndIf}
    IntOp $3 $3 + 1
    DetailPrint "Ending the running MurmellaChat"
    System::Call 'user32::GetWindowThreadProcessId(p r0, *i 0 r1)'
    ; SYNCHRONIZE: enough to wait for it.
    System::Call 'kernel32::OpenProcess(i 0x00100000, i 0, i r1) p .r2'
    SendMessage $0 ${WM_QUERYENDSESSION} 0 1 $1 /TIMEOUT=5000
    SendMessage $0 ${WM_ENDSESSION} 1 1 $1 /TIMEOUT=10000
    ${If} $2 P<> 0
      System::Call 'kernel32::WaitForSingleObject(p r2, i 15000) i .r1'
      System::Call 'kernel32::CloseHandle(p r2)'
    ${Else}
      Sleep 2000
    ${EndIf}
  ${Loop}
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd
!macroend
!insertmacro EndConsole ""
!insertmacro EndConsole "un."

; regsvr32 of the camera's bitness, from the folder that holds that bitness's system programs:
; $R0 the .ax file, $R1 "" or "/u ", $R2 64 or 32. Sets $R9 to regsvr32's exit code.
!macro Regsvr32 un
Function ${un}Regsvr32
  ${If} $R2 == 64
    ${DisableX64FSRedirection}
    ExecWait '"$WINDIR\System32\regsvr32.exe" /s $R1"$R0"' $R9
    ${EnableX64FSRedirection}
  ${ElseIf} ${RunningX64}
    ExecWait '"$WINDIR\SysWOW64\regsvr32.exe" /s $R1"$R0"' $R9
  ${Else}
    ExecWait '"$WINDIR\System32\regsvr32.exe" /s $R1"$R0"' $R9
  ${EndIf}
  ${If} $R9 == ""
    StrCpy $R9 "not started"
  ${EndIf}
FunctionEnd
!macroend
!insertmacro Regsvr32 ""
!insertmacro Regsvr32 "un."

; Deletes the file $R0 now or, when it is in use (a capture application holds the camera),
; at the next restart, and sets the reboot flag then.
!macro RemoveFile un
Function ${un}RemoveFile
  Delete "$R0"
  ${If} ${FileExists} "$R0"
    System::Call 'kernel32::MoveFileExW(w "$R0", p 0, i ${MOVEFILE_DELAY_UNTIL_REBOOT}) i .r9'
    DetailPrint "In use, deleted at the next restart: $R0"
    SetRebootFlag true
  ${EndIf}
FunctionEnd
!macroend
!insertmacro RemoveFile ""
!insertmacro RemoveFile "un."

!macro CallRemoveFile un file
  StrCpy $R0 "${file}"
  Call ${un}RemoveFile
!macroend

; A restart finishes the job: said in a message, and in the exit code for silent runs.
!macro RestartNotice what
  ${If} ${RebootFlag}
    MessageBox MB_ICONINFORMATION|MB_OK "A camera file is in use by a capture application. ${what} is done; restart Windows to finish it." /SD IDOK
    SetErrorLevel ${ERROR_SUCCESS_REBOOT_REQUIRED}
  ${EndIf}
!macroend

!macro CallRegsvr32 un file switch bits
  StrCpy $R0 "${file}"
  StrCpy $R1 "${switch}"
  StrCpy $R2 "${bits}"
  Call ${un}Regsvr32
!macroend

; The 64-bit registry on 64-bit Windows: the Apps entry, the camera's bitness-neutral view.
!macro RegistryView
  ${If} ${RunningX64}
    SetRegView 64
  ${EndIf}
!macroend

; Stops at once, before anything is touched, when the account is not an administrator's:
; the camera's registrations are per machine and the files go to Program Files.
!macro CheckAdmin un
Function ${un}CheckAdmin
!ifdef ACCOUNT_TYPE
  StrCpy $0 "${ACCOUNT_TYPE}"
!else
  UserInfo::GetAccountType
  Pop $0
!endif
  ${If} $0 != "Admin"
    MessageBox MB_ICONSTOP|MB_OK "${PRODUCT} setup needs administrator rights: it registers the camera for every user of this computer and writes to Program Files. Run it again as an administrator." /SD IDOK
    SetErrorLevel ${ERROR_ELEVATION_REQUIRED}
    Quit
  ${EndIf}
FunctionEnd
!macroend
!insertmacro CheckAdmin ""
!insertmacro CheckAdmin "un."

; ---- Installer ----

!define CAM64 "camera\x64\${CAMERA}"
!define CAM32 "camera\x86\${CAMERA}"

Function .onInit
  SetShellVarContext all
  ${If} ${RunningX64}
    SetRegView 64
  ${EndIf}
  Call CheckAdmin
  ; The Apps entry is written in the 64-bit view on 64-bit Windows, so it is read there.
  ReadRegStr $OldDir HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${Do}
    StrCpy $0 $OldDir 1 -1
    ${If} $0 != "\"
      ${Break}
    ${EndIf}
    StrCpy $OldDir $OldDir -1
  ${Loop}
  ; No /D=: an upgrade goes where the earlier version is, so its registrations and the
  ; autostart value (which names the program's path) stay valid.
  ${If} $INSTDIR == ""
    ${If} $OldDir != ""
      StrCpy $INSTDIR $OldDir
    ${ElseIf} ${RunningX64}
      StrCpy $INSTDIR "$PROGRAMFILES64\${PRODUCT}"
    ${Else}
      StrCpy $INSTDIR "$PROGRAMFILES\${PRODUCT}"
    ${EndIf}
  ${EndIf}
FunctionEnd

; The new file "$R0.new" takes the place of $R0. A file already there is renamed aside to
; "$R0.old" first: Windows refuses to overwrite a library a capture application has loaded
; but lets it be renamed, and the aside copy is what a failed install puts back. Sets $R9:
; "new" (nothing was there), "replaced", "held" (not even a rename was allowed: the new file
; waits beside it for the restart) or "failed".
Function PlaceFile
  ${IfNot} ${FileExists} "$R0"
    ClearErrors
    Rename "$R0.new" "$R0"
    ${If} ${Errors}
      StrCpy $R9 "failed"
    ${Else}
      StrCpy $R9 "new"
    ${EndIf}
    Return
  ${EndIf}
  Delete "$R0.old"
  ClearErrors
  Rename "$R0" "$R0.old"
  ${If} ${Errors}
    StrCpy $R9 "held"
    DetailPrint "In use, replaced at the next restart: $R0"
    Return
  ${EndIf}
  ClearErrors
  Rename "$R0.new" "$R0"
  ${If} ${Errors}
    Rename "$R0.old" "$R0"
    StrCpy $R9 "failed"
  ${Else}
    StrCpy $R9 "replaced"
  ${EndIf}
FunctionEnd

; Undoes PlaceFile for $R0 whose result was $R1 ("" when it was only staged).
Function UndoFile
  ${If} $R1 == "new"
    Delete "$R0"
  ${ElseIf} $R1 == "replaced"
    Delete "$R0"
    Rename "$R0.old" "$R0"
  ${EndIf}
  Delete "$R0.new"
FunctionEnd

; Once nothing can fail any more: what was set aside goes (at the restart if it is in use) and
; a held file is replaced at the restart. Queued only now, so a failed install never has a
; restart-time operation to withdraw.
Function CommitFile
  ${If} $R1 == "replaced"
    StrCpy $R0 "$R0.old"
    Call RemoveFile
  ${ElseIf} $R1 == "held"
    System::Call 'kernel32::MoveFileExW(w "$R0.new", w "$R0", i ${MOVEFILE_REPLACE_EXISTING}|${MOVEFILE_DELAY_UNTIL_REBOOT}) i .r9'
    SetRebootFlag true
  ${EndIf}
FunctionEnd

!macro FileStep function path state
  StrCpy $R0 "${path}"
  StrCpy $R1 "${state}"
  Call ${function}
!macroend

!macro PlaceStep path state
  ${If} $R8 == ""
    !insertmacro FileStep PlaceFile "${path}" "none"
    StrCpy ${state} $R9
    ${If} $R9 == "failed"
      StrCpy $R8 "${path} could not be replaced."
    ${EndIf}
  ${EndIf}
!macroend

; Puts the new content beside its place as "path.new". A file that cannot be written is found
; with FileOpen, which fails quietly, before File (which would ask the operator) writes it.
!macro StageStep path source
  ${If} $R8 == ""
    ClearErrors
    FileOpen $0 "${path}.new" w
    ${If} ${Errors}
      StrCpy $R8 "${path}.new cannot be written."
    ${Else}
      FileClose $0
      File "/oname=${path}.new" "${source}"
    ${EndIf}
  ${EndIf}
!macroend

; Registers the camera builds in the folder, stopping at the first failure with its
; message in $R8.
!macro RegisterCameras dir
  ${If} ${RunningX64}
    !insertmacro CallRegsvr32 "" "${dir}\${CAM64}" "" 64
    ${If} $R9 != 0
      StrCpy $R8 "The 64-bit camera could not be registered (regsvr32 answered $R9): ${dir}\${CAM64}"
    ${EndIf}
  ${EndIf}
!ifndef WIN64_ONLY
  ${If} $R8 == ""
    !insertmacro CallRegsvr32 "" "${dir}\${CAM32}" "" 32
    ${If} $R9 != 0
      StrCpy $R8 "The 32-bit camera could not be registered (regsvr32 answered $R9): ${dir}\${CAM32}"
    ${EndIf}
  ${EndIf}
!endif
!macroend

!macro UnregisterCameras un dir
  ${If} ${RunningX64}
  ${AndIf} ${FileExists} "${dir}\${CAM64}"
    !insertmacro CallRegsvr32 "${un}" "${dir}\${CAM64}" "/u " 64
  ${EndIf}
!ifndef WIN64_ONLY
  ${If} ${FileExists} "${dir}\${CAM32}"
    !insertmacro CallRegsvr32 "${un}" "${dir}\${CAM32}" "/u " 32
  ${EndIf}
!endif
!macroend

!macro ForEachFile function
  !insertmacro FileStep ${function} "$INSTDIR\MurmellaChat.exe" $StChat
  !insertmacro FileStep ${function} "$INSTDIR\${UNINSTALLER}" $StUninst
  ${If} ${RunningX64}
    !insertmacro FileStep ${function} "$INSTDIR\${CAM64}" $St64
  ${EndIf}
!ifndef WIN64_ONLY
  !insertmacro FileStep ${function} "$INSTDIR\${CAM32}" $St32
!endif
!macroend

; Folders left empty go; the earlier folders of an upgrade are not empty and stay.
!macro RemoveFolders un dir
  ${If} ${RebootFlag}
    RMDir /REBOOTOK "${dir}\camera\x64"
    RMDir /REBOOTOK "${dir}\camera\x86"
    RMDir /REBOOTOK "${dir}\camera"
    RMDir /REBOOTOK "${dir}"
  ${Else}
    RMDir "${dir}\camera\x64"
    RMDir "${dir}\camera\x86"
    RMDir "${dir}\camera"
    RMDir "${dir}"
  ${EndIf}
!macroend

; Points an existing autostart value at the moved console; the operator's choice stays.
!macro RetargetAutostart root
  ReadRegStr $0 ${root} "${RUN_KEY}" "${AUTOSTART}"
  ${If} $0 != ""
    WriteRegStr ${root} "${RUN_KEY}" "${AUTOSTART}" '"$INSTDIR\MurmellaChat.exe"'
  ${EndIf}
!macroend

; A failed install leaves the machine as it was: the new files go, what was set aside comes
; back, and the earlier version's cameras are registered again.
Function RollBack
  !insertmacro UnregisterCameras "" "$INSTDIR"
  !insertmacro ForEachFile UndoFile
  Push $R8
  StrCpy $R8 ""
  ${If} $OldDir != ""
    !insertmacro RegisterCameras "$OldDir"
  ${EndIf}
  Pop $R8
  ; Out of the folder, which cannot be removed while it is the current one.
  SetOutPath "$TEMP"
  !insertmacro RemoveFolders "" "$INSTDIR"
  DetailPrint "Nothing was changed."
  MessageBox MB_ICONSTOP|MB_OK "$R8$\r$\nNothing was changed." /SD IDOK
  Abort "$R8"
FunctionEnd

Section "Murmella" SecMain
  SectionIn RO
  !insertmacro RegistryView
  SetShellVarContext all

  ; An upgrade replaces the files of a console that may be running.
  Call EndConsole
  ${If} $R9 != ""
    MessageBox MB_ICONSTOP|MB_OK "$R9" /SD IDOK
    Abort "$R9"
  ${EndIf}

  StrCpy $Upgrade 0
  ${If} $OldDir == $INSTDIR
    StrCpy $Upgrade 1
  ${ElseIf} $OldDir != ""
    DetailPrint "Moving ${PRODUCT} from $OldDir"
  ${EndIf}
  StrCpy $StChat ""
  StrCpy $StUninst ""
  StrCpy $St64 ""
  StrCpy $St32 ""

  ; Everything new is written beside its place first; a file that cannot be written stops the
  ; install with nothing changed.
  StrCpy $R8 ""
  ClearErrors
  CreateDirectory "$INSTDIR\camera\x86"
  ${If} ${RunningX64}
    CreateDirectory "$INSTDIR\camera\x64"
  ${EndIf}
  ${If} ${Errors}
    StrCpy $R8 "The folder $INSTDIR cannot be made."
  ${EndIf}
  SetOutPath "$INSTDIR"
  ${If} ${RunningX64}
    !insertmacro StageStep "$INSTDIR\MurmellaChat.exe" "${CHAT64}"
  ${Else}
!ifndef WIN64_ONLY
    !insertmacro StageStep "$INSTDIR\MurmellaChat.exe" "${CHAT32}"
!endif
  ${EndIf}
  ${If} $R8 == ""
    ClearErrors
    WriteUninstaller "$INSTDIR\${UNINSTALLER}.new"
    ${If} ${Errors}
      StrCpy $R8 "$INSTDIR\${UNINSTALLER}.new cannot be written."
    ${EndIf}
  ${EndIf}
  ${If} ${RunningX64}
    !insertmacro StageStep "$INSTDIR\${CAM64}" "${CAMERA64}"
  ${EndIf}
!ifndef WIN64_ONLY
  !insertmacro StageStep "$INSTDIR\${CAM32}" "${CAMERA32}"
!endif
  ${If} $R8 != ""
    Call RollBack
  ${EndIf}

  ; Moving: the earlier copy's cameras let go of their registrations (the class is the same).
  ${If} $Upgrade = 0
  ${AndIf} $OldDir != ""
    !insertmacro UnregisterCameras "" "$OldDir"
  ${EndIf}

  !insertmacro PlaceStep "$INSTDIR\MurmellaChat.exe" $StChat
  !insertmacro PlaceStep "$INSTDIR\${UNINSTALLER}" $StUninst
  ${If} ${RunningX64}
    !insertmacro PlaceStep "$INSTDIR\${CAM64}" $St64
  ${EndIf}
!ifndef WIN64_ONLY
  !insertmacro PlaceStep "$INSTDIR\${CAM32}" $St32
!endif
  ${If} $R8 != ""
    Call RollBack
  ${EndIf}

  ; What is in place now is registered: a held camera is the earlier file, which stays valid
  ; until the restart replaces it under the same name. Registering a file again replaces its
  ; entries, so an upgrade leaves one registration.
  !insertmacro RegisterCameras "$INSTDIR"
  ${If} $R8 != ""
    Call RollBack
  ${EndIf}

  !insertmacro ForEachFile CommitFile
  ${If} $Upgrade = 0
  ${AndIf} $OldDir != ""
    !insertmacro CallRemoveFile "" "$OldDir\MurmellaChat.exe"
    !insertmacro CallRemoveFile "" "$OldDir\${UNINSTALLER}"
    !insertmacro CallRemoveFile "" "$OldDir\${CAM64}"
    !insertmacro CallRemoveFile "" "$OldDir\${CAM32}"
    !insertmacro RemoveFolders "" "$OldDir"
    !insertmacro RetargetAutostart HKLM
    !insertmacro RetargetAutostart HKCU
    ${If} ${RunningX64}
      SetRegView 32
      !insertmacro RetargetAutostart HKLM
      SetRegView 64
    ${EndIf}
  ${EndIf}

  CreateShortCut "$SMPROGRAMS\MurmellaChat.lnk" "$INSTDIR\MurmellaChat.exe"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\MurmellaChat.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
  !insertmacro RestartNotice "The installation"
SectionEnd

; ---- Uninstaller ----

; The autostart value from one hive's three Run keys.
!macro RemoveAutostart root
  DeleteRegValue ${root} "Software\Microsoft\Windows\CurrentVersion\Run" "${AUTOSTART}"
  DeleteRegValue ${root} "Software\Microsoft\Windows\CurrentVersion\RunServices" "${AUTOSTART}"
  DeleteRegValue ${root} "Software\Microsoft\Windows\CurrentVersion\RunOnce" "${AUTOSTART}"
!macroend

; Unregisters one camera build, then deletes its file (at the restart when it is in use). One
; that will not unregister keeps its file, so no registration ever names a missing file; its
; name is added to $R8.
!macro UninstallCamera path bits
  ${If} ${FileExists} "${path}"
    !insertmacro CallRegsvr32 "un." "${path}" "/u " ${bits}
    ${If} $R9 != 0
      DetailPrint "The ${bits}-bit camera could not be unregistered (regsvr32 answered $R9)"
      StrCpy $R8 "$R8 the ${bits}-bit camera"
    ${Else}
      !insertmacro CallRemoveFile "un." "${path}"
    ${EndIf}
  ${EndIf}
!macroend

Section "-un.Murmella" SecUnMain
  !insertmacro RegistryView
  Call un.EndConsole
  ${If} $R9 != ""
    MessageBox MB_ICONSTOP|MB_OK "$R9" /SD IDOK
    Abort "$R9"
  ${EndIf}

  StrCpy $R8 ""
  ${If} ${RunningX64}
    !insertmacro UninstallCamera "$INSTDIR\${CAM64}" 64
  ${EndIf}
  !insertmacro UninstallCamera "$INSTDIR\${CAM32}" 32

  ; The console writes HKLM's Run key, or HKCU's when HKLM is closed to it; a 32-bit console
  ; on 64-bit Windows writes HKLM's 32-bit view.
  !insertmacro RemoveAutostart HKLM
  !insertmacro RemoveAutostart HKCU
  ${If} ${RunningX64}
    SetRegView 32
    !insertmacro RemoveAutostart HKLM
    SetRegView 64
  ${EndIf}

  Delete "$SMPROGRAMS\MurmellaChat.lnk"
  !insertmacro CallRemoveFile "un." "$INSTDIR\MurmellaChat.exe"
  ${If} $R8 == ""
    ; Run in place (_?=), the uninstaller is left to its caller, as is the custom.
    ${If} $EXEPATH != "$INSTDIR\${UNINSTALLER}"
      !insertmacro CallRemoveFile "un." "$INSTDIR\${UNINSTALLER}"
    ${EndIf}
    ; Only if empty: whatever else the operator put there stays.
    !insertmacro RemoveFolders "un." "$INSTDIR"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
  ${EndIf}
  !insertmacro RestartNotice "The removal"
  ${If} $R8 != ""
    MessageBox MB_ICONSTOP|MB_OK "Could not unregister$R8. Its file, this uninstaller and the Apps entry stay, so that the removal can be run again." /SD IDOK
    SetErrorLevel 2
  ${EndIf}
SectionEnd

Section /o "un.Remove my options and the camera settings" SecSettings
  DeleteRegKey HKCU "Murmellachat"
  DeleteRegKey HKCU "Software\VarnekSystems\Filters\VirtualWebCamera"
  DeleteRegKey /ifempty HKCU "Software\VarnekSystems\Filters"
  DeleteRegKey /ifempty HKCU "Software\VarnekSystems"
SectionEnd

Function un.onInit
  ${If} ${RunningX64}
    SetRegView 64
  ${EndIf}
  SetShellVarContext all
  Call un.CheckAdmin
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/REMOVESETTINGS" $1
  ${IfNot} ${Errors}
    SectionSetFlags ${SecSettings} ${SF_SELECTED}
  ${EndIf}
FunctionEnd
