// ZUVezEradez3 doctor: explains why a call of the component answers False or fails.
//
//   cscript //nologo doctor.js [/ini:PATH] [/probe]
//
// It checks what a host of its own bitness meets: C:\Windows\System32\cscript.exe is the 64-bit
// host on 64-bit Windows, C:\Windows\SysWOW64\cscript.exe the 32-bit one. One line per check:
// "ok", "note" (worth knowing, not wrong) or "PROBLEM" with what to do. The exit code is the
// number of problems found; /? prints the usage and exits with 0.
//
//   /ini:PATH  the settings file to check (default: the component's default, REZarArerur.ini in
//              the Windows folder); give the IniFilename your scripts assign
//   /probe     also asks the dial-up tool once whether the stored entry is connected
//
// It changes nothing, except that it makes and deletes a test file in the settings file's folder
// and in the current folder, and that /probe runs RasDial.exe through the component, which
// replaces a capture file left in the current folder (the doctor reads that file first).
// Written in JScript: VBScript is an optional feature of Windows from Windows 11 24H2 on and is
// being removed, while the script host and JScript stay.

var CLASSES = [
    {name: "QKDialer", progId: "ZUVezEradez3.QKDialer", clsid: "{59D9C9EA-2EA9-4A73-A472-3260D175AFD9}"},
    {name: "QKCache", progId: "ZUVezEradez3.QKCache", clsid: "{9E021486-6ECF-403C-A4BD-77BFE6CB31F2}"}
];
var LIBRARY = {name: "ZUVezEradez3", key: "Software\\Classes\\TypeLib\\{B3DAD98E-2918-4C7E-8E69-7A73767AFCDD}\\1.0"};
var DEFAULT_INI = "REZarArerur.ini";
var CAPTURE = "QKDialer.tmp";
var SCOPES = [{name: "machine", root: "HKLM"}, {name: "user", root: "HKCU"}];
// Where a Windows Installer package of the component remembers the folder it installed a build
// to, in the registry view of that build's bitness.
var PACKAGE_KEY = "Software\\ZUVezEradez3";
var USAGE = ["usage: cscript //nologo doctor.js [/ini:PATH] [/probe]",
             "  /ini:PATH  the settings file to check (default: REZarArerur.ini in the Windows folder);",
             "             give the IniFilename your scripts assign",
             "  /probe     also asks the dial-up tool once whether the stored entry is connected",
             "The exit code is the number of problems found, 0 when all is well."].join("\r\n");
var ENTRY_NAME_RULE = "an entry name must be the connection's name exactly as Network Connections shows it, and a connection made 'for me only' belongs to the user who made it";

// What the common Remote Access errors of a broadband dial mean, and what helps.
var RAS_ERRORS = {
    623: "the phone book has no entry of that name: " + ENTRY_NAME_RULE,
    628: "the connection was closed before it was complete: the provider's side hung up; check the user name's form (user@isp) and try again",
    629: "the connection was closed by the remote computer: the provider ended it, often because the account is already connected elsewhere or was refused",
    633: "the modem or other connecting device is already in use or not configured: another connection or program uses it; hang that up or restart",
    651: "the modem (or other connecting device) reported an error: the DSL modem has no line, is off, or its network adapter driver failed; restart the modem",
    678: "the remote computer did not respond: no broadband access server answered; check the modem, the cable and that the right network adapter is enabled",
    691: "the user name or password was not accepted: check Uid and Password (letter case counts), or whether the account is locked or unpaid",
    711: "the Remote Access Connection Manager service could not start: start the service (RasMan) and its dependencies",
    718: "the remote computer did not answer in time: the provider's server is busy or failing; try again later",
    720: "no PPP control protocol could be agreed: enable Internet Protocol (TCP/IPv4) in the connection's properties, or repair the network settings",
    734: "the PPP link control protocol was ended: the connection's security settings (encryption, authentication) do not match the provider's",
    756: "this connection is already being dialled: wait for the other dial to end",
    769: "the destination is not reachable: the network adapter is disabled or unplugged",
    815: "the broadband server is not responding: as 678, check the modem, the line and the network adapter",
    868: "the name of the remote access server did not resolve: the server name in the connection or the name resolution (DNS) is wrong"
};

var shell = new ActiveXObject("WScript.Shell");
var fso = new ActiveXObject("Scripting.FileSystemObject");
var problems = 0;

function ok(text) {
    WScript.Echo("ok       " + text);
}

function note(text) {
    WScript.Echo("note     " + text);
}

function problem(text, remedy) {
    problems++;
    WScript.Echo("PROBLEM  " + text + (remedy ? ". Fix: " + remedy : ""));
}

function hex(number) {
    var digits = (number >>> 0).toString(16).toUpperCase();
    while (digits.length < 8) digits = "0" + digits;
    return "0x" + digits;
}

function describe(error) {
    return hex(error.number) + (error.description ? " " + error.description : "");
}

function quoted(text) {
    return "\"" + text + "\"";
}

function options() {
    var result = {ini: null, probe: false};
    for (var i = 0; i < WScript.Arguments.length; i++) {
        var argument = WScript.Arguments(i), match = /^[\/-]ini:(.*)$/i.exec(argument);
        if (match) result.ini = match[1].replace(/^"(.*)"$/, "$1");
        else if (/^[\/-]probe$/i.test(argument)) result.probe = true;
        else if (/^[\/-](\?|h|help)$/i.test(argument)) {
            WScript.Echo(USAGE);
            WScript.Quit(0);
        } else {
            WScript.Echo("unknown argument " + quoted(argument) + "\r\n" + USAGE);
            WScript.Quit(1);
        }
    }
    return result;
}

// The host's bitness and the system's: a 32-bit process on 64-bit Windows sees
// PROCESSOR_ARCHITECTURE x86 and the machine's architecture in PROCESSOR_ARCHITEW6432.
function hostInfo() {
    var env = shell.Environment("PROCESS");
    var bits = env.Item("PROCESSOR_ARCHITECTURE").toUpperCase() === "X86" ? 32 : 64;
    var windowsBits = bits === 64 || env.Item("PROCESSOR_ARCHITEW6432") !== "" ? 64 : 32;
    var windows = fso.GetSpecialFolder(0).Path;
    return {bits: bits, windowsBits: windowsBits, windows: windows, system: fso.GetSpecialFolder(1).Path,
            wow64: bits === 32 && windowsBits === 64};
}

// String values of one registry view (32- or 64-bit). WScript.Shell reads the host's own view,
// and a 64-bit host reaches the 32-bit view of the class keys under Wow6432Node. A 32-bit host
// reaches the 64-bit view only through a 64-bit program: the 64-bit reg.exe, started through
// Sysnative, exports the keys it asks about. (WMI's StdRegProv serves both
// views too, but its methods hand their values back through out-parameters, which JScript
// cannot take, and Wine 8 lacks the Methods_ collection that ExecMethod_ needs instead.)
function RegistryView(bits, host) {
    this.bits = bits;
    this.host = host;
    this.answers = null;
}

// Where the 32-bit view keeps a key when seen from the 64-bit side: class keys below the
// classes' Wow6432Node, the rest of Software below Software\Wow6432Node.
function wow64Key(key) {
    if (/^Software\\Classes\\/i.test(key)) {
        return key.replace(/^Software\\Classes\\CLSID\\/i, "Software\\Classes\\Wow6432Node\\CLSID\\");
    }
    return key.replace(/^Software\\/i, "Software\\Wow6432Node\\");
}

// The value NAME of a key (its default value when NAME is omitted), or null when it is not there.
RegistryView.prototype.read = function (root, key, name) {
    name = name || "";
    if (this.bits === this.host.bits) return readShell(root + "\\" + key + "\\" + name);
    if (this.host.bits === 64) return readShell(root + "\\" + wow64Key(key) + "\\" + name);
    var values = this.answers || (this.answers = queryNative(this.questions()));
    values = values[(root + "\\" + key).toLowerCase()];
    return values && name.toLowerCase() in values ? values[name.toLowerCase()] : null;
};

// Every key that the checks ask the 64-bit view about.
RegistryView.prototype.questions = function () {
    var keys = ["HKLM\\" + PACKAGE_KEY];
    for (var i = 0; i < CLASSES.length; i++) {
        for (var s = 0; s < SCOPES.length; s++) keys.push(SCOPES[s].root + "\\" + inprocKey(CLASSES[i]));
    }
    return keys;
};

function inprocKey(cls) {
    return "Software\\Classes\\CLSID\\" + cls.clsid + "\\InprocServer32";
}

function readShell(path) {
    try {
        return shell.RegRead(path);
    } catch (e) {
        return null;
    }
}

// Asks the 64-bit reg.exe (started directly, no command interpreter between) to export each key
// to a temporary file, and reads the key's own string values (@= is the default one, "NAME"= a
// named one) back from its Unicode text, up to the first subkey. Answers by key and value name,
// in lower case.
function queryNative(keys) {
    var answers = {}, reg = fso.BuildPath(fso.GetSpecialFolder(0).Path, "Sysnative\\reg.exe");
    for (var i = 0; i < keys.length; i++) {
        var output = fso.BuildPath(fso.GetSpecialFolder(2).Path, "QKDoctor-" + fso.GetTempName());
        shell.Run(quoted(reg) + " export " + quoted(keys[i]) + " " + quoted(output) + " /y", 0, true);
        if (!fso.FileExists(output)) continue;
        var file = fso.OpenTextFile(output, 1, false, -1), lines = file.ReadAll().split(/\r\n|\r|\n/);
        file.Close();
        fso.DeleteFile(output);
        var values = answers[keys[i].toLowerCase()] = {}, headers = 0;
        for (var l = 0; l < lines.length && headers < 2; l++) {
            if (/^\[/.test(lines[l])) headers++;
            var value = /^(@|"((?:[^"\\]|\\.)*)")="(.*)"\s*$/.exec(lines[l]);
            if (value) values[value[1] === "@" ? "" : value[2].replace(/\\(.)/g, "$1").toLowerCase()] = value[3].replace(/\\(.)/g, "$1");
        }
    }
    return answers;
}

// A registered path as this host can open it: a 32-bit host on 64-bit Windows reaches the real
// System32 only as Sysnative.
function pathForHost(path, host, bits) {
    path = path.replace(/^"(.*)"$/, "$1");
    if (path.indexOf("%") >= 0) path = shell.ExpandEnvironmentStrings(path).replace(/\0/g, "");
    var system32 = host.windows + "\\System32\\";
    if (host.wow64 && bits === 64 && path.substr(0, system32.length).toLowerCase() === system32.toLowerCase()) {
        return host.windows + "\\Sysnative\\" + path.substr(system32.length);
    }
    return path;
}

function fileVersion(path) {
    try {
        return fso.GetFileVersion(path) || "no version";
    } catch (e) {
        return "no version";
    }
}

// The package for this Windows: the x64 one carries both builds.
function packageArch(host) {
    return host.windowsBits === 64 ? "x64" : "x86";
}

function regsvr32(bits, host) {
    return host.windows + (bits === 32 && host.windowsBits === 64 ? "\\SysWOW64" : "\\System32") + "\\regsvr32.exe";
}

// A copy of the build of that bitness that can be registered by its full path: beside this
// doctor in the unpacked zip, or where install.cmd puts it (per machine or per user).
function buildCopy(bits, host) {
    var env = shell.Environment("PROCESS"), arch = bits === 64 ? "x64" : "x86", name = "ZUVezEradez3.dll";
    var here = fso.GetParentFolderName(WScript.ScriptFullName);
    var machine = host.windowsBits === 32 ? env.Item("ProgramFiles") : env.Item(bits === 64 ? "ProgramW6432" : "ProgramFiles(x86)");
    var copies = [{path: fso.BuildPath(here, arch + "\\" + name), zip: here},
                  {path: fso.BuildPath(machine, "ZUVezEradez3\\" + name)},
                  {path: fso.BuildPath(env.Item("LOCALAPPDATA"), "Programs\\ZUVezEradez3\\" + arch + "\\" + name), user: true}];
    for (var i = 0; i < copies.length; i++) {
        if (/^([a-z]:)?\\/i.test(copies[i].path) && fso.FileExists(pathForHost(copies[i].path, host, bits))) return copies[i];
    }
    return null;
}

// What mends a registration of that bitness, as fits where the component came from: a package
// is repaired; a copy from the zip or from install.cmd is registered again by its full path.
function fixHint(bits, host) {
    var arch = packageArch(host);
    if (host.views[bits].read("HKLM", PACKAGE_KEY, "InstallDir") !== null) {
        return "repair the " + arch + " package from an elevated prompt: in Programs and Features (appwiz.cpl) select " +
               "\"ZUVezEradez3 ... (" + arch + ")\" and choose Repair, or run msiexec /fa with the package's .msi file";
    }
    var copy = buildCopy(bits, host);
    if (copy === null) return "install the " + arch + " package, or run install.cmd from the unpacked release zip";
    var command = regsvr32(bits, host) + (copy.user ? " /n /i:user " : " ") + quoted(copy.path);
    if (copy.zip) {
        return "run " + quoted(fso.BuildPath(copy.zip, "install.cmd")) + " from an elevated prompt (it copies the DLLs to Program Files and registers them there), or register this copy where it lies: " + command;
    }
    return "register the installed copy again" + (copy.user ? ": " : " from an elevated prompt: ") + command;
}

function registerHint(bits, host) {
    var hosts = bits === 64 ? "64-bit hosts (the default cscript.exe, 64-bit PowerShell, Python, Office)"
                            : "32-bit hosts (" + host.windows + "\\SysWOW64\\cscript.exe, 32-bit Office, VB6)";
    return (host.windowsBits === 64 ? hosts : "hosts") + " cannot create it; " + fixHint(bits, host);
}

// One line per class and bitness: the scope, path and file version of its registration. The
// documented rule: HKEY_CLASSES_ROOT merges the machine's classes (HKLM\Software\Classes) with the
// user's (HKCU\Software\Classes), and the user's entry wins. Wine 8's COM reads only the machine's,
// so under Wine a class registered for the user alone is not created. Answers the registrations
// found, the one that wins last.
function checkRegistration(cls, view, host) {
    var label = cls.name + ", " + view.bits + "-bit", found = [];
    for (var i = 0; i < SCOPES.length; i++) {
        var path = view.read(SCOPES[i].root, inprocKey(cls));
        if (path) found.push({scope: SCOPES[i].name, path: path});
    }
    if (found.length === 0) {
        problem(label + ": not registered", registerHint(view.bits, host));
        return found;
    }
    var used = found[found.length - 1], file = pathForHost(used.path, host, view.bits);
    var text = label + ": registered for the " + used.scope + ", " + used.path;
    if (found.length > 1) text += " (also for the machine: " + found[0].path + "; the user's registration wins)";
    if (!fso.FileExists(file)) {
        problem(text + ", but that file is not there", fixHint(view.bits, host));
    } else {
        ok(text + ", file version " + fileVersion(file));
    }
    return found;
}

// The ProgID is shared by both bitnesses; without it CreateObject cannot find the class.
function checkProgId(cls, host) {
    for (var i = 0; i < SCOPES.length; i++) {
        if (readShell(SCOPES[i].root + "\\Software\\Classes\\" + cls.progId + "\\CLSID\\") === cls.clsid) return;
    }
    problem("the ProgID " + cls.progId + " is not registered: CreateObject(" + quoted(cls.progId) + ") cannot find the class",
            fixHint(host.bits, host));
}

// A value of the type library's registration, for the machine or the user. The library's keys
// are shared by both bitnesses.
function libraryValue(subkey) {
    for (var i = 0; i < SCOPES.length; i++) {
        var value = readShell(SCOPES[i].root + "\\" + LIBRARY.key + "\\" + (subkey ? subkey + "\\" : ""));
        if (value !== null) return value;
    }
    return null;
}

// The type library's registration: its name, FLAGS and HELPDIR, and the path of each registered
// build (win32, win64). Hosts that bind early (VBA's and VB6's References) find the library by
// it, and a call from another apartment is marshalled through the library that it names.
function checkTypeLib(registeredBits, host) {
    var missing = [], absent = [], parts = [{key: "", name: "its name"}, {key: "FLAGS", name: "FLAGS"}, {key: "HELPDIR", name: "HELPDIR"}];
    for (var i = 0; i < parts.length; i++) {
        if (libraryValue(parts[i].key) === null) missing.push(parts[i].name);
    }
    for (var b = 0; b < registeredBits.length; b++) {
        var platform = "win" + registeredBits[b], path = libraryValue("0\\" + platform);
        if (path === null) missing.push("the " + registeredBits[b] + "-bit build's path (0\\" + platform + ")");
        else if (!fso.FileExists(pathForHost(path, host, registeredBits[b]))) absent.push("its " + platform + " path names " + path + ", which is not there");
    }
    var where = "the type library " + LIBRARY.name + "'s registration (HKEY_CLASSES_ROOT\\" + LIBRARY.key.replace(/^Software\\Classes\\/, "") + ")";
    if (missing.length + absent.length === 0) {
        ok(where + " is complete");
        return;
    }
    var bits = registeredBits.length > 0 ? registeredBits[0] : host.bits;
    if (missing.length) absent.unshift("lacks " + missing.join(", "));
    problem(where + " " + absent.join("; ") + ": early-bound hosts and calls from other apartments cannot use the library",
            fixHint(bits, host));
}

function create(progId) {
    try {
        return {object: new ActiveXObject(progId)};
    } catch (e) {
        return {error: e};
    }
}

// FOUND: the class's registrations for this host's bitness, the winning one last.
function checkCreation(cls, host, found) {
    var made = create(cls.progId), what = "CreateObject(" + quoted(cls.progId) + ")";
    if (made.object) {
        ok(what + " works in this " + host.bits + "-bit host");
    } else if (found.length > 0 && found[found.length - 1].scope === "user") {
        problem(what + " fails in this " + host.bits + "-bit host: " + describe(made.error) +
                "; the class is registered for the user (HKCU\\Software\\Classes), but per-user registration is not honoured on this system (Wine's COM, for one, reads only HKLM\\Software\\Classes)",
                "register it for the machine instead: install the " + packageArch(host) + " package, or run install.cmd without /user from an elevated prompt");
    } else {
        problem(what + " fails in this " + host.bits + "-bit host: " + describe(made.error),
                "register the " + host.bits + "-bit build (see above), or run your script with the cscript.exe of the bitness that is registered");
    }
    return made.object || null;
}

function checkTool(host) {
    var tool = fso.BuildPath(host.system, "RasDial.exe");
    var shown = host.wow64 ? host.windows + "\\SysWOW64\\RasDial.exe (which this 32-bit host reaches as " + tool + ")" : tool;
    if (fso.FileExists(tool)) {
        ok("the dial-up tool is there: " + shown);
    } else {
        problem("the dial-up tool is missing: " + shown + "; every IsConnected, RasDial and RasHangup fails with 0x80070002",
                "rasdial.exe is a file of Windows itself, and belongs in %SystemRoot%\\System32\\rasdial.exe (for 32-bit hosts on 64-bit Windows, %SystemRoot%\\SysWOW64\\rasdial.exe); " +
                "restore Windows' own files (sfc /scannow from an elevated prompt), or use a Windows edition or image that includes it (some Server Core and container images do not); " +
                "copies elsewhere, in the current folder or on PATH, are deliberately not used");
    }
}

// Where the profile functions put a file: a name without a folder lives in the Windows folder,
// anything else is resolved against the current folder.
function settingsPath(name, host) {
    if (!/[\\\/]/.test(name)) return fso.BuildPath(host.windows, name);
    if (/^([a-z]:)?[\\\/]/i.test(name)) return name;
    return fso.BuildPath(shell.CurrentDirectory, name);
}

// The settings as the profile functions read them from the file's ANSI text: sections and keys
// in any letter case, the first of each counting, white space around keys and values and one
// pair of enclosing quotes removed.
function readIni(path) {
    var values = {}, section = null, text = "";
    if (fso.GetFile(path).Size > 0) {
        var stream = fso.OpenTextFile(path, 1, false, 0);
        text = stream.ReadAll();
        stream.Close();
    }
    var lines = text.split(/\r\n|\r|\n/);
    for (var i = 0; i < lines.length; i++) {
        var line = lines[i].replace(/^\s+|\s+$/g, ""), header = /^\[([^\]]*)\]/.exec(line);
        if (header) {
            section = header[1].replace(/^\s+|\s+$/g, "").toLowerCase();
            continue;
        }
        var equals = line.indexOf("=");
        if (section === null || equals < 0) continue;
        var key = section + "/" + line.substr(0, equals).replace(/\s+$/, "").toLowerCase();
        var value = line.substr(equals + 1).replace(/^\s+/, "");
        if (/^(["']).*\1$/.test(value) && value.length > 1) value = value.substr(1, value.length - 2);
        if (!(key in values)) values[key] = value;
    }
    return values;
}

function delay(values, key) {
    if (!(key in values)) return 100;
    var value = /^[+-]?\d+$/.test(values[key]) ? parseInt(values[key], 10) : 0;
    return value > 0 && value <= 2147483647 ? value : 0;
}

function storedSettings(dialer, path) {
    if (dialer) {
        return {entry: dialer.ADSL, user: dialer.Uid, password: dialer.Password !== "", dial: dialer.DelayDial,
                hangup: dialer.DelayHangup, source: "read through the component"};
    }
    var values = {};
    try {
        if (fso.FileExists(path)) values = readIni(path);
    } catch (e) {
        problem("the settings file " + path + " cannot be read (" + describe(e) + "): another program may hold it open",
                "close the program that holds it, then run the doctor again");
    }
    function text(key) { return key in values ? values[key] : ""; }
    return {entry: text("adsl/adsl"), user: text("adsl/uid"), password: text("adsl/password") !== "",
            dial: delay(values, "delay/dial"), hangup: delay(values, "delay/hangup"),
            source: "read from the file, as the component would"};
}

// A settings file that does not exist yet is normal before the first setting is assigned; what
// matters is that its folder can take it then.
function checkNewSettingsFile(where, folder) {
    var refused = folderRefusal(folder);
    if (refused) {
        problem(where + " does not exist yet, and its folder " + folder + " cannot take a file (" + describe(refused) +
                "): every setting assigned is lost, and no error says so",
                "give IniFilename a file in a folder that this account can write (under %APPDATA%, for example)");
    } else {
        note(where + " does not exist yet: no entry, user or password is stored until one is assigned, which creates it " +
             "(its folder can hold it); scripts that assign IniFilename use their own file: run the doctor with /ini:PATH");
    }
}

function checkSettings(dialer, requested, host) {
    var name = requested === null ? DEFAULT_INI : requested;
    if (dialer && requested !== null) {
        try {
            dialer.IniFilename = requested;
        } catch (e) {
            problem("the component refuses the settings file name " + quoted(requested) + ": " + describe(e),
                    "use a shorter name, without line breaks or characters the ANSI code page cannot hold");
            return null;
        }
    }
    name = dialer ? dialer.IniFilename : name.replace(/^ +| +$/g, "");
    var path = settingsPath(name, host), folder = fso.GetParentFolderName(path);
    var where = "the settings file " + path + (/[\\\/]/.test(name) ? "" : " (a name without a folder means the Windows folder)");
    var exists = false;
    if (!fso.FolderExists(folder)) {
        problem(where + ": its folder " + folder + " does not exist, and the settings functions do not create folders, so every setting assigned is lost",
                "create the folder (mkdir " + quoted(folder) + ") or give IniFilename a file in a folder that exists");
    } else if (!fso.FileExists(path)) {
        checkNewSettingsFile(where, folder);
    } else if (fso.GetFile(path).Attributes & 1) {
        exists = true;
        problem(where + " is read-only: settings assigned are not saved, and no error says so",
                "clear the read-only attribute (attrib -r " + quoted(path) + ")");
    } else {
        exists = true;
        ok(where + " exists and is writable as far as its attributes go");
    }
    var stored = storedSettings(dialer, path);
    var text = "stored settings (" + stored.source + "): entry " + quoted(stored.entry) + ", user " + quoted(stored.user) +
               ", password " + (stored.password ? "set" : "not set") + ", DelayDial " + stored.dial +
               " ms, DelayHangup " + stored.hangup + " ms";
    if (exists && stored.entry === "") {
        problem(text + "; without an entry RasDial() and RasHangup() answer False and run nothing",
                "assign ADSL the connection's name as Network Connections shows it");
    } else if (exists && stored.user === "") {
        problem(text + "; without a user RasDial() answers False and runs nothing", "assign Uid");
    } else {
        ok(text);
    }
    return stored;
}

// The bytes of a file as text in a code page: ADODB.Stream where it knows the code page, else
// the ANSI reading of the file system object.
function readText(path, codePage) {
    var charsets = {437: "ibm437", 850: "ibm850", 852: "ibm852", 866: "cp866", 932: "shift_jis", 936: "gb2312",
                    949: "ks_c_5601-1987", 950: "big5", 65001: "utf-8"};
    if (codePage && charsets[codePage]) {
        try {
            var stream = new ActiveXObject("ADODB.Stream");
            stream.Type = 2;
            stream.Charset = charsets[codePage];
            stream.Open();
            stream.LoadFromFile(path);
            var text = stream.ReadText();
            stream.Close();
            return text;
        } catch (e) {
        }
    }
    if (fso.GetFile(path).Size === 0) return "";
    var file = fso.OpenTextFile(path, 1, false, 0), all = file.ReadAll();
    file.Close();
    return all;
}

// The tool's last message: its last "<error number> - <text>" line, else its last line.
function lastMessage(text) {
    var lines = text.split(/\r\n|\r|\n/), last = "";
    for (var i = lines.length - 1; i >= 0; i--) {
        var line = lines[i].replace(/^\s+|\s+$/g, "");
        if (line === "") continue;
        if (last === "") last = line;
        var match = /(^|\D)([6-9]\d\d)\s*[-:\u2013]\s/.exec(line);
        if (match) return {line: line, number: parseInt(match[2], 10)};
    }
    return {line: last, number: 0};
}

// Whether a file can be made in FOLDER: a test file is made and deleted again. Null when it can,
// else the error.
function folderRefusal(folder) {
    var probe = fso.BuildPath(folder, "QKDoctor-" + fso.GetTempName());
    try {
        var file = fso.CreateTextFile(probe, false);
        file.Write("x");
        file.Close();
        fso.DeleteFile(probe);
        return null;
    } catch (e) {
        return e;
    }
}

// The entry that a dial's capture file names: the tool starts with "Connecting to NAME...".
function dialledEntry(text) {
    var match = /^\s*(?:Connecting to|\u6B63\u5728\u8FDE\u63A5\u5230)\s*(.*?)\.\.\.\s*$/m.exec(text);
    return match ? match[1] : null;
}

// What the tool's error means. For an unknown entry it names the entry that the dial used, and
// whether that was the stored one or one that the script passed.
function meaning(message, text, stored) {
    var known = RAS_ERRORS[message.number], entry = dialledEntry(text);
    if (!known) return "";
    if (message.number === 623 && entry !== null) {
        var whose = !stored ? "the name that the dial used"
            : entry.toLowerCase() !== stored.entry.toLowerCase() ? "the name that the script passed to RasDial, not the stored entry " + quoted(stored.entry)
            : "the stored entry";
        known = "the phone book has no entry named " + quoted(entry) + ", " + whose + ": " + ENTRY_NAME_RULE;
    }
    return " (" + message.number + ": " + known + ")";
}

function checkCaptureFolder(codePages, stored) {
    var folder = shell.CurrentDirectory, refused = folderRefusal(folder);
    if (refused) {
        problem("the current folder " + folder + " cannot hold the capture file " + CAPTURE + " (" + describe(refused) +
                "): every IsConnected, RasDial and RasHangup run from there fails",
                "change the current folder first (WScript.Shell's CurrentDirectory, Set-Location, cd /d) to one that only the dialling account can write");
    } else {
        ok("the current folder " + folder + " can hold the capture file " + CAPTURE);
    }
    var capture = fso.BuildPath(folder, CAPTURE);
    if (!fso.FileExists(capture)) {
        ok("no capture file left in " + folder + " (a dial that fails leaves " + CAPTURE + " there with the tool's message)");
        return;
    }
    var text;
    try {
        text = readText(capture, codePages.oem);
    } catch (e) {
        problem(CAPTURE + " in " + folder + " cannot be read (" + describe(e) + "): another program holds it open, such as a dial " +
                "that is still running (the dialer shares the file with nobody while the tool writes it) or an editor; while it is held, " +
                "every IsConnected, RasDial and RasHangup run from this folder fails",
                "wait for that call to end, or close the program that holds the file, then run the doctor again");
        return;
    }
    var message = lastMessage(text);
    problem(CAPTURE + " in " + folder + " was left by a dial that failed; the tool said: " +
            (message.line === "" ? "nothing" : quoted(message.line)) + meaning(message, text, stored),
            "mend what the message says; the next IsConnected or RasDial replaces the file");
}

function codePages() {
    var key = "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Nls\\CodePage\\";
    return {ansi: parseInt(readShell(key + "ACP"), 10) || 0, oem: parseInt(readShell(key + "OEMCP"), 10) || 0};
}

function checkCodePages(pages) {
    var text = "code pages: ANSI " + (pages.ansi || "unknown") + ", OEM " + (pages.oem || "unknown") +
               " (settings are stored in ANSI; the tool's messages are read in both)";
    if (pages.ansi === 65001) text += "; UTF-8 as ANSI code page: every character can be stored";
    ok(text);
}

function checkRegExp() {
    if (create("VBScript.RegExp").object) {
        ok("VBScript.RegExp can be created: DelCache's regular expressions use it");
    } else {
        ok("VBScript.RegExp cannot be created (VBScript is not installed): the component's built-in engine answers DelCache's regular expressions");
    }
}

function checkProbe(dialer, stored) {
    if (!dialer) {
        problem("/probe: the component cannot be created in this host", "mend the registration first (see above)");
    } else if (!stored || stored.entry === "") {
        problem("/probe: no entry name is stored to probe", "assign ADSL first");
    } else {
        try {
            var connected = dialer.IsConnected(stored.entry);
            ok("IsConnected(" + quoted(stored.entry) + ") answers " + (connected ? "True: it is connected" : "False: it is not connected now"));
        } catch (e) {
            problem("IsConnected(" + quoted(stored.entry) + ") fails: " + describe(e), "see the lines above and the README's troubleshooting");
        }
    }
}

function main() {
    var opts = options(), host = hostInfo();
    ok("host: " + host.bits + "-bit script host on " + host.windowsBits + "-bit Windows (" + WScript.FullName + ")");
    var bitnesses = host.windowsBits === 64 ? [64, 32] : [32], registeredBits = [], seen = {}, found = {};
    host.views = {};
    for (var v = 0; v < bitnesses.length; v++) host.views[bitnesses[v]] = new RegistryView(bitnesses[v], host);
    for (var i = 0; i < CLASSES.length; i++) {
        found[CLASSES[i].name] = {};
        for (v = 0; v < bitnesses.length; v++) {
            var bits = bitnesses[v], registrations = checkRegistration(CLASSES[i], host.views[bits], host);
            found[CLASSES[i].name][bits] = registrations;
            if (registrations.length > 0 && !seen[bits]) registeredBits.push(seen[bits] = bits);
        }
        checkProgId(CLASSES[i], host);
    }
    checkTypeLib(registeredBits, host);
    var dialer = checkCreation(CLASSES[0], host, found[CLASSES[0].name][host.bits]);
    checkCreation(CLASSES[1], host, found[CLASSES[1].name][host.bits]);
    checkTool(host);
    var stored = checkSettings(dialer, opts.ini, host);
    var pages = codePages();
    checkCaptureFolder(pages, stored);
    checkCodePages(pages);
    checkRegExp();
    if (opts.probe) checkProbe(dialer, stored);
    WScript.Echo(problems === 0 ? "No problems found." : problems + (problems === 1 ? " problem" : " problems") + " found.");
    WScript.Quit(problems);
}

// An error that escapes a check still ends in a line and a count: some script hosts (Wine's
// cscript among them) print nothing for an uncaught error and exit with 0.
try {
    main();
} catch (e) {
    problem("the doctor itself failed: " + describe(e), "please report this line");
    WScript.Quit(problems);
}
