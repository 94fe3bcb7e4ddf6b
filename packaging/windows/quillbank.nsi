; Quillbank's Windows installer: the programs and their DLLs under Program Files, Start-menu
; entries for the window and the manual, an uninstaller, and the command line on the PATH
; when chosen. makensis -DVERSION=... -DSTAGE=... -DOUTFILE=... -DFILES=... quillbank.nsi
; (FILES: the Delete lines of the installed files, written by the packaging script)
; A 64-bit installer for the 64-bit programs.
Target amd64-unicode
!include "MUI2.nsh"
!include "WinMessages.nsh"
!include "LogicLib.nsh"

Name "Quillbank ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Quillbank"
RequestExecutionLevel admin
SetCompressor /SOLID lzma

!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Section "Quillbank" SecMain
  SectionIn RO
  ; Installed for every user of the machine, so are its Start-menu entries.
  SetShellVarContext all
  SetOutPath "$INSTDIR"
  File /r "${STAGE}\*.*"
  WriteUninstaller "$INSTDIR\Uninstall.exe"
  CreateDirectory "$SMPROGRAMS\Quillbank"
  CreateShortcut "$SMPROGRAMS\Quillbank\Quillbank.lnk" "$INSTDIR\quillbank.exe"
  CreateShortcut "$SMPROGRAMS\Quillbank\Quillbank manual.lnk" "$INSTDIR\QuillkitManuals_en.pdf"
  CreateShortcut "$SMPROGRAMS\Quillbank\Uninstall Quillbank.lnk" "$INSTDIR\Uninstall.exe"
  WriteRegStr HKLM "Software\Microsoft\Windows\CurrentVersion\Uninstall\Quillbank" "DisplayName" "Quillbank"
  WriteRegStr HKLM "Software\Microsoft\Windows\CurrentVersion\Uninstall\Quillbank" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "Software\Microsoft\Windows\CurrentVersion\Uninstall\Quillbank" "UninstallString" '"$INSTDIR\Uninstall.exe"'
SectionEnd

Section /o "quillbank-cli on the PATH" SecPath
  ReadRegStr $0 HKLM "SYSTEM\CurrentControlSet\Control\Session Manager\Environment" "Path"
  WriteRegExpandStr HKLM "SYSTEM\CurrentControlSet\Control\Session Manager\Environment" "Path" "$0;$INSTDIR"
  WriteRegDWORD HKLM "Software\Quillbank" "OnPath" 1
  SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=5000
SectionEnd

Section "Uninstall"
  SetShellVarContext all
  ReadRegDWORD $1 HKLM "Software\Quillbank" "OnPath"
  ${If} $1 == 1
    ReadRegStr $0 HKLM "SYSTEM\CurrentControlSet\Control\Session Manager\Environment" "Path"
    ; The entry this installer added is taken out again, wherever it stands.
    Push $0
    Push ";$INSTDIR"
    Call un.RemoveFromString
    Pop $0
    WriteRegExpandStr HKLM "SYSTEM\CurrentControlSet\Control\Session Manager\Environment" "Path" "$0"
    SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=5000
  ${EndIf}
  DeleteRegKey HKLM "Software\Quillbank"
  DeleteRegKey HKLM "Software\Microsoft\Windows\CurrentVersion\Uninstall\Quillbank"
  !include "${FILES}"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR\platforms"
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\Quillbank\Quillbank.lnk"
  Delete "$SMPROGRAMS\Quillbank\Quillbank manual.lnk"
  Delete "$SMPROGRAMS\Quillbank\Uninstall Quillbank.lnk"
  RMDir "$SMPROGRAMS\Quillbank"
SectionEnd

; Removes the first occurrence of the top of the stack from the string below it.
Function un.RemoveFromString
  Exch $R1 ; what to remove
  Exch
  Exch $R0 ; the string
  Push $R2
  Push $R3
  Push $R4
  StrLen $R3 $R1
  StrCpy $R2 0
  loop:
    StrCpy $R4 $R0 $R3 $R2
    StrCmp $R4 "" done
    StrCmp $R4 $R1 found
    IntOp $R2 $R2 + 1
    Goto loop
  found:
    StrCpy $R4 $R0 $R2
    IntOp $R2 $R2 + $R3
    StrCpy $R0 $R0 "" $R2
    StrCpy $R0 "$R4$R0"
  done:
  Pop $R4
  Pop $R3
  Pop $R2
  Pop $R1
  Exch $R0
FunctionEnd
