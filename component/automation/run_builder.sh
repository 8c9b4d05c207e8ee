#!/usr/bin/env bash
# Runs mobi_typelib_builder under Wine at build time and always ends the
# build prefix's wineserver afterwards, whether the builder succeeded or not.
#   run_builder.sh WINE_RUN BITS BUILDER ARGS...
set -u
wine_run=$1; bits=$2; shift 2
"$wine_run" "$bits" "$@"
rc=$?
"$wine_run" "$bits" --stop
if [ $rc -ne 0 ]; then
  echo "mobi_typelib_builder failed (exit $rc); Wine's messages: ${MOBI_WINEPREFIX:-wineprefix}.log" >&2
fi
exit $rc
