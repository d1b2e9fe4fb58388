// Redials a broadband connection with QKDialer from JScript, then checks that it is up.
//
//   cscript //nologo redial.js [settings.ini]
//
// The entry, user, password and the two pauses come from the settings file (default: redial.ini
// in the current directory). The dialer runs the system's own RasDial.exe from the system folder.
var fso = new ActiveXObject("Scripting.FileSystemObject");
var shell = new ActiveXObject("WScript.Shell");
var iniPath = WScript.Arguments.length > 0
    ? fso.GetAbsolutePathName(WScript.Arguments(0))
    : fso.BuildPath(shell.CurrentDirectory, "redial.ini");

var dialer = new ActiveXObject("ZUVezEradez3.QKDialer");
dialer.IniFilename = iniPath;
if (dialer.ADSL === "") {
    WScript.Echo("No entry name in " + iniPath + ": set ADSL, Uid and Password first.");
    WScript.Quit(2);
}

WScript.Echo("Entry " + dialer.ADSL + " connected: " + dialer.IsConnected(dialer.ADSL));
var ok = false, failure = null;
try {
    ok = dialer.RasRedial();
} catch (e) {
    failure = e;
}
if (failure) {
    // A failure carries the HRESULT and a description, e.g. RasDial.exe not found.
    WScript.Echo("RasRedial failed: 0x" + (failure.number >>> 0).toString(16) + " " +
                 failure.description);
    WScript.Quit(3);
}
WScript.Echo("RasRedial: " + ok);
WScript.Echo("Entry " + dialer.ADSL + " connected: " + dialer.IsConnected(dialer.ADSL));
WScript.Quit(ok ? 0 : 1);
