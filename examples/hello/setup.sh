#!/bin/sh
# Launched by the stub after extraction, with the destination as working
# directory and the installer's setup parameters as arguments.
echo "hello setup: running in $(pwd) with arguments: $*" > setup-ran.txt
echo "hello setup: installed into $(pwd)"
