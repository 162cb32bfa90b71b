#!/usr/bin/env bash
# Runs a Windows program under Wine for ctest. Wine's own background
# processes (started with the first program of a session) inherit whatever
# the program's output is written to; were that ctest's pipe, ctest would wait
# for them for ever. So the output goes to a file, and is shown from there.
out=$(mktemp)
wine "$@" >"$out" 2>&1
rc=$?
cat "$out"
rm -f "$out"
exit $rc
