@echo off
rem Registers ZUVezEradez3.dll: the 32-bit build with the 32-bit regsvr32 and, on 64-bit
rem Windows, the 64-bit build with the 64-bit regsvr32.
rem   install.cmd          for every user of this machine (run from an elevated prompt)
rem   install.cmd /user    for the current user only (no administrator rights needed)
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
call "%HERE%regsvr32-paths.cmd"
set FAILED=0
call :register "%REGSVR32_32%" "%HERE%x86\ZUVezEradez3.dll" 32-bit
if defined REGSVR32_64 call :register "%REGSVR32_64%" "%HERE%x64\ZUVezEradez3.dll" 64-bit
if %FAILED%==0 (
    echo ZUVezEradez3 is installed for this %SCOPE%.
    exit /b 0
)
exit /b 1

:register
if not exist "%~2" (
    echo Cannot register the %~3 build: %~2 is missing.
    set FAILED=1
    goto :eof
)
"%~1" %SWITCHES% "%~2"
set RC=%errorlevel%
if not "%RC%"=="0" (
    echo Registering the %~3 build failed ^(regsvr32 exit code %RC%^): %~2
    if "%SCOPE%"=="machine" echo Run install.cmd from an elevated prompt, or use "install.cmd /user".
    set FAILED=1
) else (
    echo Registered the %~3 build for this %SCOPE%: %~2
)
goto :eof
