@echo off
rem Usuwa rejestracj© wykonan¥ przez register.cmd: dla wszystkich u¾ytkownik¢w (jako administrator) albo z /user
rem tylko dla bie¾¥cego u¾ytkownika. Najpierw zamknij wszystkie programy klienckie: dziaˆaj¥cy serwer blokuje pliki.
rem Zapisany w stronie kodowej 852, tej, w kt¢rej polska konsola pokazuje polskie litery.
setlocal
set "switch=/UnregServer"
if /i "%~1"=="/user" set "switch=/UnregServerPerUser"
"%~dp0VarnokSrv.exe" %switch%
set rc=%errorlevel%
if not "%rc%"=="0" goto failed
echo Wyrejestrowano VarnokSrv (%switch%).
exit /b 0
:failed
echo Wyrejestrowanie nie powiodˆo si© (kod wyj˜cia %rc%). Dla wszystkich u¾ytkownik¢w uruchom je jako administrator.
exit /b %rc%
