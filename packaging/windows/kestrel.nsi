; The Windows installer of Kestrel, made by scripts/package.sh:
;
;   makensis -INPUTCHARSET UTF8 -DVERSION=0.20 -DFILES=DIR -DICON=FILE -DOUTFILE=FILE kestrel.nsi
;
; FILES is the folder of the zip: the four programs, README.txt and
; LICENSE.txt. The installer speaks Japanese on a Japanese Windows and
; English elsewhere. By default it installs for the current user, without
; administrator rights, into %LOCALAPPDATA%\Programs\Kestrel; for every user
; of the computer (Program Files) when chosen on its second page or with
; /AllUsers, which asks for an administrator. It makes a Start-menu entry and
; an entry in Explorer's Send to menu that converts the chosen logs in batch
; mode, the same two for the comparison window (Kestrel 比較, and Kestrel で
; 比較, which compares the two logs chosen), and registers an uninstaller
; that removes all of it, and the user's settings only when asked.
;
; Silently: Kestrel-VERSION-setup.exe /S [/AllUsers] [/D=FOLDER]
;           Uninstall.exe /S

; A 64-bit installer for the 64-bit programs (and a Wine without 32-bit support).
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestDPIAware true
Name "Kestrel"
OutFile "${OUTFILE}"
BrandingText "Kestrel ${VERSION}"

!include MUI2.nsh
!include LogicLib.nsh
!include nsDialogs.nsh
!include FileFunc.nsh

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Kestrel"

Var AllUsers    ; 1: installed for every user (Program Files, HKLM)
Var Preset      ; 1: the mode came from the command line, so its page is skipped
Var UserFolder  ; the default folders of the two modes
Var CommonFolder
Var ForMe       ; the mode page's two choices
Var ForAll

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_NODESC

!define MUI_PAGE_CUSTOMFUNCTION_PRE SkipWhenPreset
!insertmacro MUI_PAGE_LICENSE "${FILES}/LICENSE.txt"
Page custom ModePage ModePageLeave
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_TEXT "$(Finished)"
; Room for what Send to does.
!define MUI_FINISHPAGE_TEXT_LARGE
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES

; The first language is the one used where the system's is neither.
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "Japanese"

LangString ModeTitle ${LANG_ENGLISH} "Install for"
LangString ModeTitle ${LANG_JAPANESE} "インストールの対象"
LangString ModeText ${LANG_ENGLISH} "Who will use Kestrel on this computer?"
LangString ModeText ${LANG_JAPANESE} "このコンピューターで Kestrel を使うのはどなたですか。"
LangString ForMe ${LANG_ENGLISH} "Only &me (no administrator rights needed)"
LangString ForMe ${LANG_JAPANESE} "自分だけ(&M) (管理者権限は不要)"
LangString ForAll ${LANG_ENGLISH} "&Every user of this computer (asks for administrator rights)"
LangString ForAll ${LANG_JAPANESE} "このコンピューターのすべてのユーザー(&E) (管理者権限が必要)"
LangString NeedAdmin ${LANG_ENGLISH} "Installing for every user needs administrator rights."
LangString NeedAdmin ${LANG_JAPANESE} "すべてのユーザーへのインストールには管理者権限が必要です。"
LangString SendToText ${LANG_ENGLISH} "Convert the logs with Kestrel's saved settings"
LangString SendToText ${LANG_JAPANESE} "保存された設定で Kestrel がログを変換します"
LangString SendToCompareText ${LANG_ENGLISH} "Compare the two routing tables chosen"
LangString SendToCompareText ${LANG_JAPANESE} "選んだ二つのルーティングテーブルを比較します"
LangString Finished ${LANG_ENGLISH} "Kestrel is in the Start menu. To convert logs with the saved settings, select them in Explorer and choose Send to > Kestrel: the window opens, shows each log's progress and closes by itself when all are done; logs that could not be converted are listed in one message at the end. Set the output extension in the window once first. To compare two routing tables, select both logs and choose Send to > Kestrel で比較.$\r$\n$\r$\nThe settings are kept in %APPDATA%\Kestrel."
LangString Finished ${LANG_JAPANESE} "Kestrel はスタートメニューから起動できます。エクスプローラーでログを選んで「送る」→「Kestrel」とすると、保存された設定で変換します。ウィンドウが開いて各ログの進み具合を表示し、すべて終わると自動で閉じます。変換できなかったログは、最後に一つのメッセージで知らせます (先に一度ウィンドウで出力拡張子を設定してください)。二つのログを選んで「送る」→「Kestrel で比較」とすると、二つのルーティングテーブルを比較します。$\r$\n$\r$\n設定は %APPDATA%\Kestrel に保存されます。"
LangString Settings ${LANG_ENGLISH} "Also remove my settings (%APPDATA%\Kestrel)"
LangString Settings ${LANG_JAPANESE} "設定も削除する (%APPDATA%\Kestrel)"

VIProductVersion "${VERSION}.0.0"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductName" "Kestrel"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileDescription" "Kestrel ${VERSION} Setup"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "CompanyName" "Kestrel developers"
VIAddVersionKey /LANG=${LANG_ENGLISH} "LegalCopyright" "Copyright (c) 2026 Kestrel developers (MIT License)"
VIAddVersionKey /LANG=${LANG_JAPANESE} "ProductName" "Kestrel"
VIAddVersionKey /LANG=${LANG_JAPANESE} "FileDescription" "Kestrel ${VERSION} セットアップ"
VIAddVersionKey /LANG=${LANG_JAPANESE} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_JAPANESE} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_JAPANESE} "CompanyName" "Kestrel developers"
VIAddVersionKey /LANG=${LANG_JAPANESE} "LegalCopyright" "Copyright (c) 2026 Kestrel developers (MIT License)"

; The registry and the shell folders (Start menu) of the mode, and its
; folder unless the user named another.
Function UseMode
  ${If} $AllUsers == 1
    SetShellVarContext all
    ${If} $INSTDIR == ""
    ${OrIf} $INSTDIR == $UserFolder
      StrCpy $INSTDIR $CommonFolder
    ${EndIf}
  ${Else}
    SetShellVarContext current
    ${If} $INSTDIR == ""
    ${OrIf} $INSTDIR == $CommonFolder
      StrCpy $INSTDIR $UserFolder
    ${EndIf}
  ${EndIf}
FunctionEnd

Function IsAdmin
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 == "Admin"
    StrCpy $0 1
  ${Else}
    StrCpy $0 0
  ${EndIf}
FunctionEnd

Function .onInit
  StrCpy $UserFolder "$LOCALAPPDATA\Programs\Kestrel"
  StrCpy $CommonFolder "$PROGRAMFILES64\Kestrel"
  StrCpy $AllUsers 0
  StrCpy $Preset 0
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/AllUsers" $R1
  ${IfNot} ${Errors}
    StrCpy $AllUsers 1
    StrCpy $Preset 1
    Call IsAdmin
    ${If} $0 != 1
      MessageBox MB_ICONSTOP "$(NeedAdmin)" /SD IDOK
      SetErrorLevel 740  ; ERROR_ELEVATION_REQUIRED
      Quit
    ${EndIf}
  ${EndIf}
  ; An earlier installation of the same mode is updated where it is.
  ${If} $INSTDIR == ""
    ${If} $AllUsers == 1
      ReadRegStr $INSTDIR HKLM "${UNINSTALL_KEY}" "InstallLocation"
    ${Else}
      ReadRegStr $INSTDIR HKCU "${UNINSTALL_KEY}" "InstallLocation"
    ${EndIf}
  ${EndIf}
  Call UseMode
FunctionEnd

Function SkipWhenPreset
  ${If} $Preset == 1
    Abort
  ${EndIf}
FunctionEnd

Function ModePage
  Call SkipWhenPreset
  !insertmacro MUI_HEADER_TEXT "$(ModeTitle)" "$(ModeText)"
  nsDialogs::Create 1018
  Pop $0
  ${NSD_CreateRadioButton} 0 12u 100% 12u "$(ForMe)"
  Pop $ForMe
  ${NSD_CreateLabel} 12u 26u -12u 12u "$UserFolder"
  Pop $0
  ${NSD_CreateRadioButton} 0 50u 100% 12u "$(ForAll)"
  Pop $ForAll
  ${NSD_CreateLabel} 12u 64u -12u 12u "$CommonFolder"
  Pop $0
  ${If} $AllUsers == 1
    ${NSD_Check} $ForAll
  ${Else}
    ${NSD_Check} $ForMe
  ${EndIf}
  nsDialogs::Show
FunctionEnd

Function ModePageLeave
  ${NSD_GetState} $ForAll $1
  ${If} $1 != ${BST_CHECKED}
    StrCpy $AllUsers 0
    Call UseMode
    Return
  ${EndIf}
  Call IsAdmin
  ${If} $0 == 1
    StrCpy $AllUsers 1
    Call UseMode
    Return
  ${EndIf}
  ; Start again as an administrator, for every user; this one ends.
  ClearErrors
  ExecShell "runas" "$EXEPATH" "/AllUsers"
  ${If} ${Errors}
    MessageBox MB_ICONEXCLAMATION "$(NeedAdmin)"
    Abort
  ${EndIf}
  Quit
FunctionEnd

Section
  SetOutPath $INSTDIR
  File "${FILES}/kestrel.exe"
  File "${FILES}/kestrel-convert.exe"
  File "${FILES}/kestrel-compare.exe"
  File "${FILES}/kestrel-compare-window.exe"
  File "${FILES}/README.txt"
  File "${FILES}/LICENSE.txt"
  ; kestrel.exe beside its uninstaller keeps its settings in %APPDATA%\Kestrel.
  WriteUninstaller "$INSTDIR\Uninstall.exe"

  CreateShortcut "$SMPROGRAMS\Kestrel.lnk" "$INSTDIR\kestrel.exe"
  ; Send to passes the chosen files to kestrel.exe, which converts them as a batch.
  ; There is no Send to folder for every user: it is the installing user's.
  CreateShortcut "$SENDTO\Kestrel.lnk" "$INSTDIR\kestrel.exe" "" "$INSTDIR\kestrel.exe" 0 \
                 SW_SHOWNORMAL "" "$(SendToText)"
  ; The comparison window; from Send to, it compares the two logs chosen at once.
  CreateShortcut "$SMPROGRAMS\Kestrel 比較.lnk" "$INSTDIR\kestrel-compare-window.exe"
  CreateShortcut "$SENDTO\Kestrel で比較.lnk" "$INSTDIR\kestrel-compare-window.exe" "" \
                 "$INSTDIR\kestrel-compare-window.exe" 0 SW_SHOWNORMAL "" "$(SendToCompareText)"

  ; SHCTX is HKLM for every user and HKCU for one (SetShellVarContext).
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "Kestrel"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "Kestrel developers"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\kestrel.exe"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
  SectionGetSize 0 $0
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

; The uninstaller works in the mode the folder was installed in.
Function un.onInit
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 == $INSTDIR
    StrCpy $AllUsers 1
    SetShellVarContext all
    UserInfo::GetAccountType
    Pop $0
    ${If} $0 != "Admin"
      ; Start again as an administrator, in place (_?=), and end this one.
      ClearErrors
      ExecShell "runas" "$EXEPATH" "_?=$INSTDIR"
      ${If} ${Errors}
        MessageBox MB_ICONSTOP "$(NeedAdmin)" /SD IDOK
        SetErrorLevel 740
      ${EndIf}
      Quit
    ${EndIf}
  ${Else}
    StrCpy $AllUsers 0
    SetShellVarContext current
  ${EndIf}
FunctionEnd

Section "-un.Kestrel"
  Delete "$SMPROGRAMS\Kestrel.lnk"
  Delete "$SENDTO\Kestrel.lnk"
  Delete "$SMPROGRAMS\Kestrel 比較.lnk"
  Delete "$SENDTO\Kestrel で比較.lnk"
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
  Delete "$INSTDIR\kestrel.exe"
  Delete "$INSTDIR\kestrel-convert.exe"
  Delete "$INSTDIR\kestrel-compare.exe"
  Delete "$INSTDIR\kestrel-compare-window.exe"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\Uninstall.exe"
  ; Only when empty: files the user put there stay.
  RMDir "$INSTDIR"
SectionEnd

Section /o "un.$(Settings)"
  ; The uninstalling user's own settings.
  SetShellVarContext current
  Delete "$APPDATA\Kestrel\Kestrel.ini"
  RMDir "$APPDATA\Kestrel"
SectionEnd
