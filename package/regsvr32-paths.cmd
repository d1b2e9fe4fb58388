@echo off
rem Sets REGSVR32_32 to the regsvr32 that registers 32-bit modules and, on 64-bit Windows,
rem REGSVR32_64 to the one that registers 64-bit modules, whatever the bitness of this cmd.
set "REGSVR32_64="
if defined PROCESSOR_ARCHITEW6432 (
    rem A 32-bit cmd on 64-bit Windows: System32 is redirected, Sysnative is the real one.
    set "REGSVR32_32=%SystemRoot%\System32\regsvr32.exe"
    set "REGSVR32_64=%SystemRoot%\Sysnative\regsvr32.exe"
) else if exist "%SystemRoot%\SysWOW64\regsvr32.exe" (
    set "REGSVR32_32=%SystemRoot%\SysWOW64\regsvr32.exe"
    set "REGSVR32_64=%SystemRoot%\System32\regsvr32.exe"
) else (
    set "REGSVR32_32=%SystemRoot%\System32\regsvr32.exe"
)
