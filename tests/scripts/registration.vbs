' Registration as regsvr32 carries it out: what it writes, side by side with the other
' bitness, per user, and that unregistering leaves nothing behind.
' Arguments: this module's path, the other bitness's module path, win32 or win64.
Option Explicit
Dim failures, shell, fso, dll, otherDll, platform
failures = 0

Sub Check(ok, what)
    If ok Then WScript.Echo "ok - " & what Else failures = failures + 1 : WScript.Echo "not ok - " & what
End Sub

Const LIBID = "{B3DAD98E-2918-4C7E-8E69-7A73767AFCDD}"
Const DIALER = "{59D9C9EA-2EA9-4A73-A472-3260D175AFD9}"
Const CACHE = "{9E021486-6ECF-403C-A4BD-77BFE6CB31F2}"
Const IDIALER = "{C7B975A9-FF59-4DA6-91B4-D4CD09D220EF}"
Const ICACHE = "{3E7AB777-664F-4362-9EEB-ACA12CA8FFE9}"
Const MARSHALER = "{00020424-0000-0000-C000-000000000046}"

Set shell = CreateObject("WScript.Shell")
Set fso = CreateObject("Scripting.FileSystemObject")
dll = WScript.Arguments(0)
otherDll = WScript.Arguments(1)
platform = WScript.Arguments(2)

' The value at a registry path, or Empty when it is not there.
Function Reg(path)
    On Error Resume Next
    Reg = shell.RegRead(path)
    If Err.Number <> 0 Then Reg = Empty
End Function

Function Regsvr32(arguments)
    Regsvr32 = shell.Run("regsvr32 /s " & arguments, 0, True)
End Function

Function CanCreate(progId)
    Dim o
    On Error Resume Next
    Set o = CreateObject(progId)
    CanCreate = (Err.Number = 0)
End Function

Sub CheckRegistered(root, what)
    Check Reg(root & "ZUVezEradez3.QKDialer\CLSID\") = DIALER, what & ": dialer ProgID"
    Check Reg(root & "ZUVezEradez3.QKCache\CLSID\") = CACHE, what & ": cache ProgID"
    Check LCase(Reg(root & "CLSID\" & DIALER & "\InprocServer32\")) = LCase(dll), what & ": dialer server path"
    Check Reg(root & "CLSID\" & CACHE & "\InprocServer32\ThreadingModel") = "Apartment", what & ": apartment threaded"
    Check LCase(Reg(root & "TypeLib\" & LIBID & "\1.0\0\" & platform & "\")) = LCase(dll), what & ": type library path"
    Check Reg(root & "Interface\" & IDIALER & "\") = "_QKDialer", what & ": dialer interface"
    Check Reg(root & "Interface\" & ICACHE & "\ProxyStubClsid32\") = MARSHALER, what & ": automation marshaler"
End Sub

Sub CheckNothingLeft(root, what)
    Check IsEmpty(Reg(root & "ZUVezEradez3.QKDialer\")) And IsEmpty(Reg(root & "ZUVezEradez3.QKCache\")), what & ": no ProgID"
    Check IsEmpty(Reg(root & "CLSID\" & DIALER & "\")) And IsEmpty(Reg(root & "CLSID\" & CACHE & "\")), what & ": no class"
    Check IsEmpty(Reg(root & "TypeLib\" & LIBID & "\")), what & ": no type library"
    Check IsEmpty(Reg(root & "Interface\" & IDIALER & "\")) And IsEmpty(Reg(root & "Interface\" & ICACHE & "\")), what & ": no interface"
End Sub

' Only this bitness is registered to begin with; the other one's registration, which a test run
' of the other bitness may rely on, is put back at the end.
Dim otherPlatform, otherWasRegistered
If platform = "win64" Then otherPlatform = "win32" Else otherPlatform = "win64"
otherWasRegistered = Not IsEmpty(Reg("HKCR\TypeLib\" & LIBID & "\1.0\0\" & otherPlatform & "\"))
If fso.FileExists(otherDll) Then Regsvr32 "/u """ & otherDll & """"
CheckRegistered "HKCR\", "registered"
Check CanCreate("ZUVezEradez3.QKDialer") And CanCreate("ZUVezEradez3.QKCache"), "both classes creatable"

Check Regsvr32("/u """ & dll & """") = 0, "unregistering succeeds"
CheckNothingLeft "HKCR\", "unregistered"
Check Not CanCreate("ZUVezEradez3.QKDialer"), "nothing creatable after unregistering"

If fso.FileExists(otherDll) Then
    Check Regsvr32("""" & dll & """") = 0 And Regsvr32("""" & otherDll & """") = 0, "both bitnesses register"
    Check Regsvr32("/u """ & dll & """") = 0, "this bitness unregisters"
    Check Reg("HKCR\ZUVezEradez3.QKDialer\CLSID\") = DIALER, "the other bitness keeps the shared ProgID"
    Check IsEmpty(Reg("HKCR\Interface\" & IDIALER & "\")), "its interface entries, which lie in its own registry view, are gone"
    Check IsEmpty(Reg("HKCR\TypeLib\" & LIBID & "\1.0\0\" & platform & "\")), "this bitness's library path is gone"
    Check LCase(fso.GetAbsolutePathName(Reg("HKCR\TypeLib\" & LIBID & "\1.0\HELPDIR\"))) = LCase(fso.GetAbsolutePathName(fso.GetParentFolderName(otherDll))), "the help folder is the remaining module's"
    Check Regsvr32("/u """ & otherDll & """") = 0, "the other bitness unregisters"
    CheckNothingLeft "HKCR\", "both unregistered"
End If

Check Regsvr32("/n /i:user """ & dll & """") = 0, "per-user registration succeeds"
CheckRegistered "HKCU\Software\Classes\", "per user"
CheckNothingLeft "HKLM\Software\Classes\", "per user, nothing for the machine"

' Registration scope: each scope writes and deletes only its own keys.
Check Regsvr32("""" & dll & """") = 0, "machine registration beside the per-user one succeeds"
CheckRegistered "HKLM\Software\Classes\", "per machine"
CheckRegistered "HKCU\Software\Classes\", "per user, after the machine registration"
Check Regsvr32("/u """ & dll & """") = 0, "machine unregistration succeeds"
CheckNothingLeft "HKLM\Software\Classes\", "per machine unregistered"
CheckRegistered "HKCU\Software\Classes\", "per user, after the machine unregistration"

Check Regsvr32("/u /n /i:user """ & dll & """") = 0, "per-user unregistration succeeds"
CheckNothingLeft "HKCU\Software\Classes\", "per user unregistered"

Check Regsvr32("""" & dll & """") = 0, "registering again succeeds"
CheckRegistered "HKCR\", "registered again"
If otherWasRegistered Then Check Regsvr32("""" & otherDll & """") = 0, "the other bitness registers again"
WScript.Quit failures
