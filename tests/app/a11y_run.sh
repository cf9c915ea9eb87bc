#!/bin/bash
# Runs the screen-reader test in a D-Bus session of its own, where the accessibility bus is
# started on demand, with Qt's bridge on although no screen reader asked for it.
set -euo pipefail
if [ "${1:-}" = "-h" ] || [ $# -ne 2 ]; then
    echo "usage: a11y_run.sh PYTHON PROGRAM" >&2
    exit 2
fi
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_QPA_PLATFORM=xcb NO_AT_BRIDGE=0
exec dbus-run-session -- "$1" "$(dirname "$0")/a11y_values.py" "$2"
