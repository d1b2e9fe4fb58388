# Redials a broadband connection with QKDialer from PowerShell, then checks that it is up.
#
#   powershell -File redial.ps1 [-Settings C:\path\dialer.ini]
#
# Use the PowerShell whose bitness matches the registered DLL (64-bit PowerShell needs the
# 64-bit build, Windows PowerShell (x86) the 32-bit one).
param([string]$Settings = (Join-Path (Get-Location) 'redial.ini'))

$dialer = New-Object -ComObject ZUVezEradez3.QKDialer
$dialer.IniFilename = $Settings
if (-not $dialer.ADSL) {
    Write-Error "No entry name in ${Settings}: set ADSL, Uid and Password first."
    exit 2
}

"Entry $($dialer.ADSL) connected: $($dialer.IsConnected($dialer.ADSL))"
try {
    $ok = $dialer.RasRedial()
    "RasRedial: $ok"
    "Entry $($dialer.ADSL) connected: $($dialer.IsConnected($dialer.ADSL))"
    if ($ok) { exit 0 } else { exit 1 }
} catch [System.Runtime.InteropServices.COMException] {
    "RasRedial failed: 0x{0:X8} {1}" -f $_.Exception.ErrorCode, $_.Exception.Message
    exit 3
} finally {
    [void][System.Runtime.InteropServices.Marshal]::ReleaseComObject($dialer)
}
