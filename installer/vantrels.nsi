; The Windows installer of the Vantrels driver. For the current user, without administrator rights:
; copies the driver folder to %LOCALAPPDATA%\Programs\Vantrels\vantrels, registers it with SteamVR's
; vrpathreg, and adds Vantrels to the user's list of apps, with an uninstaller that undoes exactly
; that. Built by the installer target (installer/CMakeLists.txt), which defines:
;   VERSION          the version of the build
;   VERSION_NUMBERS  its numbers, a.b.c.0
;   OUTFILE          the setup program to write
;   FILES            the generated list of the driver folder's files (files.nsh)
;   DOCTOR           vantrels-doctor.exe, when the build has it: installed beside the driver folder,
;                    offered on the last page and in the Start menu
;
; Command line: /S runs the installer or the uninstaller silently; the installer also takes
; /STEAMVR=<SteamVR folder> and, last, /D=<install folder>.
; Exit status of both: 0 done; 1 cancelled; 2 a file could not be written or deleted, or SteamVR is
; using the installed driver; 3 SteamVR not found (silent install: nothing was written); 4 the
; previous installation could not be removed; 5 vrpathreg failed.

Unicode true
Target amd64-unicode
RequestExecutionLevel user
ManifestDPIAware true
SetCompressor /SOLID lzma

!include LogicLib.nsh
!include FileFunc.nsh
!include MUI2.nsh
!include "${FILES}"

!define APP_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Vantrels"
!define STEAMVR_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Steam App 250820"
!define VRPATHREG "bin\win64\vrpathreg.exe"
!define DRIVER_DLL "vantrels\bin\win64\driver_vantrels.dll"

Name "Vantrels"
Caption "Vantrels ${VERSION} Setup"
BrandingText "Vantrels ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Vantrels"
InstallDirRegKey HKCU "${APP_KEY}" "InstallLocation"
SpaceTexts none

Var SteamVR
Var FinishText
Var DriverFolder

;--------------------------------
; Pages

!define MUI_ABORTWARNING
!define MUI_WELCOMEPAGE_TEXT "This installs the Vantrels driver ${VERSION} for SteamVR: up to 19 body trackers \
  whose poses come from a tracking server on this PC.$\r$\n$\r$\nIt is installed for you alone, in \
  $INSTDIR, and registered with SteamVR.$\r$\n$\r$\n$_CLICK"
!insertmacro MUI_PAGE_WELCOME

; The SteamVR folder, asked for only when it was not found.
!define MUI_PAGE_HEADER_TEXT "SteamVR folder"
!define MUI_PAGE_HEADER_SUBTEXT "Setup could not find SteamVR."
!define MUI_DIRECTORYPAGE_TEXT_TOP "Choose the folder SteamVR is installed in: the one that holds \
  ${VRPATHREG}. In Steam: right-click SteamVR, Manage, Browse local files."
!define MUI_DIRECTORYPAGE_TEXT_DESTINATION "SteamVR folder"
!define MUI_DIRECTORYPAGE_VARIABLE $SteamVR
!define MUI_DIRECTORYPAGE_VERIFYONLEAVE
!define MUI_PAGE_CUSTOMFUNCTION_PRE SteamVRPagePre
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE SteamVRPageLeave
!insertmacro MUI_PAGE_DIRECTORY

!insertmacro MUI_PAGE_INSTFILES

!define MUI_FINISHPAGE_TEXT "$FinishText"
!define MUI_FINISHPAGE_TEXT_LARGE
!ifdef DOCTOR
  !define MUI_FINISHPAGE_RUN
  !define MUI_FINISHPAGE_RUN_TEXT "Run the Vantrels doctor (also in the Start menu)"
  !define MUI_FINISHPAGE_RUN_FUNCTION RunDoctor
!endif
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

VIProductVersion "${VERSION_NUMBERS}"
VIFileVersion "${VERSION_NUMBERS}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductName" "Vantrels"
VIAddVersionKey /LANG=${LANG_ENGLISH} "CompanyName" "Vantrels"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileDescription" "Vantrels setup"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "LegalCopyright" "Vantrels"

;--------------------------------
; SteamVR, for the installer and the uninstaller

!macro STEAMVR_FUNCTIONS un
; Takes a folder from the stack. When no SteamVR folder has been found yet and this one holds
; vrpathreg.exe, it becomes $SteamVR (without a trailing backslash).
Function ${un}OfferSteamVR
  Exch $0
  Push $1
  StrCpy $1 $0 1 -1
  ${If} $1 == "\"
    StrCpy $0 $0 -1
  ${EndIf}
  ${If} $SteamVR == ""
  ${AndIf} $0 != ""
  ${AndIf} ${FileExists} "$0\${VRPATHREG}"
    StrCpy $SteamVR $0
  ${EndIf}
  Pop $1
  Pop $0
FunctionEnd

; SteamVR from Steam's uninstall entry of app 250820: the machine's, in the 64-bit and the 32-bit
; view of the registry (Steam writes the 32-bit one), then the user's.
Function ${un}FindSteamVR
  Push $0
  SetRegView 64
  ReadRegStr $0 HKLM "${STEAMVR_KEY}" "InstallLocation"
  Push $0
  Call ${un}OfferSteamVR
  SetRegView 32
  ReadRegStr $0 HKLM "${STEAMVR_KEY}" "InstallLocation"
  Push $0
  Call ${un}OfferSteamVR
  ReadRegStr $0 HKCU "${STEAMVR_KEY}" "InstallLocation"
  Push $0
  Call ${un}OfferSteamVR
  SetRegView 64
  ReadRegStr $0 HKCU "${STEAMVR_KEY}" "InstallLocation"
  Push $0
  Call ${un}OfferSteamVR
  Pop $0
FunctionEnd

; Waits until the driver library in the folder on the stack can be replaced: a running SteamVR
; that has loaded it holds it. Silent, or when the user cancels, it stops with the given status.
Function ${un}WaitForFreeDriver
  Exch $0
  Push $1
  ${DoWhile} ${FileExists} "$0\${DRIVER_DLL}"
    ClearErrors
    FileOpen $1 "$0\${DRIVER_DLL}" a
    ${IfNot} ${Errors}
      FileClose $1
      ${Break}
    ${EndIf}
    ${IfNot} ${Cmd} `MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "SteamVR is using the installed \
        Vantrels driver ($0\${DRIVER_DLL}). Close SteamVR, then choose Retry." /SD IDCANCEL IDRETRY`
      DetailPrint "SteamVR is using $0\${DRIVER_DLL}: close SteamVR and try again."
      SetErrorLevel 2
      Abort
    ${EndIf}
  ${Loop}
  Pop $1
  Pop $0
FunctionEnd
!macroend
!insertmacro STEAMVR_FUNCTIONS ""
!insertmacro STEAMVR_FUNCTIONS "un."

; $0 = 1 when SteamVR's server or monitor (vrserver.exe, vrmonitor.exe) is running, else 0.
Function SteamVRRunning
  Push $1
  Push $2
  Push $3
  Push $4
  StrCpy $0 0
  System::Call 'kernel32::CreateToolhelp32Snapshot(i 2, i 0) p .r1'
  ${If} $1 P<> -1
    ; PROCESSENTRY32W: 568 bytes on x64, the file name at offset 44.
    System::Alloc 568
    Pop $2
    System::Call '*$2(i 568)'
    System::Call 'kernel32::Process32FirstW(p r1, p r2) i .r3'
    ${DoWhile} $3 <> 0
      IntPtrOp $4 $2 + 44
      System::Call '*$4(&w260 .r4)'
      ${If} $4 == "vrserver.exe"
      ${OrIf} $4 == "vrmonitor.exe"
        StrCpy $0 1
        ${Break}
      ${EndIf}
      System::Call 'kernel32::Process32NextW(p r1, p r2) i .r3'
    ${Loop}
    System::Free $2
    System::Call 'kernel32::CloseHandle(p r1)'
  ${EndIf}
  Pop $4
  Pop $3
  Pop $2
  Pop $1
FunctionEnd

;--------------------------------
; Installer

Function .onInit
  SetShellVarContext current
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/STEAMVR=" $R1
  ${IfNot} ${Errors}
    Push $R1
    Call OfferSteamVR
  ${Else}
    Call FindSteamVR
  ${EndIf}
  ; Silent, there is nobody to ask: stop before anything is written.
  ${If} ${Silent}
  ${AndIf} $SteamVR == ""
    SetErrorLevel 3
    Quit
  ${EndIf}
FunctionEnd

Function SteamVRPagePre
  ${If} $SteamVR != ""
    Abort
  ${EndIf}
  ReadEnvStr $0 "ProgramFiles(x86)"
  StrCpy $SteamVR "$0\Steam\steamapps\common\SteamVR"
FunctionEnd

Function SteamVRPageLeave
  StrCpy $0 $SteamVR
  StrCpy $SteamVR ""
  Push $0
  Call OfferSteamVR
  ${If} $SteamVR == ""
    StrCpy $SteamVR $0
    MessageBox MB_OK|MB_ICONEXCLAMATION "$0 holds no ${VRPATHREG}: choose the folder SteamVR is installed in."
    Abort
  ${EndIf}
FunctionEnd

; An earlier installation is removed by its own uninstaller, which knows the files it wrote and
; unregisters its driver folder, so that exactly one registration remains after this one's.
Function RemovePrevious
  ReadRegStr $0 HKCU "${APP_KEY}" "InstallLocation"
  ${If} $0 != ""
  ${AndIf} ${FileExists} "$0\uninstall.exe"
    Push $0
    Call WaitForFreeDriver
    DetailPrint "Removing the earlier installation in $0"
    ClearErrors
    ExecWait '"$0\uninstall.exe" /S _?=$0' $1
    ${If} ${Errors}
    ${OrIf} $1 <> 0
      StrCpy $2 "The earlier installation in $0 could not be removed (its uninstaller stopped with status $1). \
        Uninstall it from the list of apps, then run this setup again."
      DetailPrint $2
      MessageBox MB_OK|MB_ICONSTOP $2 /SD IDOK
      SetErrorLevel 4
      Abort
    ${EndIf}
    Delete "$0\uninstall.exe"
    RMDir "$0"
  ${ElseIf} ${FileExists} "$INSTDIR\vantrels\driver.vrdrivermanifest"
    ; Files no uninstall entry knows of: replaced, and their registration dropped before the new one.
    Push $INSTDIR
    Call WaitForFreeDriver
    nsExec::ExecToStack '"$SteamVR\${VRPATHREG}" removedriver "$INSTDIR\vantrels"'
    Pop $1
    Pop $2
    DetailPrint "vrpathreg removedriver $INSTDIR\vantrels: status $1 $2"
  ${EndIf}
FunctionEnd

Section "Vantrels driver"
  SetRegView 64
  Call RemovePrevious

  ClearErrors
  !insertmacro VANTRELS_INSTALL_FILES
  !ifdef DOCTOR
    SetOutPath "$INSTDIR"
    File "/oname=vantrels-doctor.exe" "${DOCTOR}"
  !endif
  WriteUninstaller "$INSTDIR\uninstall.exe"
  ${If} ${Errors}
    StrCpy $0 "Setup could not write every file to $INSTDIR. If SteamVR is running, close it and run setup again."
    DetailPrint $0
    MessageBox MB_OK|MB_ICONSTOP $0 /SD IDOK
    SetErrorLevel 2
    Abort
  ${EndIf}
  !ifdef DOCTOR
    CreateShortCut "$SMPROGRAMS\Vantrels doctor.lnk" "$SYSDIR\cmd.exe" '/k ""$INSTDIR\vantrels-doctor.exe""' \
      "$INSTDIR\vantrels-doctor.exe" 0 SW_SHOWNORMAL "" "Checks why Vantrels trackers do not appear in SteamVR"
  !endif

  ; The user's list of apps.
  WriteRegStr HKCU "${APP_KEY}" "DisplayName" "Vantrels"
  WriteRegStr HKCU "${APP_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${APP_KEY}" "Publisher" "Vantrels"
  WriteRegStr HKCU "${APP_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${APP_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${APP_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegStr HKCU "${APP_KEY}" "DisplayIcon" "$INSTDIR\uninstall.exe"
  WriteRegStr HKCU "${APP_KEY}" "SteamVRLocation" "$SteamVR"
  WriteRegDWORD HKCU "${APP_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${APP_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKCU "${APP_KEY}" "EstimatedSize" $0

  DetailPrint "Registering $INSTDIR\vantrels with SteamVR ($SteamVR)"
  nsExec::ExecToStack '"$SteamVR\${VRPATHREG}" adddriver "$INSTDIR\vantrels"'
  Pop $0
  Pop $1
  ${If} $0 != 0
    DetailPrint "vrpathreg adddriver stopped with status $0: $1"
    MessageBox MB_OK|MB_ICONSTOP "SteamVR's vrpathreg could not register the driver (status $0):$\r$\n$1$\r$\n\
      The files are installed in $INSTDIR. Register the driver folder by hand with:$\r$\n\
      $\"$SteamVR\${VRPATHREG}$\" adddriver $\"$INSTDIR\vantrels$\"" /SD IDOK
    SetErrorLevel 5
    Abort
  ${EndIf}

  StrCpy $FinishText "Vantrels ${VERSION} is installed in $INSTDIR and registered with SteamVR."
  Call SteamVRRunning
  ${If} $0 = 1
    StrCpy $1 "SteamVR is running: it picks up the driver the next time it starts. Restart SteamVR to see the trackers."
    DetailPrint $1
    StrCpy $FinishText "$FinishText$\r$\n$\r$\n$1"
  ${EndIf}
SectionEnd

!ifdef DOCTOR
Function RunDoctor
  ; In a console that stays open, so that its report can be read.
  Exec '"$SYSDIR\cmd.exe" /k ""$INSTDIR\vantrels-doctor.exe""'
FunctionEnd
!endif

;--------------------------------
; Uninstaller

Function un.onInit
  SetShellVarContext current
  SetRegView 64
  Call un.FindSteamVR
  ReadRegStr $0 HKCU "${APP_KEY}" "SteamVRLocation"
  Push $0
  Call un.OfferSteamVR

  ; The driver folder as the installer registered it. This uninstaller may have been started by
  ; another path to the same folder (another drive letter, say), which vrpathreg would not know:
  ; the uninstall entry's path is taken when its uninstaller is this one.
  StrCpy $DriverFolder "$INSTDIR\vantrels"
  ReadRegStr $0 HKCU "${APP_KEY}" "InstallLocation"
  ${If} $0 != ""
  ${AndIf} $0 != $INSTDIR
    ClearErrors
    GetFileTime "$0\uninstall.exe" $1 $2
    GetFileTime "$INSTDIR\uninstall.exe" $3 $4
    ${IfNot} ${Errors}
    ${AndIf} $1 == $3
    ${AndIf} $2 == $4
      StrCpy $DriverFolder "$0\vantrels"
    ${EndIf}
  ${EndIf}
FunctionEnd

Section "Uninstall"
  SetRegView 64
  Push $INSTDIR
  Call un.WaitForFreeDriver

  ${If} $SteamVR != ""
    DetailPrint "Unregistering $DriverFolder from SteamVR ($SteamVR)"
    nsExec::ExecToStack '"$SteamVR\${VRPATHREG}" removedriver "$DriverFolder"'
    Pop $0
    Pop $1
    ${If} $0 != 0
      DetailPrint "vrpathreg removedriver stopped with status $0: $1"
      ; Silent, nothing is removed: the registration would outlive the files.
      ${If} ${Silent}
      ${OrIfNot} ${Cmd} `MessageBox MB_YESNO|MB_ICONEXCLAMATION "SteamVR's vrpathreg could not unregister \
          $DriverFolder (status $0):$\r$\n$1$\r$\nRemove the files anyway? SteamVR then says at every start \
          that it cannot load the driver, until the registration is removed with:$\r$\n\
          $\"$SteamVR\${VRPATHREG}$\" removedriver $\"$DriverFolder$\"" /SD IDNO IDYES`
        SetErrorLevel 5
        Abort
      ${EndIf}
    ${EndIf}
  ${Else}
    DetailPrint "SteamVR not found: $DriverFolder stays in SteamVR's list of drivers."
  ${EndIf}

  ; Exactly the files the installer wrote, and then their folders if nothing else is in them.
  ClearErrors
  !insertmacro VANTRELS_DELETE_FILES
  !ifdef DOCTOR
    Delete "$INSTDIR\vantrels-doctor.exe"
    Delete "$SMPROGRAMS\Vantrels doctor.lnk"
  !endif
  ${If} ${Errors}
    StrCpy $0 "Some files in $INSTDIR could not be deleted. If SteamVR is running, close it and uninstall again."
    DetailPrint $0
    MessageBox MB_OK|MB_ICONSTOP $0 /SD IDOK
    SetErrorLevel 2
    Abort
  ${EndIf}
  !insertmacro VANTRELS_REMOVE_FOLDERS
  Delete "$INSTDIR\uninstall.exe"
  DeleteRegKey HKCU "${APP_KEY}"
  RMDir "$INSTDIR"
SectionEnd
