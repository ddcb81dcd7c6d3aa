; A stand-in for SteamVR's vrpathreg.exe in the installer's tests. It appends its arguments to
; calls.txt beside it and keeps the registered driver folders in drivers.txt (UTF-16LE, a folder a
; line) as vrpathreg keeps them: adddriver appends the folder, even when it is there already;
; removedriver drops every line equal to it. With a file named "fail" beside it, it changes nothing
; and exits with status -1, as vrpathreg does when it cannot write its registry.
;   makensis -DOUTFILE=.../vrpathreg.exe vrpathreg.nsi
Unicode true
Target amd64-unicode
RequestExecutionLevel user
SilentInstall silent
OutFile "${OUTFILE}"

!include LogicLib.nsh
!include FileFunc.nsh
!include TextFunc.nsh

Section
  ${GetParameters} $0
  FileOpen $1 "$EXEDIR\calls.txt" a
  FileSeek $1 0 END
  FileWriteUTF16LE $1 "$0$\r$\n"
  FileClose $1
  ${If} ${FileExists} "$EXEDIR\fail"
    SetErrorLevel -1
    Quit
  ${EndIf}

  StrCpy $2 $0 10
  StrCpy $3 $0 13
  ${If} $2 == "adddriver "
    StrCpy $4 $0 "" 10
    StrCpy $5 add
  ${ElseIf} $3 == "removedriver "
    StrCpy $4 $0 "" 13
    StrCpy $5 remove
  ${Else}
    SetErrorLevel -2
    Quit
  ${EndIf}
  StrCpy $6 $4 1
  ${If} $6 == '"'
    StrCpy $4 $4 -1 1
  ${EndIf}

  FileOpen $7 "$EXEDIR\drivers.new" w
  ClearErrors
  FileOpen $1 "$EXEDIR\drivers.txt" r
  ${IfNot} ${Errors}
    ${Do}
      ClearErrors
      FileReadUTF16LE $1 $8
      ${If} ${Errors}
        ${Break}
      ${EndIf}
      ${TrimNewLines} $8 $8
      ${If} $5 == add
      ${OrIf} $8 != $4
        FileWriteUTF16LE $7 "$8$\r$\n"
      ${EndIf}
    ${Loop}
    FileClose $1
  ${EndIf}
  ${If} $5 == add
    FileWriteUTF16LE $7 "$4$\r$\n"
  ${EndIf}
  FileClose $7
  Delete "$EXEDIR\drivers.txt"
  Rename "$EXEDIR\drivers.new" "$EXEDIR\drivers.txt"
SectionEnd
