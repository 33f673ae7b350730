; MurmellaSetup.exe: MurmellaChat (the build of the machine's bitness) and the screen camera in
; both builds, each registered with the regsvr32 of its own bitness, since a capture application
; loads only a camera of its own bitness.
;
; Built by installer/CMakeLists.txt, which passes VERSION (x.y.z), OUTFILE and the built files
; CHAT64, CHAT32, CAMERA64, CAMERA32.
;
; Command line: /S silent; /D=folder the install folder. Uninstaller: /S silent,
; /REMOVESETTINGS also removes the operator's options and the camera settings.

Unicode true
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

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\${PRODUCT}"
; An upgrade goes where the earlier version is, so its registrations and the autostart
; value (which names the program's path) stay valid.
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
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

; ---- Installer ----

Function .onInit
  ${If} ${RunningX64}
    SetRegView 64
    ; The default only: /D= and an earlier install's folder take precedence.
    ${If} $INSTDIR == "$PROGRAMFILES\${PRODUCT}"
      StrCpy $INSTDIR "$PROGRAMFILES64\${PRODUCT}"
    ${EndIf}
  ${EndIf}
  SetShellVarContext all
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

  SetOutPath "$INSTDIR"
  ${If} ${RunningX64}
    File "/oname=MurmellaChat.exe" "${CHAT64}"
  ${Else}
    File "/oname=MurmellaChat.exe" "${CHAT32}"
  ${EndIf}
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"

  SetOutPath "$INSTDIR\camera\x86"
  File "/oname=${CAMERA}" "${CAMERA32}"
  ${If} ${RunningX64}
    SetOutPath "$INSTDIR\camera\x64"
    File "/oname=${CAMERA}" "${CAMERA64}"
  ${EndIf}
  SetOutPath "$INSTDIR"

  ; Registering the same file again replaces its entries: an upgrade leaves one registration.
  ${If} ${RunningX64}
    !insertmacro CallRegsvr32 "" "$INSTDIR\camera\x64\${CAMERA}" "" 64
    ${If} $R9 != 0
      MessageBox MB_ICONSTOP|MB_OK "The 64-bit camera could not be registered (regsvr32 answered $R9): $INSTDIR\camera\x64\${CAMERA}" /SD IDOK
      Abort "The 64-bit camera could not be registered (regsvr32 answered $R9)."
    ${EndIf}
  ${EndIf}
  !insertmacro CallRegsvr32 "" "$INSTDIR\camera\x86\${CAMERA}" "" 32
  ${If} $R9 != 0
    MessageBox MB_ICONSTOP|MB_OK "The 32-bit camera could not be registered (regsvr32 answered $R9): $INSTDIR\camera\x86\${CAMERA}" /SD IDOK
    Abort "The 32-bit camera could not be registered (regsvr32 answered $R9)."
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
SectionEnd

; ---- Uninstaller ----


; The autostart value from one hive's three Run keys.
!macro RemoveAutostart root
  DeleteRegValue ${root} "Software\Microsoft\Windows\CurrentVersion\Run" "MurMellachatRun"
  DeleteRegValue ${root} "Software\Microsoft\Windows\CurrentVersion\RunServices" "MurMellachatRun"
  DeleteRegValue ${root} "Software\Microsoft\Windows\CurrentVersion\RunOnce" "MurMellachatRun"
!macroend

Section "-un.Murmella" SecUnMain
  !insertmacro RegistryView
  Call un.EndConsole
  ${If} $R9 != ""
    MessageBox MB_ICONSTOP|MB_OK "$R9" /SD IDOK
    Abort "$R9"
  ${EndIf}

  ; A camera that will not unregister is reported; its files go all the same, and a capture
  ; application skips an entry whose file is gone.
  ${If} ${FileExists} "$INSTDIR\camera\x64\${CAMERA}"
    !insertmacro CallRegsvr32 "un." "$INSTDIR\camera\x64\${CAMERA}" "/u " 64
    ${If} $R9 != 0
      DetailPrint "The 64-bit camera could not be unregistered (regsvr32 answered $R9)"
    ${EndIf}
  ${EndIf}
  ${If} ${FileExists} "$INSTDIR\camera\x86\${CAMERA}"
    !insertmacro CallRegsvr32 "un." "$INSTDIR\camera\x86\${CAMERA}" "/u " 32
    ${If} $R9 != 0
      DetailPrint "The 32-bit camera could not be unregistered (regsvr32 answered $R9)"
    ${EndIf}
  ${EndIf}

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
  Delete "$INSTDIR\camera\x64\${CAMERA}"
  Delete "$INSTDIR\camera\x86\${CAMERA}"
  RMDir "$INSTDIR\camera\x64"
  RMDir "$INSTDIR\camera\x86"
  RMDir "$INSTDIR\camera"
  Delete "$INSTDIR\MurmellaChat.exe"
  Delete "$INSTDIR\${UNINSTALLER}"
  ; Only if empty: whatever else the operator put there stays.
  RMDir "$INSTDIR"

  DeleteRegKey HKLM "${UNINSTALL_KEY}"
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
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/REMOVESETTINGS" $1
  ${IfNot} ${Errors}
    SectionSetFlags ${SecSettings} ${SF_SELECTED}
  ${EndIf}
FunctionEnd
