#!/usr/bin/env bash
# Builds the Debian packages of a build folder with CPack and checks each
# package's files (against deb/NAME.files; the multiarch folder and the build
# type are left out of the comparison) and its dependencies.
# Usage: deb_packages.sh BUILD_DIR WORK_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$1 work=$2
rm -rf "$work" && mkdir -p "$work"
(cd "$build" && cpack -G DEB -B "$work" >"$work/cpack.log" 2>&1) \
  || { tail -n 30 "$work/cpack.log" >&2; exit 1; }
version=$(sed -n 's/^#define MOBI_VERSION_STRING "\(.*\)"/\1/p' "$build/generated/mobi/version.h")
status=0
fail() { printf '%s\n' "$*" >&2; status=1; }
for list in "$here"/deb/*.files; do
  package=$(basename "$list" .files)
  deb=$(find "$work" -maxdepth 1 -name "${package}_${version}_*.deb" | head -n 1)
  if [ -z "$deb" ]; then fail "$package: no package built"; continue; fi
  files=$(dpkg-deb -c "$deb" | awk '{ print $6 }' | grep -v '/$' \
    | sed 's|^\./||; s|usr/lib/[a-z0-9_]*-linux-gnu/|usr/lib/|; s|mobiTargets-[a-z]*\.cmake|mobiTargets-CONFIG.cmake|' | sort)
  diff <(printf '%s\n' "$files") "$list" >"$work/$package.diff" \
    || fail "$package: files differ from deb/$package.files (< built, > expected):
$(cat "$work/$package.diff")"
  depends=$(dpkg-deb -f "$deb" Depends)
  case $package in
    libmobi-dev | mobi-tools | python3-mobi) want="libmobi1 (= $version)" ;;
    mobiapp) want="libqt6widgets6" ;;
    *) want="libstdc++6" ;;
  esac
  [[ $depends == *"$want"* ]] || fail "$package: Depends lacks $want: $depends"
  echo "$package $version: $(printf '%s\n' "$files" | wc -l) files; Depends: $depends"
done
exit $status
