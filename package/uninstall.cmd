@echo off
rem Uninstalls ZUVezEradez3.dll as install.cmd installed it: unregisters both builds in their
rem folders, then deletes them, the files that install.cmd put beside them and the folders when
rem empty. It runs from the unpacked zip or from the copy beside an installed build; a copy that
rem removes its own folder deletes itself last. The settings files (REZarArerur.ini in the Windows
rem folder, or the files that scripts name in IniFilename) stay: they hold the user's settings.
rem   uninstall.cmd        for every user of this machine (run from an elevated prompt)
rem   uninstall.cmd /user  for the current user only
setlocal EnableExtensions
set "HERE=%~dp0"
set "SELF=%~f0"
set "SELF_FOLDER="
set "SCOPE=machine"
set "SWITCHES=/s /u"
set "PARENT="
if /i "%~1"=="/user" (
    set "SCOPE=user"
    set "SWITCHES=/s /u /n /i:user"
) else if not "%~1"=="" (
    echo Usage: uninstall.cmd [/user]
    exit /b 2
)
call "%HERE%install-paths.cmd" %SCOPE%
if "%SCOPE%"=="user" set "PARENT=%LOCALAPPDATA%\Programs\ZUVezEradez3"
set FAILED=0
if defined NO_WOW64 echo This 64-bit Windows has no WoW64: no 32-bit build is installed here, only the 64-bit one is removed.
if defined REGSVR32_32 call :uninstall "%REGSVR32_32%" "%DIR_32%" 32-bit
if defined REGSVR32_64 call :uninstall "%REGSVR32_64%" "%DIR_64%" 64-bit
if %FAILED%==0 echo ZUVezEradez3 is uninstalled for this %SCOPE%.
if not defined SELF_FOLDER goto :done
rem Windows' cmd reads a script a line at a time from its file: this copy deletes itself and
rem its folder on the line that ends it. (Wine's cmd keeps the file open until the script ends,
rem so there the file goes when it ends and the empty folder stays.)
setlocal EnableDelayedExpansion
del /f /q "!SELF!" 2>nul & rd "!SELF_FOLDER!" 2>nul & (if defined PARENT rd "!PARENT!" 2>nul) & exit /b %FAILED%
:done
if defined PARENT rd "%PARENT%" 2>nul
exit /b %FAILED%

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
call :remove_beside
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

rem :remove_beside: the files that install.cmd copied beside the build in FOLDER; this script's
rem own file is left for last.
:remove_beside
call :remove_file "%FOLDER%\doctor.js"
call :remove_file "%FOLDER%\README.md"
call :remove_file "%FOLDER%\install-paths.cmd"
call :remove_file "%FOLDER%\uninstall.cmd"
goto :eof
:remove_file
if /i "%~f1"=="%SELF%" goto :keep_self
del /f /q "%~1" 2>nul
goto :eof
:keep_self
set "SELF_FOLDER=%FOLDER%"
goto :eof
