; Callvane's per-user installer, compiled by makensis from the build (see
; CMakeLists.txt here). Defines passed in: BINDIR (the build's bin folder),
; OUTFILE, VERSION, FILELIST (the generated list of the program's files).
;
; Silent use:
;   CallvaneSetup.exe /S [/SIMHANDSET] [/D=<folder>]
;     /SIMHANDSET  also install and register the stand-in handset control
;   Uninstall.exe /S [/KEEPSETTINGS]
;     /KEEPSETTINGS  keep Callvane.ini if it was changed after it was installed
; Interactively the uninstaller asks instead (only when the file was changed).

Unicode true
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestDPIAware true

!include LogicLib.nsh
!include Sections.nsh
!include FileFunc.nsh
!include ${FILELIST}

!define APPNAME "Callvane"
!define INSTANCE "Callvane<1.0>"
!define UNINSTKEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Callvane"
!define SHELLFOLDERS "Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders"
!define SIMCLSID "{797E1292-653D-43DD-AE7E-F6606A73C647}"
; Phone links (tel:, callto:) open Callvane: the class that opens them, and
; the capabilities through which Windows' Default apps lists Callvane.
!define PROGID "Callvane.PhoneLink"
!define APPKEY "Software\Callvane"
!define CAPABILITIES "Software\Callvane\Capabilities"
!define LINKCOMMAND '"$INSTDIR\Callvane.exe" "%1"'

Name "${APPNAME}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Callvane"
InstallDirRegKey HKCU "${UNINSTKEY}" "InstallLocation"
ShowInstDetails show
ShowUninstDetails show
VIProductVersion "${VERSION}"
VIAddVersionKey "ProductName" "${APPNAME}"
VIAddVersionKey "FileDescription" "${APPNAME} setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" ""

Page components
Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Var KeepSettings

; A scheme's own key, where a shell without Default apps (and Wine) looks.
; Written only where no other program's command is registered.
!macro RegisterScheme ROOT SCHEME
  ReadRegStr $R0 ${ROOT} "Software\Classes\${SCHEME}\shell\open\command" ""
  ${If} $R0 == ""
  ${OrIf} $R0 == '${LINKCOMMAND}'
    WriteRegStr ${ROOT} "Software\Classes\${SCHEME}" "" "URL:${SCHEME}"
    WriteRegStr ${ROOT} "Software\Classes\${SCHEME}" "URL Protocol" ""
    WriteRegStr ${ROOT} "Software\Classes\${SCHEME}\shell\open\command" "" '${LINKCOMMAND}'
  ${EndIf}
!macroend

; $R0 is 1 when a program other than this copy handles SCHEME: its key in
; the classes root as Windows merges it (the user's classes over the
; machine's), or in the user's own classes (which Wine's root leaves out),
; is a URL protocol or has a command, and the command is not this copy's.
!macro FindOtherHandler SCHEME
  StrCpy $R0 0
  !insertmacro FindOtherHandlerIn HKCR "${SCHEME}"
  !insertmacro FindOtherHandlerIn HKCU "Software\Classes\${SCHEME}"
!macroend
!macro FindOtherHandlerIn ROOT KEY
  ReadRegStr $R1 ${ROOT} "${KEY}\shell\open\command" ""
  ClearErrors
  ReadRegStr $R2 ${ROOT} "${KEY}" "URL Protocol"
  ${If} $R1 != '${LINKCOMMAND}'
    ${If} $R1 != ""
    ${OrIfNot} ${Errors}
      StrCpy $R0 1
    ${EndIf}
  ${EndIf}
!macroend

; Where another program handles the scheme, its keys stay as they are and
; nothing hides them: Callvane is only listed for it (the class and the
; capabilities), and Default apps lets the user choose. $R9 is 1 on Wine.
!macro RegisterSchemeUnlessHandled SCHEME
  !insertmacro FindOtherHandler ${SCHEME}
  ${If} $R0 = 1
    DetailPrint "Another program opens ${SCHEME}: links; Callvane is offered for them in Default apps."
  ${Else}
    !insertmacro RegisterScheme HKCU ${SCHEME}
    ${If} $R9 = 1
      !insertmacro RegisterScheme HKLM ${SCHEME}
    ${EndIf}
  ${EndIf}
!macroend

; Removed only while it still opens this copy.
!macro UnregisterScheme ROOT SCHEME
  ReadRegStr $R0 ${ROOT} "Software\Classes\${SCHEME}\shell\open\command" ""
  ${If} $R0 == '${LINKCOMMAND}'
    DeleteRegKey ${ROOT} "Software\Classes\${SCHEME}"
  ${EndIf}
!macroend

; Wine reads HKEY_CLASSES_ROOT from the machine's classes only (not the
; user's, as Windows does): there the schemes go to both. $R9 is 1 on Wine.
!macro DetectWine
  System::Call 'kernel32::GetModuleHandleW(w "ntdll.dll") p .R8'
  System::Call 'kernel32::GetProcAddress(p R8, m "wine_get_version") p .R8'
  StrCpy $R9 0
  ${If} $R8 P<> 0
    StrCpy $R9 1
  ${EndIf}
!macroend

Section "Callvane" SecMain
  SectionIn RO
  SetShellVarContext current
  SetOutPath "$INSTDIR"
  !insertmacro CallvaneInstallFiles
  ; A settings file the user changed (kept by an earlier uninstall, or left
  ; in place) is newer than the shipped one and stays. The time of the
  ; settings file as installed is recorded, "kept" for a file the user had.
  StrCpy $R0 ""
  ${If} ${FileExists} "$INSTDIR\Callvane.ini"
    GetFileTime "$INSTDIR\Callvane.ini" $R1 $R2
    StrCpy $R0 "$R1:$R2"
  ${EndIf}
  ReadRegStr $R5 HKCU "${UNINSTKEY}" "SettingsTime"
  SetOverwrite ifnewer
  File "${BINDIR}/Callvane.ini"
  SetOverwrite on
  GetFileTime "$INSTDIR\Callvane.ini" $R1 $R2
  ${If} $R0 == "$R1:$R2"
  ${AndIf} $R5 != "$R1:$R2"
    StrCpy $R1 "kept"
  ${Else}
    StrCpy $R1 "$R1:$R2"
  ${EndIf}
  ; The AutoRun command copies this shortcut to the Start-up folder.
  CreateShortcut "$INSTDIR\Callvane.lnk" "$INSTDIR\Callvane.exe" "" "$INSTDIR\Callvane.exe" 0
  CreateDirectory "$SMPROGRAMS\Callvane"
  CreateShortcut "$SMPROGRAMS\Callvane\Callvane.lnk" "$INSTDIR\Callvane.exe" "" "$INSTDIR\Callvane.exe" 0
  CreateShortcut "$SMPROGRAMS\Callvane\Uninstall Callvane.lnk" "$INSTDIR\Uninstall.exe"
  WriteUninstaller "$INSTDIR\Uninstall.exe"
  WriteRegStr HKCU "${UNINSTKEY}" "DisplayName" "${APPNAME}"
  WriteRegStr HKCU "${UNINSTKEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTKEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTKEY}" "SettingsTime" $R1
  WriteRegStr HKCU "${UNINSTKEY}" "DisplayIcon" "$INSTDIR\Callvane.exe"
  WriteRegStr HKCU "${UNINSTKEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKCU "${UNINSTKEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTKEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTKEY}" "NoRepair" 1

  WriteRegStr HKCU "Software\Classes\${PROGID}" "" "Phone link"
  WriteRegStr HKCU "Software\Classes\${PROGID}" "URL Protocol" ""
  WriteRegStr HKCU "Software\Classes\${PROGID}\DefaultIcon" "" "$INSTDIR\Callvane.exe,0"
  WriteRegStr HKCU "Software\Classes\${PROGID}\shell\open\command" "" '${LINKCOMMAND}'
  WriteRegStr HKCU "${CAPABILITIES}" "ApplicationName" "${APPNAME}"
  WriteRegStr HKCU "${CAPABILITIES}" "ApplicationDescription" "Dials phone links with a USB handset through the messenger."
  WriteRegStr HKCU "${CAPABILITIES}\URLAssociations" "tel" "${PROGID}"
  WriteRegStr HKCU "${CAPABILITIES}\URLAssociations" "callto" "${PROGID}"
  WriteRegStr HKCU "Software\RegisteredApplications" "${APPNAME}" "${CAPABILITIES}"
  !insertmacro DetectWine
  !insertmacro RegisterSchemeUnlessHandled tel
  !insertmacro RegisterSchemeUnlessHandled callto
SectionEnd

; For users without the hardware. The control registers itself in
; HKEY_CLASSES_ROOT (the only place Wine looks), which on Windows needs an
; administrator: a per-user install then says so instead of failing.
Section /o "Stand-in handset (no USB handset needed)" SecSim
  SetOutPath "$INSTDIR"
  File "${BINDIR}/UsbPhoneSim.dll"
  File "${BINDIR}/handsetctl.exe"
  ClearErrors
  RegDLL "$INSTDIR\UsbPhoneSim.dll"
  ${If} ${Errors}
    DetailPrint "The stand-in handset could not be registered: run 'regsvr32 UsbPhoneSim.dll' as an administrator."
    MessageBox MB_OK|MB_ICONEXCLAMATION "The stand-in handset was installed but could not be registered.$\r$\nRun 'regsvr32 $\"$INSTDIR\UsbPhoneSim.dll$\"' as an administrator." /SD IDOK
  ${EndIf}
SectionEnd

Function .onInit
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/SIMHANDSET" $R1
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${SecSim}
  ${EndIf}
FunctionEnd

; Ends a running instance: "*exit*" asks it to close; then waits (bounded)
; until its window and its single-instance mutex are gone.
!macro EndRunningInstance
  ${If} ${FileExists} "$INSTDIR\Callvane.exe"
    ExecWait '"$INSTDIR\Callvane.exe" *exit*'
  ${EndIf}
  StrCpy $R2 0
  ${Do}
    System::Call 'user32::FindWindowW(p 0, w "${INSTANCE}") p .R3'
    System::Call 'kernel32::OpenMutexW(i 0x00100000, i 0, w "${INSTANCE}") p .R4'
    ${If} $R4 P<> 0
      System::Call 'kernel32::CloseHandle(p R4)'
    ${EndIf}
    ${If} $R3 P= 0
    ${AndIf} $R4 P= 0
      ${Break}
    ${EndIf}
    IntOp $R2 $R2 + 1
    ${If} $R2 > 100
      DetailPrint "Callvane did not end within 10 seconds."
      ${Break}
    ${EndIf}
    Sleep 100
  ${Loop}
!macroend

Function un.onInit
  StrCpy $KeepSettings 0
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/KEEPSETTINGS" $R1
  ${IfNot} ${Errors}
    StrCpy $KeepSettings 1
  ${EndIf}
FunctionEnd

Section "Uninstall"
  SetShellVarContext current
  !insertmacro EndRunningInstance

  ; The AutoRun shortcut, wherever the user's Start-up folder is.
  ReadRegStr $R0 HKCU "${SHELLFOLDERS}" "StartUp"
  ${If} $R0 != ""
    Delete "$R0\Callvane.lnk"
  ${EndIf}

  ; The stand-in handset: unregistered only if the registration is this copy's.
  ${If} ${FileExists} "$INSTDIR\UsbPhoneSim.dll"
    ReadRegStr $R0 HKCR "CLSID\${SIMCLSID}\InprocServer32" ""
    ${If} $R0 == "$INSTDIR\UsbPhoneSim.dll"
      UnRegDLL "$INSTDIR\UsbPhoneSim.dll"
    ${EndIf}
    Delete "$INSTDIR\UsbPhoneSim.dll"
    Delete "$INSTDIR\handsetctl.exe"
  ${EndIf}

  ; The program may take a moment to let go of its executable.
  StrCpy $R2 0
  ${Do}
    ClearErrors
    Delete "$INSTDIR\Callvane.exe"
    ${IfNot} ${Errors}
      ${Break}
    ${EndIf}
    IntOp $R2 $R2 + 1
    ${If} $R2 > 50
      DetailPrint "Callvane.exe is still in use."
      ${Break}
    ${EndIf}
    Sleep 100
  ${Loop}
  !insertmacro CallvaneUninstallFiles
  Delete "$INSTDIR\Callvane.lnk"

  ; Settings: removed unless they were changed after installation (their
  ; time differs from the one recorded then) and the user asked to keep them.
  ${If} ${FileExists} "$INSTDIR\Callvane.ini"
    StrCpy $R5 0
    GetFileTime "$INSTDIR\Callvane.ini" $R0 $R1
    ReadRegStr $R6 HKCU "${UNINSTKEY}" "SettingsTime"
    ${If} $R6 != "$R0:$R1"
      StrCpy $R5 1
    ${EndIf}
    ${If} $R5 = 1
    ${AndIf} $KeepSettings = 0
      MessageBox MB_YESNO|MB_ICONQUESTION "Keep your changed settings (Callvane.ini)?" /SD IDNO IDNO +2
      StrCpy $KeepSettings 1
    ${EndIf}
    ${If} $R5 = 0
    ${OrIf} $KeepSettings = 0
      Delete "$INSTDIR\Callvane.ini"
    ${EndIf}
  ${EndIf}

  Delete "$SMPROGRAMS\Callvane\Callvane.lnk"
  Delete "$SMPROGRAMS\Callvane\Uninstall Callvane.lnk"
  RMDir "$SMPROGRAMS\Callvane"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR\Language"
  RMDir "$INSTDIR"
  DeleteRegKey HKCU "${UNINSTKEY}"

  !insertmacro UnregisterScheme HKCU tel
  !insertmacro UnregisterScheme HKCU callto
  !insertmacro DetectWine
  ${If} $R9 = 1
    !insertmacro UnregisterScheme HKLM tel
    !insertmacro UnregisterScheme HKLM callto
  ${EndIf}
  DeleteRegValue HKCU "Software\RegisteredApplications" "${APPNAME}"
  DeleteRegKey HKCU "${CAPABILITIES}"
  DeleteRegKey /ifempty HKCU "${APPKEY}"
  DeleteRegKey HKCU "Software\Classes\${PROGID}"
SectionEnd
