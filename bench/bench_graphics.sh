#!/usr/bin/env bash
# bench/bench_graphics.sh <bench_graphics program>: runs it on the display,
# or on a private 800x600 Xvfb (Mesa's software GL) when there is none.
set -euo pipefail
program=$1
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 800x600x24" "$program"
fi
exec "$program"
