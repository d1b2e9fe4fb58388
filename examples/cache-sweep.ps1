# Sweeps the WinINet URL cache with QKCache from PowerShell: the normal entries whose URL
# contains a literal text, then those whose URL matches a regular expression.
#
#   powershell -File cache-sweep.ps1 [-Literal '/ads/'] [-Expression '\.gif$']
param([string]$Literal = '/ads/', [string]$Expression = '\.gif$')

$CACHE_NORMAL = 1
$cache = New-Object -ComObject ZUVezEradez3.QKCache
try {
    $cache.DelCache($CACHE_NORMAL, $Literal, $false)      # substring, letter case ignored
    "Deleted the entries whose URL contains '$Literal'"
    $cache.DelCache($CACHE_NORMAL, $Expression, $true)    # regular expression
    "Deleted the entries whose URL matches '$Expression'"
} catch [System.Runtime.InteropServices.COMException] {
    "DelCache failed: 0x{0:X8} {1}" -f $_.Exception.ErrorCode, $_.Exception.Message
    exit 1
} finally {
    [void][System.Runtime.InteropServices.Marshal]::ReleaseComObject($cache)
}
