#!/bin/sh
# Child writes MIB mebibytes into a pipe; dd drains it 4096 bytes at a time.
"$1" stream "$2" | dd bs=4096 of=/dev/null 2>/dev/null
