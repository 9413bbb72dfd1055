@echo off
rem Launched by the stub after extraction, in the destination folder.
echo hello setup: ran with arguments %* > setup-ran.txt
