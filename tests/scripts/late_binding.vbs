' Late binding from VBScript: names in any case, defaults, conversions, errors, and the
' settings file round trip.
Option Explicit
Dim failures, fso, ini, d, other, content, x
failures = 0

Sub Check(ok, what)
    If ok Then WScript.Echo "ok - " & what Else failures = failures + 1 : WScript.Echo "not ok - " & what
End Sub

Set fso = CreateObject("Scripting.FileSystemObject")
ini = fso.BuildPath(fso.GetSpecialFolder(2), "zu-" & fso.GetTempName() & ".ini")

Set d = CreateObject("ZUVezEradez3.QKDialer")
Check d.IniFilename = "REZarArerur.ini", "the default settings file name"
d.iniFILENAME = "  " & ini & "  "
Check d.IniFilename = ini, "the file name is stored without its spaces"
Check d.DelayDial = 100 And d.delayhangup = 100, "delays default to 100, names in any case"
Check d.ADSL = "" And d.Uid = "" And d.Password = "", "texts default to empty"
Check Not fso.FileExists(ini), "loading creates no file"

d.ADSL = "  Broadband Connection  "
d.Uid = "user01"
d.Password = "p&ss word"
d.DelayDial = "250"
d.DelayHangup = -5
Check d.ADSL = "Broadband Connection", "the entry name is trimmed"
Check d.DelayDial = 250 And TypeName(d.DelayDial) = "Long", "the text 250 reaches the setter as a number"
Check d.DelayHangup = 0, "a negative delay is stored as 0"

content = fso.OpenTextFile(ini).ReadAll
Check InStr(content, "[Adsl]") > 0 And InStr(content, "[Delay]") > 0, "both sections written"
Check InStr(content, "adsl=Broadband Connection" & vbCrLf) > 0, "entry written trimmed"
Check InStr(content, "password=p&ss word" & vbCrLf) > 0, "password written as plain text"
Check InStr(content, "dial=250" & vbCrLf) > 0 And InStr(content, "hangup=0" & vbCrLf) > 0, "delays written as plain decimals"

Set other = CreateObject("ZUVezEradez3.QKDialer")
other.IniFilename = ini
Check other.ADSL = "Broadband Connection" And other.Uid = "user01" And other.Password = "p&ss word" _
    And other.DelayDial = 250 And other.DelayHangup = 0, "a second object loads what the first wrote"

fso.CreateTextFile(ini, True).Write "[Adsl]" & vbCrLf & "adsl=Edited" & vbCrLf
Check d.ADSL = "Broadband Connection", "a hand edit is not seen before a reload"
d.Reload
Check d.ADSL = "Edited" And d.DelayDial = 100 And d.Password = "", "Reload reads the whole file again"
d.DelayDial = 250
d.Password = "p&ss word"

On Error Resume Next
d.DelayDial = "abc"
Check Err.Number = 13, "a text that is no number is a type mismatch (" & Err.Number & ")"
Err.Clear
Check d.DelayDial = 250, "the setter did not run"
x = d.IsConnected()
Check Err.Number = 449, "a missing required argument is not optional (" & Err.Number & ")"
Err.Clear
d.Password = "line" & vbCrLf & "break"
Check Err.Number = &H80070057, "a line break in a setting is refused (" & Hex(Err.Number) & ")"
Check InStr(Err.Description, "Password") > 0, "the description names the setting: " & Err.Description
Check Err.Source = "ZUVezEradez3.QKDialer", "the source is the ProgID: " & Err.Source
Err.Clear
Check d.Password = "p&ss word", "the refused value changed nothing"
d.ListHomeConnections "."
Check Err.Number = 438, "internal members are not reachable (" & Err.Number & ")"
Err.Clear
On Error GoTo 0

fso.DeleteFile ini
WScript.Quit failures
