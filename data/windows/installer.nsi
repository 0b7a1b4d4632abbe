; The Windows installer: the program, its data and an uninstaller in Program Files\Varnholt, a Start-menu entry
; with the icon, and the entry in the system's list of programs. Made by scripts/windows:
;   makensis -DVERSION=1.0.0 -DSOURCE=<folder with varnholt.exe> -DOUTPUT=<installer> installer.nsi
Unicode true
; 64-bit, as the program is: it runs where only 64-bit Windows programs do (Wine without its 32-bit half).
Target amd64-unicode
ManifestDPIAware true
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!define NAME "Varnholt"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Varnholt"

Name "${NAME}"
OutFile "${OUTPUT}"
InstallDir "$PROGRAMFILES64\Varnholt"
Icon "varnholt.ico"
UninstallIcon "varnholt.ico"
VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${NAME}"
VIAddVersionKey "FileDescription" "${NAME} Setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "Varnholt developers"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section "Varnholt"
    SetShellVarContext all
    SetOutPath "$INSTDIR"
    File "${SOURCE}\varnholt.exe"
    File "${SOURCE}\character-tables.txt"
    File "${SOURCE}\copyright"
    WriteUninstaller "$INSTDIR\uninstall.exe"
    CreateShortcut "$SMPROGRAMS\Varnholt.lnk" "$INSTDIR\varnholt.exe" "" "$INSTDIR\varnholt.exe" 0
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${NAME}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\varnholt.exe"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Varnholt"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; The reader's articles stay: they are in %LOCALAPPDATA%\Varnholt, not in the program's folder.
Section "Uninstall"
    SetShellVarContext all
    Delete "$SMPROGRAMS\Varnholt.lnk"
    Delete "$INSTDIR\varnholt.exe"
    Delete "$INSTDIR\character-tables.txt"
    Delete "$INSTDIR\copyright"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
