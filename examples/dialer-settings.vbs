' Shows the dialer's settings, and changes them when you give the new values.
'
'   cscript //nologo dialer-settings.vbs [settings-file [entry user password [delay-dial delay-hangup]]]
'
' Without a settings file the script uses %APPDATA%\ZUVezEradez3\dialer.ini. A file name without
' a folder is taken in the current folder here; the component itself takes such a name in the
' Windows folder, so the script hands it the full path. With only the file, the script shows
' what the file holds and changes nothing. With an entry, user and password (and optionally the
' two delays in milliseconds), it writes them to the file, then shows the file. The settings
' functions do not create folders (a write into a missing folder is lost without an error), so
' the script creates the file's folder before it writes. Every call to the component can fail:
' Check after each call says which one failed, with the error's number and description.
Option Explicit
Dim shell, fso, dialer, path, folder, args

Set shell = CreateObject("WScript.Shell")
Set fso = CreateObject("Scripting.FileSystemObject")
Set args = WScript.Arguments
If args.Count <> 0 And args.Count <> 1 And args.Count <> 4 And args.Count <> 6 Then
    WScript.Echo "Usage: cscript //nologo dialer-settings.vbs [settings-file [entry user password [delay-dial delay-hangup]]]"
    WScript.Quit 2
End If
If args.Count > 0 Then
    path = fso.GetAbsolutePathName(args(0))
Else
    path = fso.BuildPath(shell.Environment("PROCESS").Item("APPDATA"), "ZUVezEradez3\dialer.ini")
End If

On Error Resume Next
Set dialer = CreateObject("ZUVezEradez3.QKDialer") : Check "CreateObject"
dialer.IniFilename = path : Check "IniFilename"
Show "Settings as loaded from " & path & ":"
On Error GoTo 0
If args.Count < 4 Then
    If Not fso.FileExists(path) Then WScript.Echo "(the file does not exist yet: these are the defaults)"
    WScript.Quit 0
End If

folder = fso.GetParentFolderName(path)
If Not fso.FolderExists(folder) Then
    CreateFolders folder
    WScript.Echo "Created the folder " & folder
End If
On Error Resume Next
dialer.ADSL = args(1) : Check "ADSL"
dialer.Uid = args(2) : Check "Uid"
dialer.Password = args(3) : Check "Password"
If args.Count = 6 Then
    dialer.DelayDial = CLng(args(4)) : Check "DelayDial"
    dialer.DelayHangup = CLng(args(5)) : Check "DelayHangup"
End If
Show "Settings after assigning them:"
On Error GoTo 0

If fso.FileExists(path) Then
    WScript.Echo "The settings file " & path & " now holds:"
    WScript.Echo fso.OpenTextFile(path).ReadAll
Else
    WScript.Echo "The settings file " & path & " was not written: is its folder writable?"
    WScript.Quit 1
End If

Sub Show(title)
    WScript.Echo title
    WScript.Echo "  IniFilename = " & dialer.IniFilename
    WScript.Echo "  ADSL        = " & dialer.ADSL
    WScript.Echo "  Uid         = " & dialer.Uid
    WScript.Echo "  Password    = " & String(Len(dialer.Password), "*")
    WScript.Echo "  DelayDial   = " & dialer.DelayDial & " ms"
    WScript.Echo "  DelayHangup = " & dialer.DelayHangup & " ms"
End Sub

Sub CreateFolders(name)
    If Not fso.FolderExists(fso.GetParentFolderName(name)) Then CreateFolders fso.GetParentFolderName(name)
    fso.CreateFolder name
End Sub

' Ends the script when the call before it failed.
Sub Check(what)
    If Err.Number <> 0 Then
        WScript.Echo what & " failed: 0x" & Hex(Err.Number) & " " & Err.Description
        WScript.Quit 3
    End If
End Sub
