' Shows and changes the dialer's settings, then prints the settings file they were saved to.
'   cscript //nologo dialer-settings.vbs [settings-file]
' Without an argument the settings live in %APPDATA%\ZUVezEradez3\dialer.ini. The settings
' functions do not create folders (a write into a missing folder is lost without an error), so
' the script creates the file's folder first when it is missing. Every call to the component can
' fail: Check after each call says which one failed, with the error's number and description.
Option Explicit
Dim shell, fso, dialer, path, folder

Set shell = CreateObject("WScript.Shell")
Set fso = CreateObject("Scripting.FileSystemObject")
If WScript.Arguments.Count > 0 Then
    path = WScript.Arguments(0)
    If InStr(path, ":") = 0 And Left(path, 1) <> "\" Then path = fso.BuildPath(shell.CurrentDirectory, path)
Else
    path = fso.BuildPath(shell.Environment("PROCESS").Item("APPDATA"), "ZUVezEradez3\dialer.ini")
End If
folder = fso.GetParentFolderName(path)
If Not fso.FolderExists(folder) Then
    CreateFolders folder
    WScript.Echo "Created the folder " & folder
End If

On Error Resume Next
Set dialer = CreateObject("ZUVezEradez3.QKDialer") : Check "CreateObject"
dialer.IniFilename = path : Check "IniFilename"
Show "Settings as loaded:"
dialer.ADSL = "Broadband Connection" : Check "ADSL"
dialer.Uid = "user01@isp" : Check "Uid"
dialer.Password = "secret" : Check "Password"
dialer.DelayDial = 2000 : Check "DelayDial"
dialer.DelayHangup = 3000 : Check "DelayHangup"
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
