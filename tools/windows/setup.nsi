; The Windows setup program, built by tools/windows/package.sh with Debian's
; makensis from the folder that also becomes the zip:
;   makensis -DVERSION=1.0.0 -DSTAGE=<folder> -DICON=<.ico> -DFILES=<list.nsh>
;            -DOUTFILE=<setup.exe> tools/windows/setup.nsi
; FILES is the uninstaller's list of that folder's files and folders, so that
; removing the program deletes exactly what the setup wrote and never a file
; the user keeps beside it.
;
; Command line (for administrators and scripts):
;   /S              silent, no pages
;   /ALLUSERS       for every user of the PC (needs Run as administrator);
;                   the default is the current user only, without rights
;   /CURRENTUSER    the current user only (the default)
;   /WORKDIR=DIR    also a shortcut that starts the browser in DIR, one
;                   station's working folder
;   /D=DIR          the program folder; last on the line, unquoted
; Exit code 0 when installed, 1 when cancelled or failed, 5 when /ALLUSERS
; lacks administrator rights.

Unicode true
; Debian's default stub is 32-bit; the 64-bit one runs under a 64-bit-only
; Wine and installs into the 64-bit Program Files and registry view.
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestDPIAware true
ManifestSupportedOS Win10

!define PRODUCT "Log Browser for VELK-AIS"
!define PUBLISHER "The Log Browser for VELK-AIS developers"
!define EXE "velkais-log-browser.exe"
!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\VelkaisLogBrowser"
!define PROGID "VelkaisLogBrowser.Track"
!define APP_KEY "Software\Classes\Applications\${EXE}"
!define FOLDER_NAME "velkais-log-browser"
; Named as the map's desktop entry on Linux.
!define MAP_LINK "Log Browser Map.lnk"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "${PRODUCT} setup"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "LegalCopyright" "Copyright (C) 2026 ${PUBLISHER}"

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include nsDialogs.nsh

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING

Var AllUsers      ; 1: every user (HKLM, Program Files), 0: this user only
Var ModeGiven     ; 1 when /ALLUSERS or /CURRENTUSER was on the command line
Var DirGiven      ; 1 when /D= was on the command line
Var WorkDir       ; a station's working folder for the extra shortcut, or ""
Var ModeRadioAll
Var WorkField

!insertmacro MUI_PAGE_WELCOME
Page custom ModePage ModePageLeave
!insertmacro MUI_PAGE_DIRECTORY
Page custom StationPage StationPageLeave
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

; --- Where it goes ------------------------------------------------------------

Function IsAdmin
    UserInfo::GetAccountType
    Pop $0
    ${If} $0 == "admin"
        Push 1
    ${Else}
        Push 0
    ${EndIf}
FunctionEnd

; Sets the shell folders and registry root for the chosen mode, and the
; program folder unless /D= named one: an earlier install's folder (so that a
; newer version replaces it in place), else the mode's usual place.
Function ApplyMode
    ${If} $AllUsers == 1
        SetShellVarContext all
    ${Else}
        SetShellVarContext current
    ${EndIf}
    ${If} $DirGiven == 1
        Return
    ${EndIf}
    ReadRegStr $0 SHCTX "${UNINST_KEY}" "InstallLocation"
    ${If} $0 != ""
        StrCpy $INSTDIR $0
    ${ElseIf} $AllUsers == 1
        StrCpy $INSTDIR "$PROGRAMFILES64\${FOLDER_NAME}"
    ${Else}
        ; Windows' own place for programs installed by one user without rights.
        StrCpy $INSTDIR "$LOCALAPPDATA\Programs\${FOLDER_NAME}"
    ${EndIf}
FunctionEnd

Function .onInit
    ; No InstallDir: an $INSTDIR already set here came from /D=.
    StrCpy $DirGiven 0
    ${If} $INSTDIR != ""
        StrCpy $DirGiven 1
    ${EndIf}
    StrCpy $AllUsers 0
    StrCpy $ModeGiven 0
    ${GetParameters} $R0
    ClearErrors
    ${GetOptions} $R0 "/ALLUSERS" $R1
    ${IfNot} ${Errors}
        StrCpy $AllUsers 1
        StrCpy $ModeGiven 1
    ${EndIf}
    ClearErrors
    ${GetOptions} $R0 "/CURRENTUSER" $R1
    ${IfNot} ${Errors}
        StrCpy $AllUsers 0
        StrCpy $ModeGiven 1
    ${EndIf}
    ClearErrors
    ${GetOptions} $R0 "/WORKDIR=" $R1
    ${IfNot} ${Errors}
        StrCpy $WorkDir $R1
    ${EndIf}
    ${If} $AllUsers == 1
        Call IsAdmin
        Pop $0
        ${If} $0 != 1
            MessageBox MB_ICONSTOP "Installing for every user needs administrator rights: start the setup with $\"Run as administrator$\"." /SD IDOK
            SetErrorLevel 5
            Quit
        ${EndIf}
    ${EndIf}
    Call ApplyMode
    ; An earlier version's station shortcut is made again by this one.
    ${If} $WorkDir == ""
        ReadRegStr $WorkDir SHCTX "${UNINST_KEY}" "StationFolder"
    ${EndIf}
FunctionEnd

Function ModePage
    ${If} $ModeGiven == 1
        Abort
    ${EndIf}
    !insertmacro MUI_HEADER_TEXT "Choose users" "Choose who may start ${PRODUCT} on this PC."
    nsDialogs::Create 1018
    Pop $0
    ${NSD_CreateRadioButton} 0 0 100% 20u "Only for me: no administrator rights needed"
    Pop $1
    ${NSD_CreateRadioButton} 0 26u 100% 20u "For everyone who uses this PC"
    Pop $ModeRadioAll
    ${NSD_CreateLabel} 12u 48u 95% 30u "Needs administrator rights: start the setup with $\"Run as administrator$\" to choose this."
    Pop $2
    Call IsAdmin
    Pop $0
    ${If} $0 != 1
        EnableWindow $ModeRadioAll 0
    ${Else}
        ShowWindow $2 ${SW_HIDE}
    ${EndIf}
    ${If} $AllUsers == 1
        ${NSD_Check} $ModeRadioAll
    ${Else}
        ${NSD_Check} $1
    ${EndIf}
    nsDialogs::Show
FunctionEnd

Function ModePageLeave
    ${NSD_GetState} $ModeRadioAll $0
    ${If} $0 == ${BST_CHECKED}
        StrCpy $AllUsers 1
    ${Else}
        StrCpy $AllUsers 0
    ${EndIf}
    Call ApplyMode
FunctionEnd

Function StationPage
    !insertmacro MUI_HEADER_TEXT "Station shortcut (optional)" "Start the browser in one station's working folder."
    nsDialogs::Create 1018
    Pop $0
    ${NSD_CreateLabel} 0 0 100% 40u "The browser reads a station's day logs from ..\logs and its photographs from ..\pics beside the folder it runs in, the working folder. Choose a station's working folder for a shortcut on the desktop and in the Start menu that opens that station, or leave the field empty."
    Pop $0
    ${NSD_CreateDirRequest} 0 46u 78% 13u "$WorkDir"
    Pop $WorkField
    ${NSD_CreateBrowseButton} 80% 45u 20% 15u "Browse..."
    Pop $0
    ${NSD_OnClick} $0 StationBrowse
    nsDialogs::Show
FunctionEnd

Function StationBrowse
    ${NSD_GetText} $WorkField $0
    nsDialogs::SelectFolderDialog "The station's working folder" $0
    Pop $0
    ${If} $0 != "error"
        ${NSD_SetText} $WorkField $0
    ${EndIf}
FunctionEnd

Function StationPageLeave
    ${NSD_GetText} $WorkField $WorkDir
    ${If} $WorkDir != ""
    ${AndIfNot} ${FileExists} "$WorkDir\*.*"
        MessageBox MB_ICONEXCLAMATION "The folder $WorkDir does not exist."
        Abort
    ${EndIf}
FunctionEnd

; The station shortcut's file name, after the station's folder (the working
; folder's parent: C:\north\work gives "Log Browser - north.lnk").
Function StationLinkName
    Pop $0
    ${GetParent} $0 $1
    ${GetFileName} $1 $1
    ${If} $1 == ""
        ${GetFileName} $0 $1
    ${EndIf}
    Push "Log Browser - $1.lnk"
FunctionEnd

; --- Install ------------------------------------------------------------------

Section "Install"
    ; An earlier version: its own uninstaller removes its files, shortcuts and
    ; keys first, so that nothing it had and this one lacks stays behind.
    ReadRegStr $0 SHCTX "${UNINST_KEY}" "InstallLocation"
    ${If} $0 != ""
    ${AndIf} ${FileExists} "$0\uninstall.exe"
        DetailPrint "Removing the installed version in $0"
        ExecWait '"$0\uninstall.exe" /S _?=$0'
    ${EndIf}

    SetOutPath "$INSTDIR"
    File /r "${STAGE}\*.*"
    WriteUninstaller "$INSTDIR\uninstall.exe"

    ; Started from the menu, the browser works in the user's own folder, as
    ; from a Linux menu: never the program folder, which it must not write.
    ${If} $AllUsers == 1
        SetOutPath "$DOCUMENTS"
    ${Else}
        SetOutPath "$PROFILE"
    ${EndIf}
    CreateDirectory "$SMPROGRAMS\${PRODUCT}"
    CreateShortcut "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk" "$INSTDIR\${EXE}" "" "$INSTDIR\${EXE}" 0 \
        SW_SHOWNORMAL "" "Search an AIS station's day logs for ships"
    ; The map alone, empty: its Open... adds track files.
    CreateShortcut "$SMPROGRAMS\${PRODUCT}\${MAP_LINK}" "$INSTDIR\${EXE}" "--map" "$INSTDIR\${EXE}" 0 \
        SW_SHOWNORMAL "" "Show KML, GPX and GeoJSON tracks on an offline sea map"

    ${If} $WorkDir != ""
        Push $WorkDir
        Call StationLinkName
        Pop $1
        ${If} ${FileExists} "$WorkDir\*.*"
            SetOutPath "$WorkDir"
        ${EndIf}
        CreateShortcut "$SMPROGRAMS\${PRODUCT}\$1" "$INSTDIR\${EXE}" '"$WorkDir"' "$INSTDIR\${EXE}" 0 \
            SW_SHOWNORMAL "" "${PRODUCT} in $WorkDir"
        CreateShortcut "$DESKTOP\$1" "$INSTDIR\${EXE}" '"$WorkDir"' "$INSTDIR\${EXE}" 0 \
            SW_SHOWNORMAL "" "${PRODUCT} in $WorkDir"
        WriteRegStr SHCTX "${UNINST_KEY}" "StationFolder" "$WorkDir"
        WriteRegStr SHCTX "${UNINST_KEY}" "StationLink" "$1"
    ${EndIf}
    SetOutPath "$INSTDIR"

    ; "Open with" for the track files: the map is offered beside whatever
    ; opens them now and never becomes their default.
    WriteRegStr SHCTX "Software\Classes\${PROGID}" "" "Track (KML, GPX, GeoJSON)"
    WriteRegStr SHCTX "Software\Classes\${PROGID}" "FriendlyTypeName" "Track (KML, GPX, GeoJSON)"
    WriteRegStr SHCTX "Software\Classes\${PROGID}\DefaultIcon" "" "$INSTDIR\${EXE},0"
    WriteRegStr SHCTX "Software\Classes\${PROGID}\shell\open" "FriendlyAppName" "${PRODUCT} map"
    WriteRegStr SHCTX "Software\Classes\${PROGID}\shell\open\command" "" '"$INSTDIR\${EXE}" --map "%1"'
    WriteRegStr SHCTX "${APP_KEY}" "FriendlyAppName" "${PRODUCT} map"
    WriteRegStr SHCTX "${APP_KEY}\DefaultIcon" "" "$INSTDIR\${EXE},0"
    WriteRegStr SHCTX "${APP_KEY}\shell\open\command" "" '"$INSTDIR\${EXE}" --map "%1"'
    !macro OpenWith ext
        WriteRegStr SHCTX "${APP_KEY}\SupportedTypes" "${ext}" ""
        WriteRegNone SHCTX "Software\Classes\${ext}\OpenWithProgids" "${PROGID}"
    !macroend
    !insertmacro OpenWith ".kml"
    !insertmacro OpenWith ".gpx"
    !insertmacro OpenWith ".geojson"

    ; The entry in Installed apps.
    WriteRegStr SHCTX "${UNINST_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr SHCTX "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr SHCTX "${UNINST_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr SHCTX "${UNINST_KEY}" "DisplayIcon" "$INSTDIR\${EXE},0"
    WriteRegStr SHCTX "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr SHCTX "${UNINST_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr SHCTX "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD SHCTX "${UNINST_KEY}" "NoModify" 1
    WriteRegDWORD SHCTX "${UNINST_KEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    WriteRegDWORD SHCTX "${UNINST_KEY}" "EstimatedSize" $0

    ; Explorer reads the new "Open with" entries without a new login.
    System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
SectionEnd

; --- Uninstall ----------------------------------------------------------------

Function un.onInit
    ; Installed for every user when the machine-wide entry names this folder.
    SetShellVarContext all
    ReadRegStr $0 HKLM "${UNINST_KEY}" "InstallLocation"
    ${If} $0 == $INSTDIR
        Call un.IsAdmin
        Pop $1
        ${If} $1 != 1
            MessageBox MB_ICONSTOP "${PRODUCT} was installed for every user: removing it needs administrator rights." /SD IDOK
            SetErrorLevel 5
            Quit
        ${EndIf}
    ${Else}
        SetShellVarContext current
    ${EndIf}
FunctionEnd

Function un.IsAdmin
    UserInfo::GetAccountType
    Pop $0
    ${If} $0 == "admin"
        Push 1
    ${Else}
        Push 0
    ${EndIf}
FunctionEnd

Section "Uninstall"
    ; The program's own files and folders, by name: logs, pictures, working
    ; folders or anything else a user put into the program folder stay.
    !include "${FILES}"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"

    ReadRegStr $1 SHCTX "${UNINST_KEY}" "StationLink"
    ${If} $1 != ""
        Delete "$DESKTOP\$1"
        Delete "$SMPROGRAMS\${PRODUCT}\$1"
    ${EndIf}
    Delete "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk"
    Delete "$SMPROGRAMS\${PRODUCT}\${MAP_LINK}"
    RMDir "$SMPROGRAMS\${PRODUCT}"

    !macro un.OpenWith ext
        DeleteRegValue SHCTX "Software\Classes\${ext}\OpenWithProgids" "${PROGID}"
        ; Only keys left with neither values nor subkeys: another program's
        ; association of the type stays as it was.
        DeleteRegKey /ifempty SHCTX "Software\Classes\${ext}\OpenWithProgids"
        DeleteRegKey /ifempty SHCTX "Software\Classes\${ext}"
    !macroend
    !insertmacro un.OpenWith ".kml"
    !insertmacro un.OpenWith ".gpx"
    !insertmacro un.OpenWith ".geojson"
    DeleteRegKey SHCTX "Software\Classes\${PROGID}"
    DeleteRegKey SHCTX "${APP_KEY}"
    DeleteRegKey SHCTX "${UNINST_KEY}"
    System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
SectionEnd
