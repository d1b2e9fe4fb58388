@echo off
rem Installs ZUVezEradez3.dll: copies each build from beside this script to the folder that the
rem Windows Installer packages use, and registers it there. The doctor (doctor.js), the README and
rem the uninstaller (uninstall.cmd, with install-paths.cmd) are copied beside each build, so that
rem the unpacked files may be deleted afterwards. The 32-bit build goes to
rem %ProgramFiles(x86)%\ZUVezEradez3 (on 32-bit Windows %ProgramFiles%\ZUVezEradez3), registered
rem with the 32-bit regsvr32; on 64-bit Windows the 64-bit build goes to
rem %ProgramFiles%\ZUVezEradez3, registered with the 64-bit regsvr32. 64-bit Windows without WoW64
rem runs no 32-bit program: there the 64-bit build is installed alone.
rem   install.cmd          for every user of this machine (run from an elevated prompt)
rem   install.cmd /user    for the current user only (no administrator rights needed), into
rem                        %LOCALAPPDATA%\Programs\ZUVezEradez3\x86 and \x64
setlocal EnableExtensions
set "HERE=%~dp0"
set "SCOPE=machine"
set "SWITCHES=/s"
set "UNINSTALL="
if /i "%~1"=="/user" (
    set "SCOPE=user"
    set "SWITCHES=/s /n /i:user"
    set "UNINSTALL= /user"
) else if not "%~1"=="" (
    echo Usage: install.cmd [/user]
    exit /b 2
)
call "%HERE%install-paths.cmd" %SCOPE%
set FAILED=0
set "INSTALLED="
if defined NO_WOW64 echo This 64-bit Windows has no WoW64, as %SystemRoot%\SysWOW64\regsvr32.exe is missing: no 32-bit program runs here, so the 64-bit build is installed alone.
if defined REGSVR32_32 call :install "%REGSVR32_32%" "%HERE%x86\ZUVezEradez3.dll" "%DIR_32%" 32-bit
if defined REGSVR32_64 call :install "%REGSVR32_64%" "%HERE%x64\ZUVezEradez3.dll" "%DIR_64%" 64-bit
if not %FAILED%==0 exit /b 1
echo ZUVezEradez3 is installed for this %SCOPE%.
echo The doctor, the README and the uninstaller lie beside each build. Check the installation with
echo   cscript //nologo "%INSTALLED%\doctor.js"
echo and remove it with
echo   "%INSTALLED%\uninstall.cmd"%UNINSTALL%
exit /b 0

rem :install REGSVR32 SOURCE FOLDER BITNESS. No path is expanded inside a parenthesised block:
rem the ")" of "Program Files (x86)" would end it.
:install
set "SOURCE=%~2"
set "FOLDER=%~3"
set "BITS=%~4"
set "COPY_FAILED="
if not exist "%SOURCE%" goto :missing
if not exist "%FOLDER%\" mkdir "%FOLDER%" 2>nul
copy /y "%SOURCE%" "%FOLDER%\ZUVezEradez3.dll" >nul 2>&1
if errorlevel 1 goto :copy_failed
for %%F in (doctor.js README.md uninstall.cmd install-paths.cmd) do call :copy_beside %%F
if defined COPY_FAILED goto :copy_failed
"%~1" %SWITCHES% "%FOLDER%\ZUVezEradez3.dll"
set RC=%errorlevel%
if not "%RC%"=="0" goto :register_failed
echo Installed the %BITS% build for this %SCOPE% in %FOLDER% and registered it there.
set "INSTALLED=%FOLDER%"
goto :eof
:copy_beside
copy /y "%HERE%%~1" "%FOLDER%\%~1" >nul 2>&1
if errorlevel 1 set "COPY_FAILED=%~1"
goto :eof
:missing
echo Cannot install the %BITS% build: %SOURCE% is missing.
set FAILED=1
goto :eof
:copy_failed
echo Copying the %BITS% build to %FOLDER% failed.
if defined COPY_FAILED echo %COPY_FAILED% is missing beside install.cmd, or cannot be written there.
if "%SCOPE%"=="machine" echo Run install.cmd from an elevated prompt, or use "install.cmd /user".
echo If the folder holds an older copy, close the programs that use it and try again.
set FAILED=1
goto :eof
:register_failed
echo Registering the %BITS% build failed ^(regsvr32 exit code %RC%^): %FOLDER%\ZUVezEradez3.dll
if "%SCOPE%"=="machine" echo Run install.cmd from an elevated prompt, or use "install.cmd /user".
set FAILED=1
goto :eof
