; SPDX-License-Identifier: GPL-3.0-or-later
; The installer: for the user who runs it, without administrator rights, into the user's own
; programs folder, with a Start menu entry and an uninstaller. makensis is given VERSION and
; STAGE (the folder the zip is made from) and OUTFILE.
; A 64-bit installer for a 64-bit program: it runs where the program runs.
Target amd64-unicode
Name "Ziravel"
OutFile "${OUTFILE}"
RequestExecutionLevel user
InstallDir "$LOCALAPPDATA\Programs\Ziravel"
SetCompressor /SOLID lzma

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Ziravel"

Section "Ziravel"
  SetShellVarContext current
  SetOutPath "$INSTDIR"
  File /r "${STAGE}\*.*"
  WriteUninstaller "$INSTDIR\Uninstall.exe"
  CreateShortcut "$SMPROGRAMS\Ziravel.lnk" "$INSTDIR\ziravel.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Ziravel"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "Korvane"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\ziravel.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; The user's settings (HKCU\Software\Korvane\Ziravel) and tone files stay.
Section "Uninstall"
  SetShellVarContext current
  Delete "$SMPROGRAMS\Ziravel.lnk"
  RMDir /r "$INSTDIR"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
