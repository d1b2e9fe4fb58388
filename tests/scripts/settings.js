// Late binding from JScript: the same object seen from another script engine.
var failures = 0;
function check(ok, what) {
    WScript.Echo((ok ? "ok - " : "not ok - ") + what);
    if (!ok) failures++;
}

var fso = new ActiveXObject("Scripting.FileSystemObject");
var ini = fso.BuildPath(fso.GetSpecialFolder(2), "zu-" + fso.GetTempName() + ".ini");

var d = new ActiveXObject("ZUVezEradez3.QKDialer");
d.IniFilename = ini;
d.ADSL = "My Entry";
d.DelayHangup = 3000;
d.IniFilename = ini;
check(d.DelayHangup === 3000, "a written delay survives assigning the same file again");
check(d.ADSL === "My Entry", "a written entry survives it too");
d.DelayDial = "17";
check(d.DelayDial === 17, "a numeric text converts to a number");

try {
    d.Uid = "a\nb";
    check(false, "a line break in the user name is refused");
} catch (e) {
    check((e.number >>> 0) === 0x80070057, "E_INVALIDARG for a line break (" + (e.number >>> 0).toString(16) + ")");
    check(e.description.indexOf("Uid") >= 0, "the description names the setting: " + e.description);
}
check(d.Uid === "", "the user name is unchanged");

var cache = new ActiveXObject("ZUVezEradez3.QKCache");
check(typeof cache === "object", "QKCache is creatable");

fso.DeleteFile(ini);
WScript.Quit(failures);
