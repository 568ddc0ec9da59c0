; Setup program for Veltrane, the Explorer context-menu extension that wipes files.
;
; One 32-bit program for both kinds of Windows: on 64-bit Windows it installs the 64-bit
; DLL (registered with the 64-bit regsvr32, the one Explorer sees) and the 32-bit DLL
; (registered in the 32-bit registry view, for the file dialogs of 32-bit programs); on
; 32-bit Windows only the 32-bit DLL. Each DLL lies in a folder of its own with its help
; file and animation beside it, where it looks for them:
;   <install folder>\x64\  veltrane.dll veltrane.chm pencil.avi veltrane.exe   (64-bit Windows only)
;   <install folder>\x86\  veltrane.dll veltrane.chm pencil.avi veltrane.exe
;   <install folder>\uninstall.exe  setup.log
;   <install folder>\veltrane.msix  Assets\*.png   (with the Windows 11 package)
;
; veltrane.exe, the command line, lies beside each DLL. The one of the machine's own
; bitness (x64 on 64-bit Windows, x86 on 32-bit Windows) is put on the system PATH by setup
; and taken off it by the uninstaller.
;
; On Windows 11 (build 22000 or later) setup registers the sparse package veltrane.msix
; with the install folder as its external location: that identity lets Explorer's first
; context menu show the Veltrane command (CLSID_ExplorerCommand in x64\veltrane.dll). A
; failure there is written to setup.log and the details, and does not fail the install:
; the classic menu (under "Show more options") works without it.
;
; Built by installer/MakeSetup.cmake, which passes
;   VERSION  a.b.c.d        CLSID  the extension's class identifier, with braces
;   COMMAND_CLSID           the Windows 11 command's class identifier, with braces
;   DIR64    DIR32          folders holding veltrane.dll, veltrane.chm, pencil.avi and
;                           veltrane.exe
;   OUTFILE  the setup program to write
; and optionally
;   PACKAGE_DIR             folder holding veltrane.msix and Assets\ (the Windows 11 package)
;   PACKAGE_SIGNED          1 when the package is signed; 0 registers it with -AllowUnsigned
;   SIGN_COMMAND            a program that signs the file it is given in place: run on the
;                           uninstaller and on the setup program
;
; Both setup and uninstaller run silently with /S; the exit code is 0 on success.

Unicode true
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestDPIAware true

!macro RequireDefine NAME
    !ifndef ${NAME}
        !error "Pass -D${NAME}=... to makensis (see installer/MakeSetup.cmake)"
    !endif
!macroend
!insertmacro RequireDefine VERSION
!insertmacro RequireDefine CLSID
!insertmacro RequireDefine COMMAND_CLSID
!insertmacro RequireDefine DIR64
!insertmacro RequireDefine DIR32
!insertmacro RequireDefine OUTFILE

!define PRODUCT "Veltrane"
!define PUBLISHER "Veltrane project"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Veltrane"
!define APPROVED_KEY "Software\Microsoft\Windows\CurrentVersion\Shell Extensions\Approved"
!define UNINSTALLER "uninstall.exe"
!define SETUP_LOG "setup.log"
!define ENVIRONMENT_KEY "SYSTEM\CurrentControlSet\Control\Session Manager\Environment"
; Windows 11 is 64-bit only, and the package cmdlets do not run in 32-bit PowerShell: with
; file system redirection off this is the 64-bit one.
!define POWERSHELL '"$SYSDIR\WindowsPowerShell\v1.0\powershell.exe" -NoProfile -NonInteractive -ExecutionPolicy Bypass -Command'

!ifdef SIGN_COMMAND
    !uninstfinalize '"${SIGN_COMMAND}" "%1"' = 0
    !finalize '"${SIGN_COMMAND}" "%1"' = 0
!endif

!include MUI2.nsh
!include LogicLib.nsh
!include x64.nsh
!include WinVer.nsh
!include FileFunc.nsh
!include WordFunc.nsh
!include TextFunc.nsh

Name "${PRODUCT}"
OutFile "${OUTFILE}"
; Program Files of the machine's own bitness; the 32-bit Windows value is the same folder.
InstallDir "$PROGRAMFILES64\${PRODUCT}"
BrandingText "${PRODUCT} ${VERSION}"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}"
VIFileVersion "${VERSION}"

!define MUI_ABORTWARNING
; The licence shown is the project's own file (MIT).
!insertmacro MUI_PAGE_LICENSE "${__FILEDIR__}/../LICENSE"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_UNPAGE_FINISH
!insertmacro MUI_LANGUAGE "English"

VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileDescription" "${PRODUCT} setup"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "LegalCopyright" "${PUBLISHER}"

Var PreviousDir
Var RegistrationFailed
Var LogFile

; ---------------------------------------------------------------------------------------
; Shared by setup and uninstaller (macros only: functions cannot be shared between them).

; The registry view that Explorer uses.
!macro UseNativeView
    ${If} ${RunningX64}
        SetRegView 64
    ${Else}
        SetRegView 32
    ${EndIf}
!macroend

; Keys above ours that registration (or this setup) creates when they are missing; real
; Windows has them all, a bare system may not. Setup notes which of them were missing before
; the first install, per registry view, and the uninstaller removes exactly those again
; once they hold no subkeys. Children come before their parents.
!macro ForEachParentKey ACTION
    !insertmacro ${ACTION} 0x001 HKCR "*\shellex\ContextMenuHandlers"
    !insertmacro ${ACTION} 0x002 HKCR "*\shellex"
    !insertmacro ${ACTION} 0x004 HKCR "*"
    !insertmacro ${ACTION} 0x008 HKCR "Directory\shellex\ContextMenuHandlers"
    !insertmacro ${ACTION} 0x010 HKCR "Directory\shellex"
    !insertmacro ${ACTION} 0x020 HKCR "Directory"
    !insertmacro ${ACTION} 0x040 HKLM "${APPROVED_KEY}"
    !insertmacro ${ACTION} 0x080 HKLM "Software\Microsoft\Windows\CurrentVersion\Shell Extensions"
    !insertmacro ${ACTION} 0x100 HKLM "Software\Microsoft\Windows\CurrentVersion\Uninstall"
    !insertmacro ${ACTION} 0x200 HKCR "Drive\shellex\ContextMenuHandlers"
    !insertmacro ${ACTION} 0x400 HKCR "Drive\shellex"
    !insertmacro ${ACTION} 0x800 HKCR "Drive"
    !insertmacro ${ACTION} 0x1000 HKCR "CLSID\{645FF040-5081-101B-9F08-00AA002F954E}\shellex\ContextMenuHandlers"
    !insertmacro ${ACTION} 0x2000 HKCR "CLSID\{645FF040-5081-101B-9F08-00AA002F954E}\shellex"
!macroend

; $R8 |= FLAG when the key does not exist in the current view.
!macro NoteIfMissing FLAG ROOT KEY
    ClearErrors
    EnumRegKey $R9 ${ROOT} "${KEY}" 0
    ${If} ${Errors}
        IntOp $R8 $R8 | ${FLAG}
    ${EndIf}
!macroend

; Deletes the key when $R8 has FLAG and nothing lives below it any more.
!macro RemoveIfNoted FLAG ROOT KEY
    IntOp $R9 $R8 & ${FLAG}
    ${If} $R9 <> 0
        DeleteRegKey /ifempty ${ROOT} "${KEY}"
    ${EndIf}
!macroend

; What registration writes, removed in the current view even when the DLL's own
; unregistration could not run (file missing) or stopped half-way.
!macro RemoveRegistration
    DeleteRegKey HKCR "CLSID\${CLSID}"
    DeleteRegKey HKCR "CLSID\${COMMAND_CLSID}"
    DeleteRegKey HKCR "*\shellex\ContextMenuHandlers\${PRODUCT}"
    DeleteRegKey HKCR "Directory\shellex\ContextMenuHandlers\${PRODUCT}"
    DeleteRegKey HKCR "Drive\shellex\ContextMenuHandlers\${PRODUCT}"
    DeleteRegKey HKCR "CLSID\{645FF040-5081-101B-9F08-00AA002F954E}\shellex\ContextMenuHandlers\${PRODUCT}"
    DeleteRegValue HKLM "${APPROVED_KEY}" "${CLSID}"
!macroend

; Only the files setup put there: the folder may hold files of the user's, and /D= may
; have named any folder at all, so nothing is removed recursively. Explorer may still hold
; a DLL; then Windows deletes it at the next restart.
!macro RemoveModuleSet DIR
    Delete /REBOOTOK "${DIR}\veltrane.dll"
    Delete /REBOOTOK "${DIR}\veltrane.chm"
    Delete /REBOOTOK "${DIR}\pencil.avi"
    Delete /REBOOTOK "${DIR}\veltrane.exe"
    !insertmacro RemoveFolder "${DIR}"
!macroend

!macro RemoveFolder DIR
    ClearErrors
    RMDir "${DIR}"
    ; A folder that still holds a file waiting for the restart goes after that file. A
    ; folder kept by the user's own files stays, and asks for no restart.
    ${If} ${Errors}
    ${AndIf} ${RebootFlag}
        RMDir /REBOOTOK "${DIR}"
    ${EndIf}
!macroend

; Adds (SIGN +) or removes (SIGN -) FOLDER as an entry of the system PATH, compared without
; regard to case; UN is "un." in the uninstaller. $R0 gets a line for the log. NSIS strings
; hold NSIS_MAX_STRLEN characters: a PATH that might not fit is left exactly as it is
; rather than written back cut short.
!macro EditSystemPath UN SIGN FOLDER
    ClearErrors
    ReadRegStr $R1 HKLM "${ENVIRONMENT_KEY}" "Path"
    StrLen $R2 $R1
    StrLen $R3 "${FOLDER}"
    IntOp $R2 $R2 + $R3
    IntOp $R2 $R2 + 2
    ${If} ${Errors}
    ${OrIf} $R2 >= ${NSIS_MAX_STRLEN}
        StrCpy $R0 "PATH: not changed (it could not be read whole); edit it by hand: ${SIGN}${FOLDER}"
    ${Else}
        ${${UN}WordAdd} "$R1" ";" "${SIGN}${FOLDER}" $R4
        ${If} $R4 == $R1
            StrCpy $R0 "PATH: unchanged (${SIGN}${FOLDER})"
        ${Else}
            ; REG_EXPAND_SZ, as Windows keeps it: entries such as %SystemRoot% stay.
            WriteRegExpandStr HKLM "${ENVIRONMENT_KEY}" "Path" $R4
            ; Programs started afterwards (a new console) see the new PATH.
            SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=5000
            StrCpy $R0 "PATH: ${SIGN}${FOLDER}"
        ${EndIf}
    ${EndIf}
!macroend

!macro RemoveInstalledFiles DIR
    !insertmacro RemoveModuleSet "${DIR}\x64"
    !insertmacro RemoveModuleSet "${DIR}\x86"
    Delete "${DIR}\veltrane.msix"
    Delete "${DIR}\Assets\StoreLogo.png"
    Delete "${DIR}\Assets\Square150x150Logo.png"
    Delete "${DIR}\Assets\Square44x44Logo.png"
    !insertmacro RemoveFolder "${DIR}\Assets"
    Delete "${DIR}\${SETUP_LOG}"
    Delete /REBOOTOK "${DIR}\${UNINSTALLER}"
    !insertmacro RemoveFolder "${DIR}"
!macroend

; ---------------------------------------------------------------------------------------
; Setup

; A line in the details and in <install folder>\setup.log, which outlives a silent install.
!macro SetupLog TEXT
    DetailPrint "${TEXT}"
    FileOpen $LogFile "$INSTDIR\${SETUP_LOG}" a
    FileSeek $LogFile 0 END
    FileWrite $LogFile "${TEXT}$\r$\n"
    FileClose $LogFile
!macroend

!ifdef PACKAGE_DIR
!macro PutPackage
    SetOutPath "$INSTDIR"
    File "/oname=veltrane.msix" "${PACKAGE_DIR}/veltrane.msix"
    SetOutPath "$INSTDIR\Assets"
    File "/oname=StoreLogo.png" "${PACKAGE_DIR}/Assets/StoreLogo.png"
    File "/oname=Square150x150Logo.png" "${PACKAGE_DIR}/Assets/Square150x150Logo.png"
    File "/oname=Square44x44Logo.png" "${PACKAGE_DIR}/Assets/Square44x44Logo.png"
!macroend

; Every account's own registration of the package, at its next sign-in, once per version.
!define ACTIVE_SETUP_KEY "Software\Microsoft\Active Setup\Installed Components\${COMMAND_CLSID}"
!searchreplace VERSION_COMMAS "${VERSION}" "." ","

; Registers the package for the Windows 11 menu: for this account now (an earlier
; registration, of an older version or this one, goes first), and for every other account
; at its next sign-in (Active Setup runs the same command once per account and version).
; The classic entries stay for everyone: the classic handler gives way by itself where the
; package serves the user, so no menu shows Veltrane twice. Only ever reported, never a
; reason to fail the install. TEST_WINDOWS11 (the setup test's build only) takes any
; Windows for Windows 11.
Function RegisterPackage
    !ifndef TEST_WINDOWS11
    ${IfNot} ${RunningX64}
    ${OrIfNot} ${AtLeastBuild} 22000
        !insertmacro SetupLog "Windows 11 menu: not this Windows (build below 22000); the classic menu serves."
        Return
    ${EndIf}
    !endif
    ; PowerShell's single-quoted strings double their quotes.
    ${WordReplace} "$INSTDIR" "'" "''" "+" $R1
    !if ${PACKAGE_SIGNED} == 0
        StrCpy $R2 " -AllowUnsigned"
    !else
        StrCpy $R2 ""
    !endif
    SetRegView 64
    WriteRegStr HKLM "${ACTIVE_SETUP_KEY}" "" "${PRODUCT} Windows 11 menu"
    WriteRegStr HKLM "${ACTIVE_SETUP_KEY}" "Version" "${VERSION_COMMAS}"
    WriteRegDWORD HKLM "${ACTIVE_SETUP_KEY}" "IsInstalled" 1
    WriteRegStr HKLM "${ACTIVE_SETUP_KEY}" "StubPath" `${POWERSHELL} "Add-AppxPackage -Path '$R1\veltrane.msix' -ExternalLocation '$R1'$R2"`
    !insertmacro UseNativeView
    ${DisableX64FSRedirection}
    nsExec::ExecToLog `${POWERSHELL} "$$ErrorActionPreference = 'Stop'; Get-AppxPackage -AllUsers -Name Veltrane | Remove-AppxPackage -AllUsers; Add-AppxPackage -Path '$R1\veltrane.msix' -ExternalLocation '$R1'$R2"`
    Pop $0
    StrCpy $2 ""
    ${If} $0 == 0
        ; The family name the classic handler looks for, to give way where the package serves.
        ; Only a package that says its name counts as registered: a PowerShell that only
        ; pretends (Wine's) exits with 0 and registers nothing.
        nsExec::ExecToStack `${POWERSHELL} "(Get-AppxPackage -Name Veltrane).PackageFamilyName"`
        Pop $1
        Pop $2
        ${TrimNewLines} "$2" $2
        ${If} $2 == ""
            StrCpy $0 "no package afterwards"
        ${EndIf}
    ${EndIf}
    ${EnableX64FSRedirection}
    ${If} $0 == 0
        SetRegView 64
        WriteRegStr HKLM "Software\${PRODUCT}" "PackageFamilyName" "$2"
        !insertmacro UseNativeView
        !insertmacro SetupLog "Windows 11 menu: package registered for this account ($2); every other account gets it at its next sign-in (Active Setup). Restart Explorer, or sign out and in, to see it in the first menu."
        MessageBox MB_OK|MB_ICONINFORMATION "${PRODUCT} is in Windows 11's first context menu once Explorer restarts (or after you sign out and in)." /SD IDOK
    ${Else}
        !insertmacro SetupLog "Windows 11 menu: the package could not be registered for this account (PowerShell: $0); other accounts try at their next sign-in (Active Setup). The classic menu under $\"Show more options$\" works for every account all the same."
    ${EndIf}
FunctionEnd
!endif

Function .onInit
    ${IfNot} ${AtLeastWin7}
        MessageBox MB_OK|MB_ICONSTOP "${PRODUCT} needs Windows 7 or later." /SD IDOK
        SetErrorLevel 2
        Quit
    ${EndIf}
    !insertmacro UseNativeView
    ReadRegStr $PreviousDir HKLM "${UNINSTALL_KEY}" "InstallLocation"
    ; A repair or upgrade goes where the installed copy is, unless /D= chose a place.
    ${If} $PreviousDir != ""
    ${AndIf} $INSTDIR == "$PROGRAMFILES64\${PRODUCT}"
        StrCpy $INSTDIR $PreviousDir
    ${EndIf}
FunctionEnd

; Records, in the uninstall entry, which parent keys were missing before the first install.
; An upgrade keeps what the first install noted: by now those keys exist.
!macro NoteMissingKeysInView VIEW
    SetRegView ${VIEW}
    StrCpy $R8 0
    !insertmacro ForEachParentKey NoteIfMissing
    !insertmacro UseNativeView
    ReadRegDWORD $R9 HKLM "${UNINSTALL_KEY}" "CreatedKeys${VIEW}"
    ${If} $R9 == ""
        StrCpy $R9 0
    ${EndIf}
    IntOp $R8 $R8 | $R9
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "CreatedKeys${VIEW}" $R8
!macroend

Function NoteMissingKeys
    ${If} ${RunningX64}
        !insertmacro NoteMissingKeysInView 64
    ${EndIf}
    !insertmacro NoteMissingKeysInView 32
FunctionEnd

; A loaded DLL (Explorer holds ours once a menu was shown) can be renamed but neither
; deleted nor overwritten: move it aside and let Windows delete it at the next restart.
!macro MoveAsideInUse DIR NAME
    Delete "${DIR}\${NAME}"
    ${If} ${FileExists} "${DIR}\${NAME}"
        GetTempFileName $R0 "${DIR}"
        Delete $R0
        Rename "${DIR}\${NAME}" $R0
        Delete /REBOOTOK $R0
    ${EndIf}
!macroend

!macro PutModuleSet SUBDIR SOURCE
    SetOutPath "$INSTDIR\${SUBDIR}"
    !insertmacro MoveAsideInUse "$INSTDIR\${SUBDIR}" "veltrane.dll"
    File "/oname=veltrane.dll" "${SOURCE}/veltrane.dll"
    ; The DLL looks for its help file under its own name with the extension .chm.
    File "/oname=veltrane.chm" "${SOURCE}/veltrane.chm"
    File "/oname=pencil.avi" "${SOURCE}/pencil.avi"
    ; A running veltrane.exe can be renamed but not replaced.
    !insertmacro MoveAsideInUse "$INSTDIR\${SUBDIR}" "veltrane.exe"
    File "/oname=veltrane.exe" "${SOURCE}/veltrane.exe"
!macroend

; The command line of the machine's own bitness on the system PATH.
Function AddCommandToPath
    ${If} ${RunningX64}
        !insertmacro EditSystemPath "" "+" "$INSTDIR\x64"
    ${Else}
        !insertmacro EditSystemPath "" "+" "$INSTDIR\x86"
    ${EndIf}
    !insertmacro SetupLog "$R0"
FunctionEnd

; Moved with /D=: the old folders leave PATH.
Function RemovePreviousFromPath
    !insertmacro EditSystemPath "" "-" "$PreviousDir\x64"
    !insertmacro SetupLog "$R0"
    !insertmacro EditSystemPath "" "-" "$PreviousDir\x86"
    !insertmacro SetupLog "$R0"
FunctionEnd

Function RegisterModules
    StrCpy $RegistrationFailed ""
    ${If} ${RunningX64}
        ; With redirection off, system32 is the real one: its regsvr32 is 64-bit and writes
        ; the 64-bit view that Explorer reads.
        ${DisableX64FSRedirection}
        ClearErrors
        ExecWait '"$SYSDIR\regsvr32.exe" /s "$INSTDIR\x64\veltrane.dll"' $0
        ${If} ${Errors}
            StrCpy $0 "not started"
        ${EndIf}
        ${EnableX64FSRedirection}
        ${If} $0 != 0
            !insertmacro SetupLog "Registration: regsvr32 x64\veltrane.dll ended with $0."
            StrCpy $RegistrationFailed "x64\veltrane.dll"
        ${EndIf}
    ${EndIf}
    ; Setup is a 32-bit program: registering in-process writes the 32-bit view.
    ClearErrors
    RegDLL "$INSTDIR\x86\veltrane.dll"
    ${If} ${Errors}
        !insertmacro SetupLog "Registration: DllRegisterServer of x86\veltrane.dll failed."
        ${If} $RegistrationFailed == ""
            StrCpy $RegistrationFailed "x86\veltrane.dll"
        ${Else}
            StrCpy $RegistrationFailed "$RegistrationFailed, x86\veltrane.dll"
        ${EndIf}
    ${EndIf}
FunctionEnd

Function WriteUninstallEntry
    !insertmacro UseNativeView
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${UNINSTALLER},0"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K /G=1" $0 $1 $2
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
FunctionEnd

Section "-${PRODUCT}"
    SetOverwrite on
    Call NoteMissingKeys

    ; Moved to another folder with /D=: the old copy goes, registration below points
    ; both views at the new one.
    ${If} $PreviousDir != ""
    ${AndIf} $PreviousDir != $INSTDIR
        !insertmacro RemoveInstalledFiles "$PreviousDir"
    ${EndIf}

    ${If} ${RunningX64}
        !insertmacro PutModuleSet x64 "${DIR64}"
    ${EndIf}
    !insertmacro PutModuleSet x86 "${DIR32}"
    !ifdef PACKAGE_DIR
        !insertmacro PutPackage
    !endif
    SetOutPath "$INSTDIR"
    WriteUninstaller "$INSTDIR\${UNINSTALLER}"

    Call RegisterModules
    Call AddCommandToPath
    ${If} $PreviousDir != ""
    ${AndIf} $PreviousDir != $INSTDIR
        Call RemovePreviousFromPath
    ${EndIf}
    !ifdef PACKAGE_DIR
        Call RegisterPackage
    !else
        !insertmacro SetupLog "Windows 11 menu: this setup program carries no package."
    !endif
    ; Written even when registration failed, so the remains can be uninstalled.
    Call WriteUninstallEntry
    ${If} $RegistrationFailed != ""
        !insertmacro SetupLog "${PRODUCT} could not be registered ($RegistrationFailed)."
        MessageBox MB_OK|MB_ICONSTOP "${PRODUCT} could not be registered ($RegistrationFailed)." /SD IDOK
        Abort "Registration failed: $RegistrationFailed"
    ${EndIf}
SectionEnd

; ---------------------------------------------------------------------------------------
; Uninstaller

Function un.RemoveNotedKeys
    ; What was noted lives in the uninstall entry, which has to go before its own parent.
    !insertmacro UseNativeView
    ReadRegDWORD $R6 HKLM "${UNINSTALL_KEY}" "CreatedKeys64"
    ReadRegDWORD $R7 HKLM "${UNINSTALL_KEY}" "CreatedKeys32"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
    ${If} ${RunningX64}
        StrCpy $R8 $R6
        ${If} $R8 == ""
            StrCpy $R8 0
        ${EndIf}
        SetRegView 64
        !insertmacro ForEachParentKey RemoveIfNoted
    ${EndIf}
    StrCpy $R8 $R7
    ${If} $R8 == ""
        StrCpy $R8 0
    ${EndIf}
    SetRegView 32
    !insertmacro ForEachParentKey RemoveIfNoted
    !insertmacro UseNativeView
FunctionEnd

; The Windows 11 package goes before the files of its external location, for every
; account, and no account registers it again at its next sign-in.
Function un.RemovePackage
    SetRegView 64
    DeleteRegKey HKLM "${ACTIVE_SETUP_KEY}"
    DeleteRegValue HKLM "Software\${PRODUCT}" "PackageFamilyName"
    DeleteRegKey /ifempty HKLM "Software\${PRODUCT}"
    !insertmacro UseNativeView
    ${If} ${RunningX64}
    ${AndIf} ${AtLeastBuild} 22000
        ${DisableX64FSRedirection}
        nsExec::ExecToLog `${POWERSHELL} "Get-AppxPackage -AllUsers -Name Veltrane | Remove-AppxPackage -AllUsers"`
        Pop $0
        ${EnableX64FSRedirection}
        DetailPrint "Windows 11 menu: package removal: $0"
    ${EndIf}
FunctionEnd

; Both folders, whichever setup added.
Function un.RemoveCommandFromPath
    !insertmacro EditSystemPath "un." "-" "$INSTDIR\x64"
    DetailPrint "$R0"
    !insertmacro EditSystemPath "un." "-" "$INSTDIR\x86"
    DetailPrint "$R0"
FunctionEnd

Section "Uninstall"
    Call un.RemovePackage
    Call un.RemoveCommandFromPath
    ${If} ${RunningX64}
        ${If} ${FileExists} "$INSTDIR\x64\veltrane.dll"
            ${DisableX64FSRedirection}
            ExecWait '"$SYSDIR\regsvr32.exe" /u /s "$INSTDIR\x64\veltrane.dll"' $0
            ${EnableX64FSRedirection}
        ${EndIf}
        SetRegView 64
        !insertmacro RemoveRegistration
    ${EndIf}
    ${If} ${FileExists} "$INSTDIR\x86\veltrane.dll"
        UnRegDLL "$INSTDIR\x86\veltrane.dll"
    ${EndIf}
    SetRegView 32
    !insertmacro RemoveRegistration

    Call un.RemoveNotedKeys
    !insertmacro RemoveInstalledFiles "$INSTDIR"
SectionEnd
