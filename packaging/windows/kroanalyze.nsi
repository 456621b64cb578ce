; The Windows installer of kroanalyze (scripts/pack-windows.sh runs makensis on it with VERSION,
; STAGE: the unpacked zip's folder, OUTFILE and UNINSTALL_LIST: the files it puts in place).
; A 64-bit installer, as the program is (it runs without a 32-bit layer, under wine too).
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include MUI2.nsh
!include LogicLib.nsh
!include WinVer.nsh

!define APP "kroanalyze"
!define TITLE "楼板厚度测试仪数据分析处理软件"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${APP}"

Name "${TITLE} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${APP}"
InstallDirRegKey HKLM "Software\${APP}" "InstallDir"
BrandingText "${APP} ${VERSION}"

!define MUI_ICON "${STAGE}\kroanalyze.ico"
!define MUI_UNICON "${STAGE}\kroanalyze.ico"
!define MUI_FINISHPAGE_RUN "$INSTDIR\kroanalyze.exe"
; The licences, from the text the package carries (its folder licences\ holds the rest).
!insertmacro MUI_PAGE_LICENSE "${STAGE}\licences\kroanalyze.txt"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "SimpChinese"

; The programs are built with Qt 6, which runs on Windows 10 version 1809 (build 17763) and
; later, Windows 11 included: older systems are refused before anything is installed.
Function .onInit
  ${IfNot} ${AtLeastWin10}
  ${OrIfNot} ${AtLeastBuild} 17763
    MessageBox MB_OK|MB_ICONSTOP "本程序需要 Windows 10（1809 版或更新）或 Windows 11，不能安装在这个系统上。" /SD IDOK
    Abort
  ${EndIf}
FunctionEnd

; Opening a file type with the program, under the program's own name for the type.
!macro Associate EXT TYPE DESCRIPTION
  WriteRegStr HKLM "Software\Classes\.${EXT}" "" "${TYPE}"
  WriteRegStr HKLM "Software\Classes\${TYPE}" "" "${DESCRIPTION}"
  WriteRegStr HKLM "Software\Classes\${TYPE}\DefaultIcon" "" "$INSTDIR\kroanalyze.exe,0"
  WriteRegStr HKLM "Software\Classes\${TYPE}\shell\open\command" "" '"$INSTDIR\kroanalyze.exe" "%1"'
!macroend

; Removes the association only where it is still the program's.
!macro Unassociate EXT TYPE
  ReadRegStr $0 HKLM "Software\Classes\.${EXT}" ""
  StrCmp $0 "${TYPE}" 0 +2
    DeleteRegKey HKLM "Software\Classes\.${EXT}"
  DeleteRegKey HKLM "Software\Classes\${TYPE}"
!macroend

; For every user of the machine: Start menu, file types and program folder alike.
Section "Install"
  SetShellVarContext all
  SetOutPath "$INSTDIR"
  File /r "${STAGE}\*.*"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateDirectory "$SMPROGRAMS\${TITLE}"
  CreateShortCut "$SMPROGRAMS\${TITLE}\${TITLE}.lnk" "$INSTDIR\kroanalyze.exe" "" "$INSTDIR\kroanalyze.exe" 0
  CreateShortCut "$SMPROGRAMS\${TITLE}\使用说明.lnk" "$INSTDIR\kroanalyze.html"
  CreateShortCut "$SMPROGRAMS\${TITLE}\卸载.lnk" "$INSTDIR\uninstall.exe"

  !insertmacro Associate "KRO" "kroanalyze.KRO" "楼板厚度分析结果文件"
  !insertmacro Associate "DEX" "kroanalyze.DEX" "楼板厚度原始数据文件"
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'

  WriteRegStr HKLM "Software\${APP}" "InstallDir" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${TITLE}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "The kroanalyze developers"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\kroanalyze.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; Only what the installer put there: the user's settings (%APPDATA%\kroanalyze) and anything
; the user saved in the program's folder stay.
Section "Uninstall"
  SetShellVarContext all
  !include "${UNINSTALL_LIST}"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"

  Delete "$SMPROGRAMS\${TITLE}\${TITLE}.lnk"
  Delete "$SMPROGRAMS\${TITLE}\使用说明.lnk"
  Delete "$SMPROGRAMS\${TITLE}\卸载.lnk"
  RMDir "$SMPROGRAMS\${TITLE}"

  !insertmacro Unassociate "KRO" "kroanalyze.KRO"
  !insertmacro Unassociate "DEX" "kroanalyze.DEX"
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'

  DeleteRegKey HKLM "Software\${APP}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
