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
Option Explicit

Dim fso, shell, iniPath, dialer, started, result
Set fso = CreateObject("Scripting.FileSystemObject")
Set shell = CreateObject("WScript.Shell")

If WScript.Arguments.Count > 0 Then
    iniPath = fso.GetAbsolutePathName(WScript.Arguments(0))
Else
    iniPath = fso.BuildPath(shell.CurrentDirectory, "redial.ini")
End If

Set dialer = CreateObject("ZUVezEradez3.QKDialer")
dialer.IniFilename = iniPath
If Not fso.FileExists(iniPath) Then
    dialer.ADSL = "Broadband Connection"
    dialer.Uid = "user01"
    dialer.Password = "p@ss & word"
    dialer.DelayHangup = 1500
    dialer.DelayDial = 1000
    WScript.Echo "Wrote demonstration settings to " & iniPath
End If

WScript.Echo "Settings from " & dialer.IniFilename
WScript.Echo "  entry        " & dialer.ADSL
WScript.Echo "  user         " & dialer.Uid
WScript.Echo "  password     " & String(Len(dialer.Password), "*")
WScript.Echo "  DelayHangup  " & dialer.DelayHangup & " ms"
WScript.Echo "  DelayDial    " & dialer.DelayDial & " ms"

WScript.Echo "IsConnected   " & dialer.IsConnected(dialer.ADSL)
WScript.Echo "RasRedial ..."
started = Timer
result = dialer.RasRedial()
WScript.Echo "RasRedial     " & result & " after " & FormatNumber(Timer - started, 2) & " s"
WScript.Echo "IsConnected   " & dialer.IsConnected(dialer.ADSL)

ShowToolLog

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
