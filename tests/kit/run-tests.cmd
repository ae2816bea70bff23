@echo off
rem VarnokSrv's test kit for Windows itself. In a command prompt started "as administrator", from any folder:
rem     run-tests.cmd
rem Registers the kit's own server, runs every suite (one line each with its test count, logs in logs\), prints
rem "N passed, M failed", unregisters and checks that no key is left. The exit code is the number of failed suites.
rem VARNOK_KIT_STEPS (names separated by blanks), when set, runs only those steps.
rem A suite passes only when its log shows at least one test run and none failed: a program that ran nothing
rem (GoogleTest's help, for one) fails.
setlocal EnableExtensions EnableDelayedExpansion
set "KIT=%~dp0"
set "KIT=%KIT:~0,-1%"
set "SERVER=%KIT%\server\VarnokSrv.exe"
set "TOOL=%KIT%\bin\KitTool.exe"
set PASSED=0
set FAILED=0
set "GTEST_FILTER="
set "EXPECTED="
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

rem The steps: one line each. :suite NAME KIND PROGRAM [ARGUMENTS...], where KIND says how the log counts its
rem tests (gtest, script, diagnose, lines, exit); a GoogleTest filter goes in GTEST_FILTER on the same line, never
rem among the arguments (cmd splits them at "=").
call :decoder decoder-scripted
call :suite typelib gtest "%KIT%\bin\TypeLibraryTest.exe"
call :suite reader_clients gtest "%KIT%\bin\FileReaderTest.exe"
set "GTEST_FILTER=-DecoderLibrary.*" & call :suite codet_data gtest "%KIT%\bin\CodetDataTest.exe"
set "GTEST_FILTER=DecoderLibrary.*" & call :suite decoder_library gtest "%KIT%\bin\CodetDataTest.exe"
call :suite platform_settings gtest "%KIT%\bin\PlatformSettingsTest.exe"
call :suite com_security gtest "%KIT%\bin\SecurityTest.exe"
call :suite reliability gtest "%KIT%\bin\ReliabilityTest.exe"
call :script 32 "%SystemRoot%\SysWOW64\cscript.exe"
call :script 64 "%SystemRoot%\System32\cscript.exe"

call :decoder ours
call :suite decoder_payloads gtest "%KIT%\bin\DecoderPayloadTest.exe"
call :suite image_reader gtest "%KIT%\bin\ImageReaderTest.exe"
call :example example_cpp_32 "%KIT%\bin\read-certificate.exe"
call :example example_cpp_64 "%KIT%\bin\read-certificate64.exe"
call :example example_delphi "%KIT%\bin\ReadCertificate.exe" certificate-scan.txt "%KIT%\data\certificate-scan.jpg"
call :suite scan_tool lines "%KIT%\server\VarnokScan.exe" "%KIT%\data\images\readable"
rem The workbook comparison needs LibreOffice's export, made on Linux only.
set "GTEST_FILTER=-FieldsWorkbook.*" & call :suite fields_tool gtest "%KIT%\bin\FieldsToolTest.exe"
call :suite diagnose diagnose "%SERVER%" /Diagnose "%KIT%\logs"
call :suite manifest lines "%TOOL%" manifest "%SERVER%"
call :suite registration gtest "%KIT%\bin\RegistrationTest.exe"
call :suite leave_on_unregister lines "%TOOL%" leaves-on-unregister "%SERVER%"

"%TOOL%" wait-no-server 30
"%SERVER%" /UnregServer
call :suite registry_clean exit "%TOOL%" registry-clean
if defined PREVIOUS if exist "%PREVIOUS%" (
    "%PREVIOUS%" /RegServer
    echo Registered again: %PREVIOUS%
)
echo %PASSED% passed, %FAILED% failed
exit /b %FAILED%

rem :suite NAME KIND PROGRAM [ARGUMENTS...]: runs the program with its output in logs\NAME.txt.
:suite
set "NAME=%~1"
set "KIND=%~2"
call :selected %NAME%
if errorlevel 1 (
    set "GTEST_FILTER="
    exit /b 0
)
shift
shift
set "COMMAND="
:collect
if "%~1"=="" goto run
set COMMAND=!COMMAND! "%~1"
shift
goto collect
:run
rem As every step: the previous step's server gone first, so that the first activation starts a server of its own
rem rather than meet one leaving.
"%TOOL%" wait-no-server 30
%COMMAND% >"%KIT%\logs\%NAME%.txt" 2>&1
call :record %errorlevel%
set "GTEST_FILTER="
exit /b 0

rem :script 32|64 CSCRIPT: the JScript client under that script host.
:script
set "NAME=script_client_%~1"
set "KIND=script"
call :selected %NAME%
if errorlevel 1 exit /b 0
if not exist "%~2" (
    echo SKIP %NAME% ^(no %~2 on this system^)
    exit /b 0
)
if not exist "%KIT%\logs\scratch%~1" mkdir "%KIT%\logs\scratch%~1"
"%TOOL%" wait-no-server 30
"%~2" //nologo "%KIT%\data\reader_client.js" "%VARNOK_SAMPLE%" "%KIT%\logs\scratch%~1" >"%KIT%\logs\%NAME%.txt" 2>&1
call :record %errorlevel%
exit /b 0

rem :example NAME PROGRAM [EXPECTED INPUT]: an example reads a scan to the expected fields; by default the scan of
rem the older-layout certificate.
:example
set "NAME=%~1"
set "KIND=same"
call :selected %NAME%
if errorlevel 1 exit /b 0
set "EXPECTED="%KIT%\data\expected\lorry-older-vtable.txt""
set "INPUT=%KIT%\data\images\two-pages.tif"
if not "%~3"=="" set "EXPECTED="%KIT%\data\expected\%~3""
if not "%~4"=="" set "INPUT=%~4"
"%TOOL%" wait-no-server 30
"%~2" "%INPUT%" "%KIT%\logs" >"%KIT%\logs\%NAME%.txt" 2>&1
call :record %errorlevel%
set "EXPECTED="
exit /b 0

rem :decoder NAME: puts that decoder library beside the server, once no server holds the previous one.
:decoder
"%TOOL%" wait-no-server 30
copy /y "%KIT%\decoders\%~1\azteccodeQELM.dll" "%KIT%\server\azteccodeQELM.dll" >nul
exit /b 0

rem :selected NAME: exit code 1 when VARNOK_KIT_STEPS is set and does not name the step.
:selected
if not defined VARNOK_KIT_STEPS exit /b 0
for %%s in (%VARNOK_KIT_STEPS%) do if /i "%%s"=="%~1" exit /b 0
exit /b 1

rem :record EXITCODE: the helper reads the log and prints the suite's line with its test count.
:record
"%TOOL%" verdict %NAME% %KIND% "%KIT%\logs\%NAME%.txt" %~1 %EXPECTED%
if errorlevel 2 echo FAIL %NAME% ^(the kit's helper could not read logs\%NAME%.txt^)
if errorlevel 1 (
    set /a FAILED+=1
) else (
    set /a PASSED+=1
)
exit /b 0
