@echo off
rem VarnokSrv's test kit for Windows itself. In a command prompt started "as administrator", from any folder:
rem     run-tests.cmd
rem Registers the kit's own server, runs every suite (one line each, logs in logs\), prints "N passed, M failed",
rem unregisters and checks that no key is left. The exit code is the number of failed suites.
setlocal EnableExtensions EnableDelayedExpansion
set "KIT=%~dp0"
set "KIT=%KIT:~0,-1%"
set "SERVER=%KIT%\server\VarnokSrv.exe"
set "TOOL=%KIT%\bin\KitTool.exe"
set PASSED=0
set FAILED=0
if not exist "%KIT%\logs" mkdir "%KIT%\logs"

"%TOOL%" elevated
if errorlevel 1 (
    echo run-tests.cmd: start the command prompt "as administrator": the suites register the server for all users.
    exit /b 1
)
rem An installed VarnokSrv gets its registration back at the end (the kit uses the same class identifiers).
set "PREVIOUS="
for /f "delims=" %%p in ('"%TOOL%" registered-server') do set "PREVIOUS=%%p"
if /i "%PREVIOUS%"=="%SERVER%" set "PREVIOUS="
"%SERVER%" /UnregServer
"%SERVER%" /RegServer
if errorlevel 1 (
    echo run-tests.cmd: VarnokSrv.exe /RegServer failed.
    exit /b 1
)

set "VARNOK_SERVER_EXE=%SERVER%"
set "VARNOK_SERVER_DIR=%KIT%\server"
set "VARNOK_DECODERS=%KIT%\decoders"
set "VARNOK_SAMPLE=%KIT%\data\certificate.xml"
set "VARNOK_PAYLOADS=%KIT%\data\payloads"
set "VARNOK_IMAGES=%KIT%\data\images"
set "VARNOK_IMAGE_PAYLOAD=%KIT%\data\payloads\lorry-older.txt"
set "VARNOK_FIELDS_IMAGES=%KIT%\data\certificates"
set "VARNOK_SCAN_EXE=%KIT%\server\VarnokScan.exe"

call :decoder decoder-scripted
call :suite typelib "%KIT%\bin\TypeLibraryTest.exe"
call :suite reader_clients "%KIT%\bin\FileReaderTest.exe"
call :suite codet_data "%KIT%\bin\CodetDataTest.exe" --gtest_filter=-DecoderLibrary.*
call :suite decoder_library "%KIT%\bin\CodetDataTest.exe" --gtest_filter=DecoderLibrary.*
call :suite platform_settings "%KIT%\bin\PlatformSettingsTest.exe"
call :suite com_security "%KIT%\bin\SecurityTest.exe"
call :suite reliability "%KIT%\bin\ReliabilityTest.exe"
call :script 32 "%SystemRoot%\SysWOW64\cscript.exe"
call :script 64 "%SystemRoot%\System32\cscript.exe"

call :decoder ours
call :suite decoder_payloads "%KIT%\bin\DecoderPayloadTest.exe"
call :suite image_reader "%KIT%\bin\ImageReaderTest.exe"
call :example example_cpp_32 "%KIT%\bin\read-certificate.exe"
call :example example_cpp_64 "%KIT%\bin\read-certificate64.exe"
call :suite scan_tool "%KIT%\server\VarnokScan.exe" "%KIT%\data\images\readable"
call :suite fields_tool "%KIT%\bin\FieldsToolTest.exe"
call :suite diagnose "%SERVER%" /Diagnose "%KIT%\logs"
call :suite registration "%KIT%\bin\RegistrationTest.exe"

"%TOOL%" wait-no-server 30
"%SERVER%" /UnregServer
call :check registry_clean "%TOOL%" registry-clean
if defined PREVIOUS if exist "%PREVIOUS%" (
    "%PREVIOUS%" /RegServer
    echo Registered again: %PREVIOUS%
)
echo %PASSED% passed, %FAILED% failed
exit /b %FAILED%

rem :suite NAME PROGRAM [ARGUMENTS...]: passes on exit code 0.
:suite
set "NAME=%~1"
shift
set "COMMAND="
:collect
if "%~1"=="" goto run
set COMMAND=!COMMAND! "%~1"
shift
goto collect
:run
%COMMAND% >"%KIT%\logs\%NAME%.txt" 2>&1
call :record %errorlevel%
exit /b 0

rem :check NAME PROGRAM ARGUMENT: like :suite, with the program's own output shown.
:check
set "NAME=%~1"
%2 %3 >"%KIT%\logs\%NAME%.txt" 2>&1
call :record %errorlevel%
exit /b 0

rem :script 32|64 CSCRIPT: the JScript client under that script host; passes on its own all-clear line.
:script
set "NAME=script_client_%~1"
if not exist "%~2" (
    echo SKIP %NAME% ^(no %~2 on this system^)
    exit /b 0
)
if not exist "%KIT%\logs\scratch%~1" mkdir "%KIT%\logs\scratch%~1"
"%~2" //nologo "%KIT%\data\reader_client.js" "%VARNOK_SAMPLE%" "%KIT%\logs\scratch%~1" >"%KIT%\logs\%NAME%.txt" 2>&1
"%TOOL%" script-passed "%KIT%\logs\%NAME%.txt"
call :record %errorlevel%
exit /b 0

rem :example NAME PROGRAM: the C++ example reads a scan of the older-layout certificate to the expected fields.
:example
set "NAME=%~1"
"%~2" "%KIT%\data\images\two-pages.tif" "%KIT%\logs" >"%KIT%\logs\%NAME%.txt" 2>&1
"%TOOL%" same "%KIT%\data\expected\lorry-older-vtable.txt" "%KIT%\logs\%NAME%.txt"
call :record %errorlevel%
exit /b 0

rem :decoder NAME: puts that decoder library beside the server, once no server holds the previous one.
:decoder
"%TOOL%" wait-no-server 30
copy /y "%KIT%\decoders\%~1\azteccodeQELM.dll" "%KIT%\server\azteccodeQELM.dll" >nul
exit /b 0

:record
if "%~1"=="0" (
    set /a PASSED+=1
    echo PASS %NAME%
) else (
    set /a FAILED+=1
    echo FAIL %NAME% ^(exit code %~1, see logs\%NAME%.txt^)
)
exit /b 0
