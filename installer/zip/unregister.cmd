@echo off
rem Removes the registration that register.cmd made: for all users (as administrator), or with /user for
rem the current user only. Close every client first: a running server keeps its files in use.
setlocal
set "switch=/UnregServer"
if /i "%~1"=="/user" set "switch=/UnregServerPerUser"
"%~dp0VarnokSrv.exe" %switch%
set rc=%errorlevel%
if not "%rc%"=="0" goto failed
echo VarnokSrv unregistered (%switch%).
exit /b 0
:failed
echo Unregistration failed (exit code %rc%). For all users, run it as administrator.
exit /b %rc%
