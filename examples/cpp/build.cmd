@echo off
rem Builds read-certificate.exe from read-certificate.cpp, with the header and GUIDs of ..\..\include (the
rem installed SDK) or of this folder (the zip). One line each:
rem   build.cmd          Microsoft C++ (cl), in a "Developer Command Prompt for VS" (x86 or x64)
rem   build.cmd mingw    mingw-w64 (g++ on PATH, 32- or 64-bit)
setlocal
cd /d "%~dp0"
set "INC=..\..\include"
if exist VarnokSrv_i.c set "INC=."
if /i "%~1"=="mingw" goto mingw
cl /nologo /EHsc /std:c++20 /W4 /I"%INC%" read-certificate.cpp "%INC%\VarnokSrv_i.c" "%INC%\VarnokSrvImage_i.c" ole32.lib oleaut32.lib /Fe:read-certificate.exe
exit /b %errorlevel%
:mingw
g++ -std=c++20 -O2 -static -municode -I"%INC%" read-certificate.cpp "%INC%/VarnokSrv_i.c" "%INC%/VarnokSrvImage_i.c" -o read-certificate.exe -lole32 -loleaut32 -luuid
exit /b %errorlevel%
