; The Windows installer of Velmora: a per-user install that needs no administrator rights.
;
;   makensis -DVERSION=1.0.0 -DSTAGE=<folder with the files> -DOUTFILE=<setup.exe> velmora.nsi
;
; STAGE holds Velmora.exe, velmora-cli.exe and Velmora.chm (scripts/package fills it). The
; uninstaller removes exactly what the installer wrote, by name, and the install folder only
; when nothing else is left in it, so files a user put there are never deleted.

Unicode true
SetCompressor /SOLID lzma
RequestExecutionLevel user

!ifndef VERSION
  !define VERSION "1.0.0"
!endif
!ifndef STAGE
  !error "define STAGE, the folder holding the files to install"
!endif
!ifndef OUTFILE
  !define OUTFILE "Velmora-${VERSION}-setup.exe"
!endif

!define PRODUCT "Velmora"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Velmora"
; The verb shows on .ods files whatever program owns the extension.
!define VERB_KEY "Software\Classes\SystemFileAssociations\.ods\shell\Velmora.Repair"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Velmora"
InstallDirRegKey HKCU "Software\Velmora\Velmora" "InstallDir"
BrandingText "${PRODUCT} ${VERSION}"
ShowInstDetails show
ShowUninstDetails show

!include "MUI2.nsh"
!if /FileExists "${STAGE}\velmora.ico"
  !define MUI_ICON "${STAGE}\velmora.ico"
  !define MUI_UNICON "${STAGE}\velmora.ico"
!endif
!define MUI_FINISHPAGE_RUN "$INSTDIR\Velmora.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Start Velmora"
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "CompanyName" "Velmora Software"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "LegalCopyright" "Velmora Software"

Section "Velmora" SecMain
  SectionIn RO
  SetShellVarContext current
  SetOutPath "$INSTDIR"
  File "${STAGE}\Velmora.exe"
  File "${STAGE}\velmora-cli.exe"
  File "${STAGE}\Velmora.chm"
  WriteUninstaller "$INSTDIR\Uninstall.exe"

  CreateDirectory "$SMPROGRAMS\Velmora"
  CreateShortCut "$SMPROGRAMS\Velmora\Velmora.lnk" "$INSTDIR\Velmora.exe"
  CreateShortCut "$SMPROGRAMS\Velmora\Velmora Help.lnk" "$INSTDIR\Velmora.chm"

  WriteRegStr HKCU "${VERB_KEY}" "" "Repair with Velmora"
  WriteRegStr HKCU "${VERB_KEY}" "Icon" '"$INSTDIR\Velmora.exe",0'
  WriteRegStr HKCU "${VERB_KEY}\command" "" '"$INSTDIR\Velmora.exe" "%1"'

  WriteRegStr HKCU "Software\Velmora\Velmora" "InstallDir" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "Velmora Software"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" '"$INSTDIR\Velmora.exe",0'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  SetShellVarContext current
  Delete "$INSTDIR\Velmora.exe"
  Delete "$INSTDIR\velmora-cli.exe"
  Delete "$INSTDIR\Velmora.chm"
  Delete "$INSTDIR\Uninstall.exe"
  ; Only when empty: a file the user kept in the folder stays, and so does the folder.
  RMDir "$INSTDIR"

  Delete "$SMPROGRAMS\Velmora\Velmora.lnk"
  Delete "$SMPROGRAMS\Velmora\Velmora Help.lnk"
  RMDir "$SMPROGRAMS\Velmora"

  DeleteRegKey HKCU "${VERB_KEY}"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
  DeleteRegValue HKCU "Software\Velmora\Velmora" "InstallDir"
  ; The window's own settings (its look) go with the program; the key only when empty.
  DeleteRegValue HKCU "Software\Velmora\Velmora" "ApplicationLook"
  DeleteRegKey /ifempty HKCU "Software\Velmora\Velmora"
  DeleteRegKey /ifempty HKCU "Software\Velmora"
SectionEnd
