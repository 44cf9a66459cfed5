; SPDX-License-Identifier: GPL-3.0-or-later
; The installer: for the user who runs it, without administrator rights, into the user's own
; programs folder, with a Start menu entry and an uninstaller. makensis is given VERSION, STAGE
; (the folder the zip is made from), ICON, FILES and REMOVALS (the File and Delete lines of exactly the
; staged files, made by scripts/build-windows) and OUTFILE.
; The uninstaller removes what the installer wrote and nothing else: a folder is removed only
; once it is empty, and an installation folder is refused while it holds files not of ours.
; A 64-bit installer for a 64-bit program: it runs where the program runs.
Target amd64-unicode
Name "Ziravel"
OutFile "${OUTFILE}"
RequestExecutionLevel user
InstallDir "$LOCALAPPDATA\Programs\Ziravel"
SetCompressor /SOLID lzma

!include "MUI2.nsh"
!include "FileFunc.nsh"

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Ziravel"
!define SETTINGS_KEY "Software\Korvane\Ziravel"

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "Ziravel"
VIAddVersionKey /LANG=1033 "CompanyName" "Korvane"
VIAddVersionKey /LANG=1033 "FileDescription" "Ziravel setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "GNU General Public License, version 3 or later"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_FINISHPAGE_RUN "$INSTDIR\ziravel.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Run Ziravel"
!define MUI_COMPONENTSPAGE_NODESC

!insertmacro MUI_PAGE_LICENSE "${STAGE}\LICENSE.txt"
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE checkFolder
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Var installed ; where this user's earlier installation lies, or empty

; One installation per user: a new one goes where the earlier one is, unless the user chooses
; another folder, when the earlier one is uninstalled first.
Function .onInit
  SetShellVarContext current
  ReadRegStr $installed HKCU "${UNINSTALL_KEY}" "InstallLocation"
  StrCmp $installed "" done
  IfFileExists "$installed\Uninstall.exe" 0 forget
  ; /D= on the command line has already set another folder.
  StrCmp $INSTDIR "$LOCALAPPDATA\Programs\Ziravel" 0 done
  StrCpy $INSTDIR $installed
  Goto done
forget:
  StrCpy $installed ""
done:
FunctionEnd

; A folder holding anything but an earlier installation of ours is not installed into: the
; uninstaller would leave it as it found it, but the user's files do not belong beside ours.
Function checkFolder
  ${DirState} "$INSTDIR" $0
  IntCmp $0 1 0 fine fine
  IfFileExists "$INSTDIR\Uninstall.exe" 0 refuse
  IfFileExists "$INSTDIR\ziravel.exe" fine refuse
refuse:
  MessageBox MB_OK|MB_ICONEXCLAMATION "$INSTDIR already holds files that are not Ziravel's. \
    Choose an empty folder, or a new one." /SD IDOK
  SetErrorLevel 2
  IfSilent 0 +2
  Quit
  Abort
fine:
FunctionEnd

Section "Ziravel"
  SetShellVarContext current
  Call checkFolder
  StrCmp $installed "" fresh
  StrCmp $installed $INSTDIR fresh
  ; The earlier installation, elsewhere, removes its own files before this one is written.
  ExecWait '"$installed\Uninstall.exe" /S _?=$installed'
  Delete "$installed\Uninstall.exe"
  RMDir "$installed"
fresh:
  !include "${FILES}"
  WriteUninstaller "$INSTDIR\Uninstall.exe"
  CreateShortcut "$SMPROGRAMS\Ziravel.lnk" "$INSTDIR\ziravel.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Ziravel"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "Korvane"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\ziravel.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; The program's files, each by name; the user's settings and tone files stay.
Section "un.Ziravel"
  SectionIn RO
  SetShellVarContext current
  Delete "$SMPROGRAMS\Ziravel.lnk"
  !include "${REMOVALS}"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd

; Unticked: the inputs the window remembers, and the tool copies in the temporary folder. When
; TEMP held another program's sox.exe, ours went into a folder of ours there, and TEMP's own files
; are left alone.
Section /o "un.My settings and Ziravel's files in TEMP"
  DeleteRegKey HKCU "${SETTINGS_KEY}"
  DeleteRegKey /ifempty HKCU "Software\Korvane"
  ReadEnvStr $0 USERNAME
  StrCpy $1 "$TEMP\ziravel-$0"
  IfFileExists "$1\*.*" +2 0
  StrCpy $1 "$TEMP"
  Delete "$1\sox.exe"
  Delete "$1\zlib1.dll"
  Delete "$1\preview.wav"
  RMDir "$TEMP\ziravel-$0"
SectionEnd
