@echo off
rem Sets what install.cmd and uninstall.cmd need, whatever the bitness of this cmd:
rem   REGSVR32_32, DIR_32  the regsvr32 that registers 32-bit modules, and the 32-bit build's folder;
rem                        not set on 64-bit Windows without WoW64, where no 32-bit program runs;
rem   REGSVR32_64, DIR_64  the same for the 64-bit build, on 64-bit Windows only;
rem   NO_WOW64             set on 64-bit Windows without WoW64.
rem The folders are those of the Windows Installer packages (per machine) or, with "user" as the
rem argument, %LOCALAPPDATA%\Programs\ZUVezEradez3\x86 and \x64.
rem The machine's bitness comes from the processor architecture: a 64-bit cmd sees AMD64 (ARM64
rem on ARM) in PROCESSOR_ARCHITECTURE, a 32-bit cmd on 64-bit Windows sees x86 there and the
rem machine's architecture in PROCESSOR_ARCHITEW6432; only 32-bit Windows shows x86 alone.
set "REGSVR32_32="
set "REGSVR32_64="
set "DIR_32="
set "DIR_64="
set "NO_WOW64="
if defined PROCESSOR_ARCHITEW6432 (
    rem A 32-bit cmd on 64-bit Windows: System32 is redirected, Sysnative is the real one.
    set "REGSVR32_32=%SystemRoot%\System32\regsvr32.exe"
    set "REGSVR32_64=%SystemRoot%\Sysnative\regsvr32.exe"
) else if /i "%PROCESSOR_ARCHITECTURE%"=="x86" (
    set "REGSVR32_32=%SystemRoot%\System32\regsvr32.exe"
) else (
    set "REGSVR32_64=%SystemRoot%\System32\regsvr32.exe"
    if exist "%SystemRoot%\SysWOW64\regsvr32.exe" (
        set "REGSVR32_32=%SystemRoot%\SysWOW64\regsvr32.exe"
    ) else (
        set "NO_WOW64=1"
    )
)
rem ProgramW6432 is the 64-bit Program Files in a cmd of either bitness; ProgramFiles is the
rem 32-bit one in a 32-bit cmd. No folder is expanded inside a parenthesised block: the ")" of
rem "Program Files (x86)" would end it.
if /i "%~1"=="user" goto :user_folders
if defined REGSVR32_64 goto :machine_folders_64
set "DIR_32=%ProgramFiles%\ZUVezEradez3"
goto :eof
:machine_folders_64
set "DIR_64=%ProgramW6432%\ZUVezEradez3"
if defined REGSVR32_32 set "DIR_32=%ProgramFiles(x86)%\ZUVezEradez3"
goto :eof
:user_folders
if defined REGSVR32_32 set "DIR_32=%LOCALAPPDATA%\Programs\ZUVezEradez3\x86"
if defined REGSVR32_64 set "DIR_64=%LOCALAPPDATA%\Programs\ZUVezEradez3\x64"
goto :eof
