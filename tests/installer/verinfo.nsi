; Reads version resources the way Windows does for a file's properties (GetFileVersionInfoW and
; VerQueryValueW, the strings in the language the translation table names), for the installer's
; tests. For every path in files.txt beside it, a line in versions.txt:
;   PATH|FileVersion|ProductVersion|FILEVERSION as a.b.c.d
; with empty fields for what a file lacks.
;   makensis -DOUTFILE=.../verinfo.exe verinfo.nsi
Unicode true
Target amd64-unicode
RequestExecutionLevel user
SilentInstall silent
OutFile "${OUTFILE}"

!include LogicLib.nsh
!include TextFunc.nsh

; Pushes the string value $R8 (FileVersion, ...) of the version data at $R9, in language $R7.
Function StringValue
  StrCpy $R6 ""
  System::Call 'version::VerQueryValueW(p R9, w "\StringFileInfo\$R7\$R8", *p .r6, *i .r7) i .r5'
  ${If} $5 <> 0
    System::Call 'kernel32::lstrcpynW(w .R6, p r6, i ${NSIS_MAX_STRLEN}) p'
  ${EndIf}
  Push $R6
FunctionEnd

Section
  FileOpen $0 "$EXEDIR\files.txt" r
  FileOpen $1 "$EXEDIR\versions.txt" w
  ${Do}
    ClearErrors
    FileRead $0 $2
    ${If} ${Errors}
      ${Break}
    ${EndIf}
    ${TrimNewLines} $2 $2
    ${If} $2 == ""
      ${Continue}
    ${EndIf}
    StrCpy $R1 ""
    StrCpy $R2 ""
    StrCpy $R3 ""
    System::Call 'version::GetFileVersionInfoSizeW(w r2, *i 0) i .r3'
    ${If} $3 > 0
      System::Alloc $3
      Pop $R9
      System::Call 'version::GetFileVersionInfoW(w r2, i 0, i r3, p R9) i .r5'
      System::Call 'version::VerQueryValueW(p R9, w "\VarFileInfo\Translation", *p .r6, *i .r7) i .r5'
      ${If} $5 <> 0
        System::Call '*$6(&i2 .r8, &i2 .r9)'
        IntFmt $R7 "%04x" $8
        IntFmt $9 "%04x" $9
        StrCpy $R7 "$R7$9"
        StrCpy $R8 FileVersion
        Call StringValue
        Pop $R1
        StrCpy $R8 ProductVersion
        Call StringValue
        Pop $R2
      ${EndIf}
      System::Call 'version::VerQueryValueW(p R9, w "\", *p .r6, *i .r7) i .r5'
      ${If} $5 <> 0
        System::Call '*$6(i, i, i .r8, i .r9)'
        IntOp $4 $8 >> 16
        IntOp $4 $4 & 0xFFFF
        IntOp $5 $8 & 0xFFFF
        IntOp $6 $9 >> 16
        IntOp $6 $6 & 0xFFFF
        IntOp $7 $9 & 0xFFFF
        StrCpy $R3 "$4.$5.$6.$7"
      ${EndIf}
      System::Free $R9
    ${EndIf}
    FileWrite $1 "$2|$R1|$R2|$R3$\r$\n"
  ${Loop}
  FileClose $0
  FileClose $1
SectionEnd
