#!/usr/bin/env bash
# Runs a build tool (mobi_typelib_builder, mobi_registry_table) under Wine at
# build time and always ends the build prefix's wineserver afterwards, whether
# the tool succeeded or not.
#   run_builder.sh WINE_RUN BITS BUILDER ARGS...
set -u
wine_run=$1; bits=$2; shift 2
"$wine_run" "$bits" "$@"
rc=$?
"$wine_run" "$bits" --stop
if [ $rc -ne 0 ]; then
  echo "$(basename "$1") failed (exit $rc); Wine's messages: ${MOBI_WINEPREFIX:-wineprefix}.log" >&2
fi
exit $rc
