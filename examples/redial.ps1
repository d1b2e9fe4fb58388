# Redials a broadband connection with QKDialer from PowerShell, then checks that it is up.
#
#   powershell -File redial.ps1 [-Settings C:\path\dialer.ini]
#
# Use the PowerShell whose bitness matches the registered DLL (64-bit PowerShell needs the
# 64-bit build, Windows PowerShell (x86) the 32-bit one). PowerShell wraps a failing COM call in
# an exception whose InnerException carries the component's HRESULT and description.
param([string]$Settings = (Join-Path (Get-Location) 'redial.ini'))

function Format-Failure($record) {
    $e = $record.Exception
    if ($e.InnerException) { $e = $e.InnerException }
    '0x{0:X8} {1}' -f $e.HResult, $e.Message
}

$dialer = $null
try {
    $dialer = New-Object -ComObject ZUVezEradez3.QKDialer
    $dialer.IniFilename = $Settings
    if (-not $dialer.ADSL) {
        Write-Error "No entry name in ${Settings}: set ADSL, Uid and Password first."
        exit 2
    }
    "Entry $($dialer.ADSL) connected: $($dialer.IsConnected($dialer.ADSL))"
    $ok = $dialer.RasRedial()
    "RasRedial: $ok"
    if (-not $ok) { "The tool's message is in $(Join-Path (Get-Location) 'QKDialer.tmp'); doctor.js explains it." }
    "Entry $($dialer.ADSL) connected: $($dialer.IsConnected($dialer.ADSL))"
    if ($ok) { exit 0 } else { exit 1 }
} catch {
    "Failed: $(Format-Failure $_)"
    exit 3
} finally {
    if ($dialer) { [void][System.Runtime.InteropServices.Marshal]::ReleaseComObject($dialer) }
}
