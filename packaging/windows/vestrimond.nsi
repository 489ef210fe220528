; The installer of the Vestrimond host utility for 64-bit Windows, made by
; scripts/package-windows.sh, which passes:
;   VERSION         the program's version
;   STAGE           the folder of the files to install
;   UNINSTALL_LIST  an include file that deletes those files and their folders
;   OUTFILE         the installer to write
;   SYSTEM_PATH     the helper that edits the system PATH (system_path.cpp)
;   ICON            the program's icon (vestrimond.ico)
;   SIGN            (when signing) the command that signs a program in place
; Silent install: /S; without the PATH entry: /NOPATH; into another folder:
; /D=C:\Some\Folder (last, unquoted).

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!define PRODUCT "Vestrimond host utility"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Vestrimond"
; The installing user's Start-menu folder and the folder where the console
; starts, in that user's Documents.
!define START_MENU "$SMPROGRAMS\Vestrimond"
!define WORK_FOLDER "$DOCUMENTS\Vestrimond"

!ifdef SIGN
    !uninstfinalize '${SIGN} "%1"' = 0
    !finalize '${SIGN} "%1"' = 0
!endif

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Vestrimond"
; An update goes where the last install went.
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"

!include "MUI2.nsh"
!include "FileFunc.nsh"
!include "LogicLib.nsh"
!include "Sections.nsh"

; The program's own icon for the installer and the uninstaller.
!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"

!insertmacro MUI_PAGE_LICENSE "${STAGE}/LICENSE.txt"
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; An earlier install, of any version, is removed first by its own uninstaller,
; run in place: it takes away the files it installed, its Start-menu entries
; and its PATH entry, and leaves the user's own files. The files of this
; version then go in, and the one uninstall entry is written anew.
Function RemoveEarlierInstall
    ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $0 != ""
    ${AndIf} ${FileExists} "$0\Uninstall.exe"
        DetailPrint "Removing the version installed in $0"
        ExecWait '"$0\Uninstall.exe" /S _?=$0' $1
        Delete "$0\Uninstall.exe"
        RMDir "$0"
    ${EndIf}
FunctionEnd

Section "!Vestrimond host utility" SecProgram
    SectionIn RO
    Call RemoveEarlierInstall
    SetOutPath "$INSTDIR"
    File /r "${STAGE}/*"
    WriteUninstaller "$INSTDIR\Uninstall.exe"

    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "The Vestrimond host utility authors"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\vestrimond.exe"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

; The Start-menu entries of the installing user: the console, the manual
; and the examples. vestrimond.exe is a console program: started from the
; Start menu it gets a console window of its own. It starts in a folder the
; user can write, where the examples are at hand ("configure site.cfg"); an
; update leaves the user's copies there as they are, and so does the
; uninstaller.
Section "-Start menu"
    SetShellVarContext current
    SetOverwrite off
    SetOutPath "${WORK_FOLDER}"
    File "${STAGE}/examples/*.*"
    SetOverwrite on
    CreateDirectory "${START_MENU}"
    CreateShortcut "${START_MENU}\Vestrimond console.lnk" "$INSTDIR\vestrimond.exe" "" "" 0 \
        SW_SHOWNORMAL "" "Configure the Vestrimond digipeater and update its firmware"
    SetOutPath "$INSTDIR"
    CreateShortcut "${START_MENU}\Vestrimond manual.lnk" "$INSTDIR\Manual.txt"
    CreateShortcut "${START_MENU}\Vestrimond examples.lnk" "$INSTDIR\examples"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "StartMenuFolder" "${START_MENU}"
    SetShellVarContext all
SectionEnd

; The system PATH is edited by a helper of our own: the value may be longer
; than an NSIS string, which would cut it short. The uninstaller takes the
; folder off only when this installer put it there.
Section "Add the program's folder to the system PATH" SecPath
    InitPluginsDir
    File "/oname=$PLUGINSDIR\system_path.exe" "${SYSTEM_PATH}"
    ExecWait '"$PLUGINSDIR\system_path.exe" add "$INSTDIR"' $0
    ${If} $0 == 0
        WriteRegDWORD HKLM "${UNINSTALL_KEY}" "PathAdded" 1
    ${ElseIf} $0 != 1
        DetailPrint "Could not add $INSTDIR to the system PATH (status $0)"
    ${EndIf}
SectionEnd

!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
    !insertmacro MUI_DESCRIPTION_TEXT ${SecProgram} "The program, its manual and the examples."
    !insertmacro MUI_DESCRIPTION_TEXT ${SecPath} \
        "Lets cmd and PowerShell start vestrimond from any folder."
!insertmacro MUI_FUNCTION_DESCRIPTION_END

; For every user of the machine, in the 64-bit view of the registry.
Function .onInit
    SetRegView 64
    SetShellVarContext all
    ClearErrors
    ${GetOptions} $CMDLINE "/NOPATH" $0
    ${IfNot} ${Errors}
        !insertmacro UnselectSection ${SecPath}
    ${EndIf}
FunctionEnd

Function un.onInit
    SetRegView 64
    SetShellVarContext all
FunctionEnd

; Removes exactly what was installed: never a folder with the user's own files.
Section "Uninstall"
    ReadRegDWORD $0 HKLM "${UNINSTALL_KEY}" "PathAdded"
    ${If} $0 == 1
        InitPluginsDir
        File "/oname=$PLUGINSDIR\system_path.exe" "${SYSTEM_PATH}"
        ExecWait '"$PLUGINSDIR\system_path.exe" remove "$INSTDIR"'
    ${EndIf}
    !include "${UNINSTALL_LIST}"
    Delete "$INSTDIR\Uninstall.exe"
    RMDir "$INSTDIR"
    ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "StartMenuFolder"
    ${If} $0 != ""
        Delete "$0\Vestrimond console.lnk"
        Delete "$0\Vestrimond manual.lnk"
        Delete "$0\Vestrimond examples.lnk"
        RMDir "$0"
    ${EndIf}
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
