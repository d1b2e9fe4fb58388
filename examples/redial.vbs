' Redials a broadband connection with QKDialer: the entry, user, password and the two pauses
' come from an INI settings file; the script shows them, probes the entry, redials it (hang-up,
' DelayHangup, dial, DelayDial) and reports the result.
'
'   cscript //nologo redial.vbs [settings.ini]
'
' The settings file defaults to redial.ini in the current directory; a name without a folder is
' taken in the current directory too. The script writes no settings: put yours in the file
' first, for example with
'   cscript //nologo dialer-settings.vbs redial.ini "Broadband Connection" user@isp password
' The dialer runs the system's own RasDial.exe from the system folder.
'
' Exit codes: 0 connected, 1 RasRedial returned False (the tool's message is kept in
' QKDialer.tmp, and the script makes no further call, which would replace it), 2 no settings,
' 3 a call to the component failed (the DLL not registered for this host's bitness, RasDial.exe
' missing, the current folder not writable, ...): Check after each call says which one failed,
' with the error's number and description.
Option Explicit

Dim fso, shell, iniPath, dialer, started, result, connected
Set fso = CreateObject("Scripting.FileSystemObject")
Set shell = CreateObject("WScript.Shell")

If WScript.Arguments.Count > 0 Then
    iniPath = fso.GetAbsolutePathName(WScript.Arguments(0))
Else
    iniPath = fso.BuildPath(shell.CurrentDirectory, "redial.ini")
End If
If Not fso.FileExists(iniPath) Then
    WScript.Echo "There is no settings file " & iniPath & "."
    WScript.Echo "Write your entry, user name and password to it first, for example with"
    WScript.Echo "  cscript //nologo dialer-settings.vbs """ & iniPath & """ ""Broadband Connection"" user@isp password"
    WScript.Quit 2
End If

On Error Resume Next
Set dialer = CreateObject("ZUVezEradez3.QKDialer") : Check "CreateObject"
dialer.IniFilename = iniPath : Check "IniFilename"
On Error GoTo 0
If dialer.ADSL = "" Or dialer.Uid = "" Then
    WScript.Echo "The settings file " & iniPath & " names no entry or no user: set ADSL, Uid and Password first."
    WScript.Quit 2
End If

WScript.Echo "Settings from " & dialer.IniFilename
WScript.Echo "  entry        " & dialer.ADSL
WScript.Echo "  user         " & dialer.Uid
WScript.Echo "  password     " & String(Len(dialer.Password), "*")
WScript.Echo "  DelayHangup  " & dialer.DelayHangup & " ms"
WScript.Echo "  DelayDial    " & dialer.DelayDial & " ms"

On Error Resume Next
connected = dialer.IsConnected(dialer.ADSL) : Check "IsConnected"
WScript.Echo "IsConnected   " & connected
WScript.Echo "RasRedial ..."
started = Timer
result = dialer.RasRedial() : Check "RasRedial"
WScript.Echo "RasRedial     " & result & " after " & FormatNumber(Timer - started, 2) & " s"
If Not result Then
    ' Any further call would replace the capture file that holds the tool's message.
    WScript.Echo "The tool's message is in " & fso.BuildPath(shell.CurrentDirectory, "QKDialer.tmp") & "."
    WScript.Echo "The doctor explains it, run from this folder (doctor.js lies beside the DLL, or at the top of the zip):"
    WScript.Echo "  cscript //nologo doctor.js /ini:""" & iniPath & """"
    WScript.Quit 1
End If
connected = dialer.IsConnected(dialer.ADSL) : Check "IsConnected"
WScript.Echo "IsConnected   " & connected
On Error GoTo 0

' Ends the script when the call before it failed, naming the call, the error's number and its
' description.
Sub Check(what)
    If Err.Number <> 0 Then
        WScript.Echo what & " failed: 0x" & Hex(Err.Number) & " " & Err.Description
        WScript.Quit 3
    End If
End Sub
