#!/usr/bin/env bash
# Runs a Windows program under Wine for ctest. Wine's own background
# processes (started with the first program of a session) inherit whatever
# the program's output is written to; were that ctest's pipe, ctest would wait
# for them for ever. So the output goes to a file, and is shown from there.
out=$(mktemp)
wine "$@" >"$out" 2>&1
rc=$?
cat "$out"
# A program that never ran (Wine itself gave up) says nothing: say so.
[ $rc -ne 0 ] && [ ! -s "$out" ] && echo "wine-run: wine ended with code $rc and no output: $*"
rm -f "$out"
exit $rc
