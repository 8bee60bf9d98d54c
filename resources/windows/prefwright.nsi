; The installer: a per-user installation (no administrator rights), a Start-menu entry and an
; uninstaller that removes exactly the files it installed.
; makensis -DVERSION=x.y.z -DSTAGE=<folder of the files> -DFILES=<install list> -DUNFILES=<removal list> -DOUTFILE=<setup.exe>
Unicode true
; A 64-bit installer for a 64-bit program (and for a Wine without its 32-bit half).
Target amd64-unicode
!include "MUI2.nsh"

Name "Prefwright ${VERSION}"
OutFile "${OUTFILE}"
RequestExecutionLevel user
InstallDir "$LOCALAPPDATA\Programs\Prefwright"
InstallDirRegKey HKCU "Software\Prefwright" "InstallFolder"
SetCompressor /SOLID lzma
BrandingText "Prefwright ${VERSION}"

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Prefwright"
!define MUI_ICON "${STAGE}\prefwright.ico"
!define MUI_UNICON "${STAGE}\prefwright.ico"
!define MUI_FINISHPAGE_RUN "$INSTDIR\prefwright.exe"
!insertmacro MUI_PAGE_LICENSE "${STAGE}\LICENSE.txt"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "Prefwright"
VIAddVersionKey "FileDescription" "Prefwright installer"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "CompanyName" "Prefwright developers"
VIAddVersionKey "LegalCopyright" "Prefwright developers"

Section "Prefwright"
    SetShellVarContext current
    SetOutPath "$INSTDIR"
    !include "${FILES}"
    WriteUninstaller "$INSTDIR\uninstall.exe"
    CreateShortcut "$SMPROGRAMS\Prefwright.lnk" "$INSTDIR\prefwright.exe" "" "$INSTDIR\prefwright.exe" 0
    WriteRegStr HKCU "Software\Prefwright" "InstallFolder" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Prefwright"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "Prefwright developers"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\prefwright.exe"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
    SetShellVarContext current
    ; Only what was installed: a folder the user chose may hold files of their own.
    !include "${UNFILES}"
    Delete "$INSTDIR\uninstall.exe"
    Delete "$SMPROGRAMS\Prefwright.lnk"
    RMDir "$INSTDIR"
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
    DeleteRegKey HKCU "Software\Prefwright"
SectionEnd
