@echo off
rem Sets what install.cmd and uninstall.cmd need, whatever the bitness of this cmd:
rem   REGSVR32_32, DIR_32  the regsvr32 that registers 32-bit modules, and the 32-bit build's folder;
rem   REGSVR32_64, DIR_64  the same for the 64-bit build, on 64-bit Windows only.
rem The folders are those of the Windows Installer packages (per machine) or, with "user" as the
rem argument, %LOCALAPPDATA%\Programs\ZUVezEradez3\x86 and \x64.
set "REGSVR32_64="
set "DIR_64="
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
rem ProgramW6432 is the 64-bit Program Files in a cmd of either bitness; ProgramFiles is the
rem 32-bit one in a 32-bit cmd. No folder is expanded inside a parenthesised block: the ")" of
rem "Program Files (x86)" would end it.
if /i "%~1"=="user" goto :user_folders
if defined REGSVR32_64 goto :machine_folders_64
set "DIR_32=%ProgramFiles%\ZUVezEradez3"
goto :eof
:machine_folders_64
set "DIR_32=%ProgramFiles(x86)%\ZUVezEradez3"
set "DIR_64=%ProgramW6432%\ZUVezEradez3"
goto :eof
:user_folders
set "DIR_32=%LOCALAPPDATA%\Programs\ZUVezEradez3\x86"
if defined REGSVR32_64 set "DIR_64=%LOCALAPPDATA%\Programs\ZUVezEradez3\x64"
goto :eof
