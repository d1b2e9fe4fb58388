' Sweeps the WinINet URL cache with ZUVezEradez3.QKCache: first the normal entries whose URL
' contains a literal text, then those whose URL matches a regular expression, and last a
' malformed expression, which fails before anything is deleted.
'
'   cscript //nologo cache-sweep.vbs [host]
'
' host (default zu-demo.test) confines the sweeps to the entries under http://host/, so that the
' rest of the cache stays as it is; name the host whose entries you want swept. The script adds
' nothing to the cache.
Option Explicit

Const CACHE_NORMAL = 1

Dim host, cache
host = "zu-demo.test"
If WScript.Arguments.Count > 0 Then host = WScript.Arguments(0)

On Error Resume Next
Set cache = CreateObject("ZUVezEradez3.QKCache")
If Err.Number <> 0 Then
    WScript.Echo "CreateObject failed: 0x" & Hex(Err.Number) & " " & Err.Description
    WScript.Quit 3
End If
On Error GoTo 0

' Literal text: matched as it stands, as a substring, letters in any case.
Sweep "literal", "http://" & host & "/ads/", False
' A regular expression: here the pictures whose names end in .gif, in any letter case.
Sweep "regular expression", "^http://" & Replace(host, ".", "\.") & "/.*\.gif$", True
' A malformed expression fails at the first listed URL, with nothing deleted.
Sweep "malformed expression", "(", True

Sub Sweep(kind, pattern, isRegExp)
    WScript.Echo "DelCache CACHE_NORMAL, """ & pattern & """ (" & kind & ")"
    On Error Resume Next
    cache.DelCache CACHE_NORMAL, pattern, isRegExp
    If Err.Number <> 0 Then
        WScript.Echo "  failed: 0x" & Hex(Err.Number) & " " & Err.Description
    Else
        WScript.Echo "  done"
    End If
    On Error GoTo 0
End Sub
