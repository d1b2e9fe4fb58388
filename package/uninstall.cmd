@echo off
rem Uninstalls ZUVezEradez3.dll as install.cmd installed it: unregisters both builds in their
rem folders, then deletes them and the folders when empty.
rem   uninstall.cmd        for every user of this machine (run from an elevated prompt)
rem   uninstall.cmd /user  for the current user only
setlocal EnableExtensions
set "HERE=%~dp0"
set "SCOPE=machine"
set "SWITCHES=/s /u"
if /i "%~1"=="/user" (
    set "SCOPE=user"
    set "SWITCHES=/s /u /n /i:user"
) else if not "%~1"=="" (
    echo Usage: uninstall.cmd [/user]
    exit /b 2
)
call "%HERE%install-paths.cmd" %SCOPE%
set FAILED=0
call :uninstall "%REGSVR32_32%" "%DIR_32%" 32-bit
if defined REGSVR32_64 call :uninstall "%REGSVR32_64%" "%DIR_64%" 64-bit
if "%SCOPE%"=="user" rd "%LOCALAPPDATA%\Programs\ZUVezEradez3" 2>nul
if %FAILED%==0 (
    echo ZUVezEradez3 is uninstalled for this %SCOPE%.
    exit /b 0
)
exit /b 1

rem :uninstall REGSVR32 FOLDER BITNESS. A copy that cannot be unregistered is kept. No path is
rem expanded inside a parenthesised block: the ")" of "Program Files (x86)" would end it.
:uninstall
set "FOLDER=%~2"
set "BITS=%~3"
if not exist "%FOLDER%\ZUVezEradez3.dll" goto :not_installed
"%~1" %SWITCHES% "%FOLDER%\ZUVezEradez3.dll"
set RC=%errorlevel%
if not "%RC%"=="0" goto :unregister_failed
del /f /q "%FOLDER%\ZUVezEradez3.dll" 2>nul
if exist "%FOLDER%\ZUVezEradez3.dll" goto :delete_failed
rd "%FOLDER%" 2>nul
echo Unregistered the %BITS% build for this %SCOPE% and removed it from %FOLDER%.
goto :eof
:not_installed
echo The %BITS% build is not installed in %FOLDER%: nothing to remove.
goto :eof
:unregister_failed
echo Unregistering the %BITS% build failed ^(regsvr32 exit code %RC%^): %FOLDER%\ZUVezEradez3.dll
if "%SCOPE%"=="machine" echo Run uninstall.cmd from an elevated prompt.
set FAILED=1
goto :eof
:delete_failed
echo Unregistered the %BITS% build, but %FOLDER%\ZUVezEradez3.dll cannot be deleted: close the programs that use it and delete it.
set FAILED=1
goto :eof
