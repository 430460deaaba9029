#!/usr/bin/env bash
# in_xvfb.sh SCREEN PROGRAM [ARGS...]: runs a program in a private X server of that screen
# size (for example 1024x768). Exit 77 (skipped) when Xvfb or the tools are missing.
set -u
screen=$1
shift
for tool in xvfb-run Xvfb xauth xdotool import; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "SKIP: $tool is not installed (scripts/install-deps installs it)"
    exit 77
  fi
done
exec timeout 120 xvfb-run -a -s "-screen 0 ${screen}x24 -nolisten tcp" "$@"
