; The setup program of Orrelin. It puts the extension beside the upgrade wizard Brannoc.exe
; (the extension starts the wizard it finds beside itself) and registers it with the
; regsvr32 of the DLL's own bitness, for the machine or, with /CurrentUser or without
; administrator rights, for the current user only.
;
; Built twice: a 64-bit program for 64-bit Windows (-DX64), which needs no file-system
; redirection to reach the 64-bit regsvr32, and a 32-bit one that runs on either.
;
; makensis -DVERSION=x.y.z -DPAYLOAD=<folder with x86_64\ and i686\> -DOUTFILE=<setup.exe>
;          [-DX64] [-DSIGN=<command that signs the file named by its argument>]
;          [-DSPARSE_PACKAGE=<signed package> -DSPARSE_FAMILY=<its family name>] Orrelin.nsi
;
; With a signed package (the build makes one only when given a certificate), Windows 11
; also gets the download command in Explorer's first context menu; without one, or on an
; earlier Windows, the classic menu is all there is, as before.
!ifdef X64
  Target amd64-unicode
!else
  Unicode true
!endif
ManifestDPIAware true
SetCompressor /SOLID lzma
RequestExecutionLevel highest

!include LogicLib.nsh
!include FileFunc.nsh
!include x64.nsh
!include WinMessages.nsh
!include WinVer.nsh

!define PRODUCT "Orrelin"
!define PUBLISHER "Halvorn"
!define UNINSTALLER "Uninstall-Orrelin.exe"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Orrelin"
!define APP_PATHS_KEY "Software\Microsoft\Windows\CurrentVersion\App Paths\Brannoc.exe"
!define CLSID "{B0EC6BBF-49C8-11D5-901D-00B0D064D823}"
!define INFO_TIP_HANDLER "{00021500-0000-0000-C000-000000000046}"
!define MENU_PACKAGE "Orrelin.msix"
!define MENU_SCRIPT "MenuPackage.ps1"
; The first build of Windows 11, whose first context menu shows packaged commands only.
!ifndef MENU_PACKAGE_MIN_BUILD
  !define MENU_PACKAGE_MIN_BUILD 22000
!endif

!ifdef SIGN
  !finalize '${SIGN} "%1"'
  !uninstfinalize '${SIGN} "%1"'
!endif

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir ""
BrandingText "${PRODUCT} ${VERSION}"
VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "FileDescription" "${PRODUCT} setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "${PUBLISHER}"

Var PerUser      ; 1: the current user's own installation
Var RegsvrUser   ; the extra regsvr32 switches of a per-user registration

Page components
Page directory "" "" CheckWizardFolder
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

DirText "Orrelin goes into the folder of the Halvorn Device Firmware Upgrade Wizard (Brannoc.exe), which it starts from its menu entries."

; Runs a regsvr32 and fails the step when it does not answer 0.
; _SYSTEM: the folder of the regsvr32 of the wanted bitness.
!macro Regsvr32 _SYSTEM _ARGUMENTS
  ClearErrors
  ExecWait '"${_SYSTEM}\regsvr32.exe" /s ${_ARGUMENTS}' $0
  ${If} $0 != 0
    DetailPrint "regsvr32 answered $0"
    SetErrors
  ${EndIf}
!macroend

; The folder of the 32-bit regsvr32 on 64-bit Windows, as this program sees it.
!if ${NSIS_PTR_SIZE} > 4
  !define SYSTEM32BIT "$WINDIR\SysWOW64"
!else
  !define SYSTEM32BIT "$SYSDIR"
!endif

; Runs the 64-bit regsvr32 on 64-bit Windows: a 32-bit program reaches it only with
; redirection off.
!macro Regsvr32Native _ARGUMENTS
  !if ${NSIS_PTR_SIZE} > 4
    !insertmacro Regsvr32 "$SYSDIR" '${_ARGUMENTS}'
  !else
    ${DisableX64FSRedirection}
    !insertmacro Regsvr32 "$WINDIR\System32" '${_ARGUMENTS}'
    ${EnableX64FSRedirection}
  !endif
!macroend

; Chooses the registry root and view of our own keys: the uninstall entry lives in the
; native view of the machine or of the user.
!macro ChooseContext
  ${If} ${RunningX64}
    SetRegView 64
  ${EndIf}
  ${If} $PerUser == 1
    SetShellVarContext current
    StrCpy $RegsvrUser "/n /i:user"
  ${Else}
    SetShellVarContext all
    StrCpy $RegsvrUser ""
  ${EndIf}
!macroend

; The keys the registry script leaves (it never removes the file type's keys, which other
; programs may share): the info tip handler naming our class and the emptied handler keys
; always go; the file type's own keys only when this installation made them ($2: .dfu,
; $3: dfufile).
!macro RemoveAssociationLeftovers _ROOT _CLASSES
  ReadRegStr $0 ${_ROOT} "${_CLASSES}.dfu\shellex\${INFO_TIP_HANDLER}" ""
  ${If} $0 == "${CLSID}"
    DeleteRegKey ${_ROOT} "${_CLASSES}.dfu\shellex\${INFO_TIP_HANDLER}"
  ${EndIf}
  DeleteRegKey /ifempty ${_ROOT} "${_CLASSES}.dfu\shellex"
  DeleteRegKey /ifempty ${_ROOT} "${_CLASSES}dfufile\ShellEx\ContextMenuHandlers"
  DeleteRegKey /ifempty ${_ROOT} "${_CLASSES}dfufile\ShellEx"
  ${If} $2 == 1
    ReadRegStr $0 ${_ROOT} "${_CLASSES}.dfu" ""
    EnumRegValue $1 ${_ROOT} "${_CLASSES}.dfu" 1
    ${If} $0 == "dfufile"
    ${AndIf} $1 == ""
      DeleteRegKey /ifnosubkeys ${_ROOT} "${_CLASSES}.dfu"
    ${EndIf}
  ${EndIf}
  ${If} $3 == 1
    DeleteRegKey /ifempty ${_ROOT} "${_CLASSES}dfufile"
  ${EndIf}
!macroend

; Notes in the uninstall entry whether this installation makes the file type's key (_KEY:
; .dfu or dfufile), which the uninstaller then removes with what is left in it; a key that
; was there before stays. An upgrade keeps what the first installation found.
!macro NoteCreatedKey _ROOT _CLASSES _KEY _VALUE
  ClearErrors
  ReadRegDWORD $0 SHCTX "${UNINSTALL_KEY}" "${_VALUE}"
  ${If} ${Errors}
    ClearErrors
    EnumRegKey $0 ${_ROOT} "${_CLASSES}${_KEY}" 0
    ${If} ${Errors}
      WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "${_VALUE}" 1
    ${Else}
      WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "${_VALUE}" 0
    ${EndIf}
  ${EndIf}
!macroend
!macro NoteAssociationOwner _ROOT _CLASSES
  !insertmacro NoteCreatedKey ${_ROOT} "${_CLASSES}" ".dfu" "ExtensionKeyCreated"
  !insertmacro NoteCreatedKey ${_ROOT} "${_CLASSES}" "dfufile" "FileTypeKeyCreated"
!macroend

!ifdef SPARSE_PACKAGE
; The 64-bit PowerShell, whose Appx deployment works for every user; a 32-bit setup program
; reaches it through Sysnative.
!if ${NSIS_PTR_SIZE} > 4
  !define POWERSHELL "$SYSDIR\WindowsPowerShell\v1.0\powershell.exe"
!else
  !define POWERSHELL "$WINDIR\Sysnative\WindowsPowerShell\v1.0\powershell.exe"
!endif

; Runs the package script (_ARGUMENTS: its -Action and what that needs) for this
; installation's scope. Paths go in as arguments of -File, each in double quotes, which no
; Windows path contains; PowerShell binds them as literal strings, so blanks, apostrophes
; and '$' in the folder stay as they are. What the script prints goes to the install log;
; a failure is logged and the installation goes on with the classic menu.
!macro RunMenuPackage _ARGUMENTS
  ${If} $PerUser == 1
    StrCpy $1 "User"
  ${Else}
    StrCpy $1 "Machine"
  ${EndIf}
  nsExec::ExecToLog '"${POWERSHELL}" -NoProfile -NonInteractive -ExecutionPolicy Bypass -File "$INSTDIR\${MENU_SCRIPT}" ${_ARGUMENTS} -Scope $1 -Family ${SPARSE_FAMILY}'
  Pop $0
  ${If} $0 != 0
    DetailPrint "The Windows 11 menu package was not changed ($0); the classic menu entries work as before."
  ${EndIf}
!macroend
!endif

Section "Orrelin (info tips and download entries in Explorer)" SecMain
  SectionIn RO
  !insertmacro ChooseContext
  ${If} $PerUser == 1
    !insertmacro NoteAssociationOwner HKCU "Software\Classes\"
  ${Else}
    !insertmacro NoteAssociationOwner HKLM "Software\Classes\"
  ${EndIf}
  SetOutPath "$INSTDIR"
  SetOverwrite on
  ; The property schema, which registration finds beside the library.
  File "${PAYLOAD}\Orrelin.propdesc"
  ${If} ${RunningX64}
    File "${PAYLOAD}\x86_64\Orrelin.dll"
    File "${PAYLOAD}\x86_64\Korvex.dll"
    !insertmacro Regsvr32Native '$RegsvrUser "$INSTDIR\Orrelin.dll"'
  ${Else}
    File "${PAYLOAD}\i686\Orrelin.dll"
    File "${PAYLOAD}\i686\Korvex.dll"
    !insertmacro Regsvr32 "$SYSDIR" '$RegsvrUser "$INSTDIR\Orrelin.dll"'
  ${EndIf}
  IfErrors 0 +2
    Abort "Orrelin could not be registered."

!ifdef SPARSE_PACKAGE
  ; Windows 11 (64-bit only): the package that puts the download command in Explorer's
  ; first context menu, with this folder as its external location. Its application is
  ; dfuinfo.exe, which needs the Korvex.dll beside it.
  ${If} ${AtLeastBuild} ${MENU_PACKAGE_MIN_BUILD}
  ${AndIf} ${RunningX64}
    File "${PAYLOAD}\x86_64\dfuinfo.exe"
    File "/oname=${MENU_PACKAGE}" "${SPARSE_PACKAGE}"
    File "${MENU_SCRIPT}"
    ; A closing quote after a backslash would be taken as a literal quote.
    StrCpy $2 "$INSTDIR"
    StrCpy $3 $2 1 -1
    ${If} $3 == "\"
      StrCpy $2 "$2\"
    ${EndIf}
    !insertmacro RunMenuPackage '-Action Add -Package "$INSTDIR\${MENU_PACKAGE}" -Folder "$2"'
    ; Explorer reads the new command without a restart.
    System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
  ${EndIf}
!endif

  WriteUninstaller "$INSTDIR\${UNINSTALLER}"
  GetDLLVersion "$INSTDIR\Orrelin.dll" $R0 $R1
  IntOp $R2 $R0 >> 16
  IntOp $R3 $R0 & 0xFFFF
  IntOp $R4 $R1 >> 16
  IntOp $R5 $R1 & 0xFFFF
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT} (DFU firmware files in Explorer)"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "$R2.$R3.$R4.$R5"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${UNINSTALLER}"
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section /o "32-bit programs' file dialogs (64-bit Windows)" SecWow
  !insertmacro ChooseContext
  ; Its own folder, as it needs its own Korvex.dll; it finds no wizard there, so it gives
  ; the info tip only.
  SetOutPath "$INSTDIR\x86"
  File "${PAYLOAD}\Orrelin.propdesc"
  File "${PAYLOAD}\i686\Orrelin.dll"
  File "${PAYLOAD}\i686\Korvex.dll"
  !insertmacro Regsvr32 "${SYSTEM32BIT}" '$RegsvrUser "$INSTDIR\x86\Orrelin.dll"'
  IfErrors 0 +2
    Abort "The 32-bit Orrelin could not be registered."
SectionEnd

Section "-size"
  SectionGetSize ${SecMain} $0
  ${If} ${SectionIsSelected} ${SecWow}
    SectionGetSize ${SecWow} $1
    IntOp $0 $0 + $1
  ${EndIf}
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Function .onInit
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/CurrentUser" $R1
  ${IfNot} ${Errors}
    StrCpy $PerUser 1
  ${Else}
    System::Call 'shell32::IsUserAnAdmin() i .r0'
    ${If} $0 == 0
      StrCpy $PerUser 1
    ${Else}
      StrCpy $PerUser 0
    ${EndIf}
  ${EndIf}
  !insertmacro ChooseContext
  ${IfNot} ${RunningX64}
    SectionSetFlags ${SecWow} ${SF_RO}
  ${Else}
    ; Silent installations ask for the 32-bit copy on the command line.
    ClearErrors
    ${GetOptions} $R0 "/With32Bit" $R1
    ${IfNot} ${Errors}
      SectionSetFlags ${SecWow} ${SF_SELECTED}
    ${EndIf}
  ${EndIf}
  ; /D= wins; else the folder of an earlier installation, else the wizard's own.
  ${If} $INSTDIR == ""
    ReadRegStr $INSTDIR SHCTX "${UNINSTALL_KEY}" "InstallLocation"
  ${EndIf}
  ${If} $INSTDIR == ""
    ReadRegStr $0 HKLM "${APP_PATHS_KEY}" ""
    ${If} $0 == ""
      ReadRegStr $0 HKCU "${APP_PATHS_KEY}" ""
    ${EndIf}
    ${If} $0 != ""
      ${GetParent} $0 $INSTDIR
    ${EndIf}
  ${EndIf}
  ${If} $INSTDIR == ""
    ${If} $PerUser == 1
      StrCpy $INSTDIR "$LOCALAPPDATA\Programs\Halvorn\Brannoc"
    ${Else}
      StrCpy $INSTDIR "$PROGRAMFILES64\Halvorn\Brannoc"
    ${EndIf}
  ${EndIf}
  ${If} ${Silent}
    Call CheckWizardFolder
  ${EndIf}
FunctionEnd

Function CheckWizardFolder
  ${IfNot} ${FileExists} "$INSTDIR\Brannoc.exe"
    MessageBox MB_OK|MB_ICONINFORMATION "The upgrade wizard Brannoc.exe is not in$\r$\n$INSTDIR.$\r$\n$\r$\nThe info tip of .dfu files works anyway; the download entries appear once the wizard is in this folder." /SD IDOK
  ${EndIf}
FunctionEnd

Function un.onInit
  ; The entry of the user's own installation names this folder; else it is the machine's.
  ${If} ${RunningX64}
    SetRegView 64
  ${EndIf}
  ReadRegStr $0 HKCU "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 == $INSTDIR
    StrCpy $PerUser 1
  ${Else}
    StrCpy $PerUser 0
  ${EndIf}
FunctionEnd

Section "Uninstall"
  !insertmacro ChooseContext
!ifdef SPARSE_PACKAGE
  ; The package goes first, while the library its command names is still there. The script
  ; is in the folder only where the installation registered the package.
  ${If} ${FileExists} "$INSTDIR\${MENU_SCRIPT}"
    !insertmacro RunMenuPackage '-Action Remove'
    Delete "$INSTDIR\${MENU_SCRIPT}"
    Delete "$INSTDIR\${MENU_PACKAGE}"
    Delete /REBOOTOK "$INSTDIR\dfuinfo.exe"
  ${EndIf}
!endif
  ${If} ${FileExists} "$INSTDIR\x86\Orrelin.dll"
    !insertmacro Regsvr32 "${SYSTEM32BIT}" '/u $RegsvrUser "$INSTDIR\x86\Orrelin.dll"'
  ${EndIf}
  ${If} ${RunningX64}
    !insertmacro Regsvr32Native '/u $RegsvrUser "$INSTDIR\Orrelin.dll"'
  ${Else}
    !insertmacro Regsvr32 "$SYSDIR" '/u $RegsvrUser "$INSTDIR\Orrelin.dll"'
  ${EndIf}

  ; A DLL that Explorer still holds goes at the next restart.
  Delete /REBOOTOK "$INSTDIR\x86\Orrelin.dll"
  Delete /REBOOTOK "$INSTDIR\x86\Korvex.dll"
  Delete "$INSTDIR\x86\Orrelin.propdesc"
  RMDir /REBOOTOK "$INSTDIR\x86"
  Delete /REBOOTOK "$INSTDIR\Orrelin.dll"
  Delete /REBOOTOK "$INSTDIR\Korvex.dll"
  Delete "$INSTDIR\Orrelin.propdesc"
  Delete "$INSTDIR\${UNINSTALLER}"
  RMDir "$INSTDIR"

  ReadRegDWORD $2 SHCTX "${UNINSTALL_KEY}" "ExtensionKeyCreated"
  ReadRegDWORD $3 SHCTX "${UNINSTALL_KEY}" "FileTypeKeyCreated"
  ${If} $PerUser == 1
    !insertmacro RemoveAssociationLeftovers HKCU "Software\Classes\"
  ${Else}
    !insertmacro RemoveAssociationLeftovers HKLM "Software\Classes\"
    ${If} ${RunningX64}
      SetRegView 32
      !insertmacro RemoveAssociationLeftovers HKLM "Software\Classes\"
      SetRegView 64
    ${EndIf}
  ${EndIf}
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
  ; A user's list of installed programs may have been made for this one; the machine's list
  ; belongs to Windows.
  ${If} $PerUser == 1
    DeleteRegKey /ifempty HKCU "Software\Microsoft\Windows\CurrentVersion\Uninstall"
  ${EndIf}
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'

  IfRebootFlag 0 +2
    MessageBox MB_OK|MB_ICONINFORMATION "Explorer still uses Orrelin. Its files are deleted when Windows restarts." /SD IDOK
SectionEnd
