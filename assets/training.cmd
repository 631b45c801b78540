@echo off
rem tarvo_6 for training: dispenser-sim, a simulated controller (variant 1,
rem four nozzles, address 1, password 1234), and tarvo_6 connected to it
rem through TCPC_127.0.0.1:4806. Both work in the folder "training" beside
rem this file, so that the journal and port.out of training never mix with
rem real work's; the controller's memory stays there between runs
rem (controller.img), and dispenser-sim.trace shows every frame.
setlocal
cd /d "%~dp0"
if not exist training\ru mkdir training\ru
copy /y qv.bmp training\ >nul
copy /y ru\tarvo_6.mo training\ru\ >nul
rem The simulator's port is chosen in advance at every start.
copy /y training.ini training\tarvo_6.ini >nul
cd training
start "dispenser-sim" /b ..\dispenser-sim.exe --tcp-server 4806 --variant 1 --nozzles 4 --address 1 --password 1234 --image controller.img --save-each-write --trace-file dispenser-sim.trace
set TARVO6_PORTS=TCPC_127.0.0.1:4806
start "tarvo_6" /wait ..\tarvo_6.exe
rem Every write is saved as it happens: stopping the simulator loses nothing.
taskkill /f /im dispenser-sim.exe >nul 2>&1
endlocal
