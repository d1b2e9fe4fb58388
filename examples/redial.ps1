# Redials a broadband connection with QKDialer from PowerShell, then checks that it is up.
#
#   powershell -File redial.ps1 [-Settings C:\path\dialer.ini]
#
# Use the PowerShell whose bitness matches the registered DLL (64-bit PowerShell needs the
# 64-bit build, Windows PowerShell (x86) the 32-bit one). PowerShell wraps a failing COM call in
# an exception whose InnerException carries the component's HRESULT and description.
#
# The settings file (default: redial.ini in the current folder) must name the entry, user and
# password; the script writes no settings. Exit codes: 0 connected, 1 RasRedial returned False
# (the script then makes no further call, which would replace the tool's message in
# QKDialer.tmp), 2 no settings, 3 a call failed.
param([string]$Settings = 'redial.ini')

# A full path for the component, which takes a name without a folder in the Windows folder: a
# relative name is taken in the current folder.
$Settings = $ExecutionContext.SessionState.Path.GetUnresolvedProviderPathFromPSPath($Settings)
if (-not (Test-Path -LiteralPath $Settings -PathType Leaf)) {
    "There is no settings file ${Settings}: write your entry, user name and password to it first."
    exit 2
}

function Format-Failure($record) {
    $e = $record.Exception
    if ($e.InnerException) { $e = $e.InnerException }
    '0x{0:X8} {1}' -f $e.HResult, $e.Message
}

$dialer = $null
try {
    $dialer = New-Object -ComObject ZUVezEradez3.QKDialer
    $dialer.IniFilename = $Settings
    if (-not $dialer.ADSL -or -not $dialer.Uid) {
        "The settings file $Settings names no entry or no user: set ADSL, Uid and Password first."
        exit 2
    }
    "Entry $($dialer.ADSL) connected: $($dialer.IsConnected($dialer.ADSL))"
    $ok = $dialer.RasRedial()
    "RasRedial: $ok"
    if (-not $ok) {
        # Any further call would replace the capture file that holds the tool's message.
        "The tool's message is in $(Join-Path (Get-Location) 'QKDialer.tmp')."
        'The doctor explains it, run from this folder (doctor.js lies beside the DLL, or at the top of the zip):'
        "  cscript //nologo doctor.js /ini:`"$Settings`""
        exit 1
    }
    "Entry $($dialer.ADSL) connected: $($dialer.IsConnected($dialer.ADSL))"
    exit 0
} catch {
    "Failed: $(Format-Failure $_)"
    exit 3
} finally {
    if ($dialer) { [void][System.Runtime.InteropServices.Marshal]::ReleaseComObject($dialer) }
}
