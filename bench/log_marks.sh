#!/usr/bin/env bash
# The cost of one progress mark in the log view at 1 000, 10 000 and 100 000 marks on
# one line, with a plain QTextEdit beside it for scale.
#
#   bench/log_marks.sh
#
# Runs offscreen: no display is needed and nothing goes on the network. Exits non-zero
# when a mark at 100 000 marks costs more than twice one at 1 000.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/bench
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2 --target log_marks >/dev/null
QT_QPA_PLATFORM=offscreen exec "$build/bench/log_marks"
