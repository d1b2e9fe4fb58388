@echo off
rem Installs ZUVezEradez3.dll: copies each build from beside this script to the folder that the
rem Windows Installer packages use, and registers it there, so that the unpacked files may be
rem deleted afterwards. The 32-bit build goes to %ProgramFiles(x86)%\ZUVezEradez3 (on 32-bit
rem Windows %ProgramFiles%\ZUVezEradez3), registered with the 32-bit regsvr32; on 64-bit Windows
rem the 64-bit build goes to %ProgramFiles%\ZUVezEradez3, registered with the 64-bit regsvr32.
rem   install.cmd          for every user of this machine (run from an elevated prompt)
rem   install.cmd /user    for the current user only (no administrator rights needed), into
rem                        %LOCALAPPDATA%\Programs\ZUVezEradez3\x86 and \x64
setlocal EnableExtensions
set "HERE=%~dp0"
set "SCOPE=machine"
set "SWITCHES=/s"
if /i "%~1"=="/user" (
    set "SCOPE=user"
    set "SWITCHES=/s /n /i:user"
) else if not "%~1"=="" (
    echo Usage: install.cmd [/user]
    exit /b 2
)
call "%HERE%install-paths.cmd" %SCOPE%
set FAILED=0
call :install "%REGSVR32_32%" "%HERE%x86\ZUVezEradez3.dll" "%DIR_32%" 32-bit
if defined REGSVR32_64 call :install "%REGSVR32_64%" "%HERE%x64\ZUVezEradez3.dll" "%DIR_64%" 64-bit
if %FAILED%==0 (
    echo ZUVezEradez3 is installed for this %SCOPE%.
    exit /b 0
)
exit /b 1

rem :install REGSVR32 SOURCE FOLDER BITNESS. No path is expanded inside a parenthesised block:
rem the ")" of "Program Files (x86)" would end it.
:install
set "SOURCE=%~2"
set "FOLDER=%~3"
set "BITS=%~4"
if not exist "%SOURCE%" goto :missing
if not exist "%FOLDER%\" mkdir "%FOLDER%" 2>nul
copy /y "%SOURCE%" "%FOLDER%\ZUVezEradez3.dll" >nul 2>&1
if errorlevel 1 goto :copy_failed
"%~1" %SWITCHES% "%FOLDER%\ZUVezEradez3.dll"
set RC=%errorlevel%
if not "%RC%"=="0" goto :register_failed
echo Installed the %BITS% build for this %SCOPE% in %FOLDER% and registered it there.
goto :eof
:missing
echo Cannot install the %BITS% build: %SOURCE% is missing.
set FAILED=1
goto :eof
:copy_failed
echo Copying the %BITS% build to %FOLDER% failed.
if "%SCOPE%"=="machine" echo Run install.cmd from an elevated prompt, or use "install.cmd /user".
echo If the folder holds an older copy, close the programs that use it and try again.
set FAILED=1
goto :eof
:register_failed
echo Registering the %BITS% build failed ^(regsvr32 exit code %RC%^): %FOLDER%\ZUVezEradez3.dll
if "%SCOPE%"=="machine" echo Run install.cmd from an elevated prompt, or use "install.cmd /user".
set FAILED=1
goto :eof
