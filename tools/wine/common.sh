# shellcheck shell=bash
# Shared by the scripts that run Windows programs under Wine (sourced, not
# run): where the build folder and its test prefix are, a cleanup that runs
# however the script ends, and a bounded wait for a path to appear.
#
#   . tools/wine/common.sh
#   build=$(mobi_build_dir)               the folder holding CMakeCache.txt
#   prefix=$(mobi_existing_prefix NAME)    MOBI_WINEPREFIX or <build>/wineprefix;
#                                          stops with a message naming NAME
#                                          when it holds no prefix yet
#   mobi_at_exit FUNCTION                  calls FUNCTION when the script ends,
#                                          also after Ctrl+C or a TERM signal
#                                          (the last registered first)
#   mobi_wait_for_path PATH [SECONDS]      waits (default 5 s) for PATH
#   loader=$(mobi_wine_loader 64|32)       Wine's loader for that architecture
#   mobi_wineboot LOG                      makes (or updates) $WINEPREFIX,
#                                          Wine's messages appended to LOG

# The build folder that the current folder is in (ctest runs tests inside it);
# the current folder itself if none is found.
mobi_build_dir() {
  local dir=$PWD
  while [ "$dir" != / ] && [ ! -f "$dir/CMakeCache.txt" ]; do dir=$(dirname "$dir"); done
  [ -f "$dir/CMakeCache.txt" ] || dir=$PWD
  printf '%s\n' "$dir"
}

mobi_wine_prefix() {
  local prefix=${MOBI_WINEPREFIX:-$(mobi_build_dir)/wineprefix}
  printf '%s\n' "${prefix%/}"
}

mobi_existing_prefix() {
  local prefix
  prefix=$(mobi_wine_prefix)
  if [ ! -d "$prefix/dosdevices" ]; then
    echo "$1: no Wine prefix at $prefix (ctest's fixture makes it)" >&2
    exit 1
  fi
  printf '%s\n' "$prefix"
}

_mobi_exit_commands=()
# shellcheck disable=SC2317 # run by the traps below
_mobi_run_exit_commands() {
  local i
  for ((i = ${#_mobi_exit_commands[@]} - 1; i >= 0; i--)); do
    "${_mobi_exit_commands[i]}" || true
  done
  _mobi_exit_commands=()
}
mobi_at_exit() {
  if [ ${#_mobi_exit_commands[@]} -eq 0 ]; then
    trap _mobi_run_exit_commands EXIT
    trap 'exit 143' TERM
    trap 'exit 130' INT
  fi
  _mobi_exit_commands+=("$1")
}

mobi_wait_for_path() {
  local path=$1 tenths=$((${2:-5} * 10)) i
  for ((i = 0; i < tenths; i++)); do
    [ -e "$path" ] && return 0
    sleep 0.1
  done
  [ -e "$path" ]
}

# Wine's loader for 64- or 32-bit programs. Debian's `wine` wrapper (and
# `wineboot`, which goes through it) picks the 32-bit loader whenever wine32
# is installed, even where this machine cannot run it; 64-bit programs and
# the prefix itself therefore go to the 64-bit loader directly.
mobi_wine_loader() {
  if [ "$1" = 64 ] && [ -x /usr/lib/wine/wine64 ]; then
    echo /usr/lib/wine/wine64
  elif [ "$1" = 32 ] && [ -x /usr/lib/wine/wine ]; then
    echo /usr/lib/wine/wine
  else
    echo wine
  fi
}

# Makes the 64-bit prefix $WINEPREFIX (bounded; 32-bit programs run in it
# too, as on 64-bit Windows).
mobi_wineboot() {
  mkdir -p "$WINEPREFIX" && timeout 300 "$(mobi_wine_loader 64)" wineboot -i >>"$1" 2>&1
}
