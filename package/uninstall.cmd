@echo off
rem Unregisters ZUVezEradez3.dll, both builds, as install.cmd registered them.
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
call "%HERE%regsvr32-paths.cmd"
set FAILED=0
call :unregister "%REGSVR32_32%" "%HERE%x86\ZUVezEradez3.dll" 32-bit
if defined REGSVR32_64 call :unregister "%REGSVR32_64%" "%HERE%x64\ZUVezEradez3.dll" 64-bit
if %FAILED%==0 (
    echo ZUVezEradez3 is uninstalled for this %SCOPE%.
    exit /b 0
)
exit /b 1

:unregister
"%~1" %SWITCHES% "%~2"
set RC=%errorlevel%
if not "%RC%"=="0" (
    echo Unregistering the %~3 build failed ^(regsvr32 exit code %RC%^): %~2
    if "%SCOPE%"=="machine" echo Run uninstall.cmd from an elevated prompt.
    set FAILED=1
) else (
    echo Unregistered the %~3 build for this %SCOPE%: %~2
)
goto :eof
