// Redials a broadband connection with QKDialer from JScript, then checks that it is up.
//
//   cscript //nologo redial.js [settings.ini]
//
// The entry, user, password and the two pauses come from the settings file (default: redial.ini
// in the current directory). The dialer runs the system's own RasDial.exe from the system folder.
// Every call to the component can fail (the DLL not registered for this host's bitness,
// RasDial.exe missing, the current folder not writable, ...): the script says which call failed,
// with the error's number and description, and exits with 3.
var fso = new ActiveXObject("Scripting.FileSystemObject");
var shell = new ActiveXObject("WScript.Shell");
var iniPath = WScript.Arguments.length > 0
    ? fso.GetAbsolutePathName(WScript.Arguments(0))
    : fso.BuildPath(shell.CurrentDirectory, "redial.ini");

var step = "CreateObject", ok = false;
try {
    var dialer = new ActiveXObject("ZUVezEradez3.QKDialer");
    step = "IniFilename";
    dialer.IniFilename = iniPath;
    if (dialer.ADSL === "") {
        WScript.Echo("No entry name in " + iniPath + ": set ADSL, Uid and Password first.");
        WScript.Quit(2);
    }
    step = "IsConnected";
    WScript.Echo("Entry " + dialer.ADSL + " connected: " + dialer.IsConnected(dialer.ADSL));
    step = "RasRedial";
    ok = dialer.RasRedial();
    WScript.Echo("RasRedial: " + ok);
    if (!ok) {
        WScript.Echo("The tool's message is in " + fso.BuildPath(shell.CurrentDirectory, "QKDialer.tmp") +
                     "; doctor.js explains it.");
    }
    step = "IsConnected";
    WScript.Echo("Entry " + dialer.ADSL + " connected: " + dialer.IsConnected(dialer.ADSL));
} catch (e) {
    WScript.Echo(step + " failed: 0x" + (e.number >>> 0).toString(16).toUpperCase() + " " + e.description);
    WScript.Quit(3);
}
WScript.Quit(ok ? 0 : 1);
