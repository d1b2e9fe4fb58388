' Redials a broadband connection with QKDialer: the entry, user, password and the two pauses
' come from an INI settings file; the script shows them, probes the entry, redials it (hang-up,
' DelayHangup, dial, DelayDial) and reports the result.
'
'   cscript //nologo redial.vbs [settings.ini]
'
' The settings file defaults to redial.ini in the current directory. When it does not exist yet, the
' script assigns demonstration settings, which the dialer writes to it. The dialer runs the
' system's own RasDial.exe from the system folder. When the directory of the RasDial.exe stand-in
' used by the tests (RASDIAL_SIM_DIR, or else the current directory) holds its calls.log, the
' script ends by listing the argument vectors that the tool received.
'
' Every call to the component can fail (the DLL not registered for this host's bitness,
' RasDial.exe missing, the current folder not writable, ...): Check after each call says which
' one failed, with the error's number and description, and ends the script with exit code 3.
Option Explicit

Dim fso, shell, iniPath, dialer, started, result, connected
Set fso = CreateObject("Scripting.FileSystemObject")
Set shell = CreateObject("WScript.Shell")

If WScript.Arguments.Count > 0 Then
    iniPath = fso.GetAbsolutePathName(WScript.Arguments(0))
Else
    iniPath = fso.BuildPath(shell.CurrentDirectory, "redial.ini")
End If
' The settings functions create no folder: a setting written into a missing one would be lost.
If Not fso.FolderExists(fso.GetParentFolderName(iniPath)) Then
    WScript.Echo "The folder of " & iniPath & " does not exist: create it first."
    WScript.Quit 2
End If

On Error Resume Next
Set dialer = CreateObject("ZUVezEradez3.QKDialer") : Check "CreateObject"
dialer.IniFilename = iniPath : Check "IniFilename"
If Not fso.FileExists(iniPath) Then
    dialer.ADSL = "Broadband Connection" : Check "ADSL"
    dialer.Uid = "user01" : Check "Uid"
    dialer.Password = "p@ss & word" : Check "Password"
    dialer.DelayHangup = 1500 : Check "DelayHangup"
    dialer.DelayDial = 1000 : Check "DelayDial"
    WScript.Echo "Wrote demonstration settings to " & iniPath
End If

WScript.Echo "Settings from " & dialer.IniFilename
WScript.Echo "  entry        " & dialer.ADSL
WScript.Echo "  user         " & dialer.Uid
WScript.Echo "  password     " & String(Len(dialer.Password), "*")
WScript.Echo "  DelayHangup  " & dialer.DelayHangup & " ms"
WScript.Echo "  DelayDial    " & dialer.DelayDial & " ms"

connected = dialer.IsConnected(dialer.ADSL) : Check "IsConnected"
WScript.Echo "IsConnected   " & connected
WScript.Echo "RasRedial ..."
started = Timer
result = dialer.RasRedial() : Check "RasRedial"
WScript.Echo "RasRedial     " & result & " after " & FormatNumber(Timer - started, 2) & " s"
If Not result Then WScript.Echo "The tool's message is in " & fso.BuildPath(shell.CurrentDirectory, "QKDialer.tmp") & "; doctor.js explains it."
connected = dialer.IsConnected(dialer.ADSL) : Check "IsConnected"
WScript.Echo "IsConnected   " & connected
On Error GoTo 0

ShowToolLog

' Ends the script when the call before it failed, naming the call, the error's number and its
' description.
Sub Check(what)
    If Err.Number <> 0 Then
        WScript.Echo what & " failed: 0x" & Hex(Err.Number) & " " & Err.Description
        WScript.Quit 3
    End If
End Sub

' The stand-in's log: one run a line, its start time, argument count and arguments.
Sub ShowToolLog()
    Dim dir, logPath, stream, fields, i, line
    dir = shell.ExpandEnvironmentStrings("%RASDIAL_SIM_DIR%")
    If dir = "%RASDIAL_SIM_DIR%" Or dir = "" Then dir = shell.CurrentDirectory
    logPath = fso.BuildPath(dir, "calls.log")
    If Not fso.FileExists(logPath) Then Exit Sub
    WScript.Echo "RasDial.exe received:"
    Set stream = fso.OpenTextFile(logPath, 1)
    Do Until stream.AtEndOfStream
        fields = Split(stream.ReadLine, vbTab)
        If UBound(fields) = 1 Then
            line = "  (no arguments)"
        Else
            line = " "
            For i = 2 To UBound(fields)
                line = line & " [" & fields(i) & "]"
            Next
        End If
        WScript.Echo line
    Loop
    stream.Close
End Sub
