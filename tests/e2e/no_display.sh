#!/bin/sh
# The real program without a display: one line that names both variables, and exit code 1
# rather than Qt's abort. A platform chosen explicitly that needs no display still runs.
# Usage: no_display.sh <vexlo>
Said=$(env -i "$1" 2>&1)
Code=$?
Expected="vexlo: no display found (neither DISPLAY nor WAYLAND_DISPLAY is set)"
if [ "$Code" != 1 ] || [ "$Said" != "$Expected" ]; then
    echo "FAILED: without a display: exit code $Code, said: $Said"
    exit 1
fi
# Still running when the time-out ends it (124): it did not take itself for display-less.
env -i QT_QPA_PLATFORM=offscreen timeout 3 "$1" >/dev/null 2>&1
Code=$?
if [ "$Code" != 124 ]; then
    echo "FAILED: on the offscreen platform it ended by itself with exit code $Code"
    exit 1
fi
echo "passed: without a display it says \"$Expected\" and ends with 1"
