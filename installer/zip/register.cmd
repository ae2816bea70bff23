@echo off
rem Rejestruje VarnokSrv.exe z tego folderu: dla wszystkich u¾ytkownik¢w (z wiersza poleceä uruchomionego jako
rem administrator) albo z /user tylko dla bie¾¥cego u¾ytkownika. unregister.cmd cofa rejestracj©.
rem Zapisany w stronie kodowej 852, tej, w kt¢rej polska konsola pokazuje polskie litery.
setlocal
set "switch=/RegServer"
if /i "%~1"=="/user" set "switch=/RegServerPerUser"
"%~dp0VarnokSrv.exe" %switch%
set rc=%errorlevel%
if not "%rc%"=="0" goto failed
echo Zarejestrowano VarnokSrv (%switch%).
exit /b 0
:failed
echo Rejestracja nie powiodˆa si© (kod wyj˜cia %rc%). Dla wszystkich u¾ytkownik¢w uruchom j¥ jako administrator
echo albo zarejestruj tylko dla siebie: register.cmd /user
exit /b %rc%
