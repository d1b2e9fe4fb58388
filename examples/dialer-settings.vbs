' Shows and changes the dialer's settings, then prints the settings file they were saved to.
'   cscript //nologo dialer-settings.vbs [settings-file]
' Without an argument the settings live in REZarArerur.ini in the Windows directory.
Option Explicit
Dim dialer, fso, path

Set dialer = CreateObject("ZUVezEradez3.QKDialer")
If WScript.Arguments.Count > 0 Then dialer.IniFilename = WScript.Arguments(0)

Sub Show(title)
    WScript.Echo title
    WScript.Echo "  IniFilename = " & dialer.IniFilename
    WScript.Echo "  ADSL        = " & dialer.ADSL
    WScript.Echo "  Uid         = " & dialer.Uid
    WScript.Echo "  Password    = " & String(Len(dialer.Password), "*")
    WScript.Echo "  DelayDial   = " & dialer.DelayDial & " ms"
    WScript.Echo "  DelayHangup = " & dialer.DelayHangup & " ms"
End Sub

Show "Settings as loaded:"
dialer.ADSL = "Broadband Connection"
dialer.Uid = "user01@isp"
dialer.Password = "secret"
dialer.DelayDial = 2000
dialer.DelayHangup = 3000
Show "Settings after assigning them:"

Set fso = CreateObject("Scripting.FileSystemObject")
path = dialer.IniFilename
If InStr(path, "\") = 0 Then path = fso.BuildPath(fso.GetSpecialFolder(0), path)
WScript.Echo "The settings file " & path & " now holds:"
WScript.Echo fso.OpenTextFile(path).ReadAll
