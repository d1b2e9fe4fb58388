// Redials a broadband connection with QKDialer from JScript, then checks that it is up.
//
//   cscript //nologo redial.js [settings.ini]
//
// The entry, user, password and the two pauses come from the settings file (default: redial.ini
// in the current directory; a name without a folder is taken in the current directory too). The
// script writes no settings: put yours in the file first, for example with
//   cscript //nologo dialer-settings.vbs redial.ini "Broadband Connection" user@isp password
// The dialer runs the system's own RasDial.exe from the system folder.
//
// Exit codes: 0 connected, 1 RasRedial returned False (the tool's message is kept in
// QKDialer.tmp: the script makes no further call, which would replace it), 2 no settings, 3 a
// call to the component failed (the DLL not registered for this host's bitness, RasDial.exe
// missing, the current folder not writable, ...): the script says which call failed, with the
// error's number and description.
var fso = new ActiveXObject("Scripting.FileSystemObject");
var shell = new ActiveXObject("WScript.Shell");
var iniPath = WScript.Arguments.length > 0
    ? fso.GetAbsolutePathName(WScript.Arguments(0))
    : fso.BuildPath(shell.CurrentDirectory, "redial.ini");

if (!fso.FileExists(iniPath)) {
    WScript.Echo("There is no settings file " + iniPath + ".");
    WScript.Echo("Write your entry, user name and password to it first, for example with");
    WScript.Echo("  cscript //nologo dialer-settings.vbs \"" + iniPath + "\" \"Broadband Connection\" user@isp password");
    WScript.Quit(2);
}

var step = "CreateObject", ok = false;
try {
    var dialer = new ActiveXObject("ZUVezEradez3.QKDialer");
    step = "IniFilename";
    dialer.IniFilename = iniPath;
    if (dialer.ADSL === "" || dialer.Uid === "") {
        WScript.Echo("The settings file " + iniPath + " names no entry or no user: set ADSL, Uid and Password first.");
        WScript.Quit(2);
    }
    step = "IsConnected";
    WScript.Echo("Entry " + dialer.ADSL + " connected: " + dialer.IsConnected(dialer.ADSL));
    step = "RasRedial";
    ok = dialer.RasRedial();
    WScript.Echo("RasRedial: " + ok);
    if (!ok) {
        // Any further call would replace the capture file that holds the tool's message.
        WScript.Echo("The tool's message is in " + fso.BuildPath(shell.CurrentDirectory, "QKDialer.tmp") + ".");
        WScript.Echo("The doctor explains it, run from this folder (doctor.js lies beside the DLL, or at the top of the zip):");
        WScript.Echo("  cscript //nologo doctor.js /ini:\"" + iniPath + "\"");
        WScript.Quit(1);
    }
    step = "IsConnected";
    WScript.Echo("Entry " + dialer.ADSL + " connected: " + dialer.IsConnected(dialer.ADSL));
} catch (e) {
    WScript.Echo(step + " failed: 0x" + (e.number >>> 0).toString(16).toUpperCase() + " " + e.description);
    WScript.Quit(3);
}
WScript.Quit(0);
