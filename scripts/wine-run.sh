#!/usr/bin/env bash
# Runs a Windows program under Wine for ctest. Wine's own background
# processes (started with the first program of a session) inherit whatever
# the program's output is written to; were that ctest's pipe, ctest would wait
# for them for ever. So the output goes to a file, and is shown from there.
# Wine's own errors (a program it could not load, a library missing) come
# with the program's output, which ctest shows only for a failed test; the
# rest of what Wine could say stays off. A WINEDEBUG of the caller's own wins.
case "${WINEDEBUG:-}" in "" | -all) export WINEDEBUG=-all,err+all ;; esac
out=$(mktemp)
wine "$@" >"$out" 2>&1
rc=$?
cat "$out"
# A program that never ran (Wine itself gave up) says nothing: say so.
[ $rc -ne 0 ] && [ ! -s "$out" ] && echo "wine-run: wine ended with code $rc and no output: $*"
rm -f "$out"
exit $rc
