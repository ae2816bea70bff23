@echo off
rem Registers VarnokSrv.exe from this folder: for all users (run from a command prompt started as
rem administrator), or with /user for the current user only. unregister.cmd undoes it.
setlocal
set "switch=/RegServer"
if /i "%~1"=="/user" set "switch=/RegServerPerUser"
"%~dp0VarnokSrv.exe" %switch%
set rc=%errorlevel%
if not "%rc%"=="0" goto failed
echo VarnokSrv registered (%switch%).
exit /b 0
:failed
echo Registration failed (exit code %rc%). For all users, run it as administrator; or use: register.cmd /user
exit /b %rc%
