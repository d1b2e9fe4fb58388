# Sweeps the WinINet URL cache with QKCache from PowerShell: the normal entries whose URL
# contains a literal text, then those whose URL matches a regular expression.
#
#   powershell -File cache-sweep.ps1 [-Literal '/ads/'] [-Expression '\.gif$']
param([string]$Literal = '/ads/', [string]$Expression = '\.gif$')

$CACHE_NORMAL = 1
$cache = $null
try {
    $cache = New-Object -ComObject ZUVezEradez3.QKCache
    $cache.DelCache($CACHE_NORMAL, $Literal, $false)      # substring, letter case ignored
    "Deleted the entries whose URL contains '$Literal'"
    $cache.DelCache($CACHE_NORMAL, $Expression, $true)    # regular expression
    "Deleted the entries whose URL matches '$Expression'"
} catch {
    # A failing COM call arrives wrapped; the inner exception carries the HRESULT.
    $e = $_.Exception
    if ($e.InnerException) { $e = $e.InnerException }
    'Failed: 0x{0:X8} {1}' -f $e.HResult, $e.Message
    exit 1
} finally {
    if ($cache) { [void][System.Runtime.InteropServices.Marshal]::ReleaseComObject($cache) }
}
