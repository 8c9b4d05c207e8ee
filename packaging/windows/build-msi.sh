#!/usr/bin/env bash
# Builds the Windows installers of Mobi.dll with wixl from the cross-builds
# (cmake --preset win64 / win32, then cmake --build):
#
#   build-msi.sh [--version X.Y.Z] BUILD_WIN64 BUILD_WIN32 OUTDIR
#
# leaves OUTDIR/Mobi-<version>-x64.msi and OUTDIR/Mobi-<version>-x86.msi.
# A build folder given as "-" skips its architecture. The version is the
# CMake project's (CMAKE_PROJECT_VERSION of the build folders, which must
# agree); --version overrides it (the upgrade test builds an older package).
#
# Each package installs Mobi.dll and Mobi.idl into Program Files\Mobi (the
# x86 one into the 32-bit Program Files folder) and registers the class, its
# programmatic identifier, the interfaces and the type library through the
# package's registry table, generated from the same entries that the DLL's
# own registration writes (bin/Mobi.registry.txt of the build). The entries
# that the registry keeps once for both architectures (the programmatic
# identifier, the type library's version key) are one component shared by
# both packages, so they stay while either package is installed.
set -euo pipefail

die() { printf 'build-msi: %s\n' "$*" >&2; exit 1; }

# Stable identifiers: the upgrade code of each architecture's product (a new
# version replaces an older one of its own architecture only), and the
# components.
UPGRADE_X64=FBC20687-9532-41AD-93CE-07C4649C7B4F
UPGRADE_X86=2A324BC5-8D6C-4409-B183-06B0F50D1564
COMPONENT_X64=367333D3-EA69-408C-A5B3-F022E56695C0
COMPONENT_X86=64663FE8-786B-46F0-A1F3-43F56944BA18
COMPONENT_SHARED=4CDA6E93-7461-49F7-8446-77FE16328F57

version=
if [ "${1:-}" = --version ]; then
  version=${2:?--version needs a value}
  shift 2
fi
[ $# -eq 3 ] || die "usage: build-msi.sh [--version X.Y.Z] BUILD_WIN64 BUILD_WIN32 OUTDIR"
build64=$1 build32=$2 outdir=$3
command -v wixl >/dev/null || die "wixl is not installed (Debian package wixl)"

project_version() {
  sed -n 's/^CMAKE_PROJECT_VERSION:[A-Z]*=//p' "$1/CMakeCache.txt"
}

# The installer's version has three parts: 1.0 is 1.0.0.
msi_version() {
  local v=$1
  while [ "$(tr -cd . <<<"$v" | wc -c)" -lt 2 ]; do v=$v.0; done
  [[ $v =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]] || die "not a package version: $1"
  echo "$v"
}

if [ -z "$version" ]; then
  for b in "$build64" "$build32"; do
    [ "$b" = - ] && continue
    [ -f "$b/CMakeCache.txt" ] || die "$b is not a configured build folder"
    v=$(project_version "$b")
    [ -n "$v" ] || die "$b/CMakeCache.txt names no project version"
    [ -z "$version" ] || [ "$version" = "$v" ] || die "the build folders differ in version ($version, $v)"
    version=$v
  done
fi
[ -n "$version" ] || die "no build folder given"
product_version=$(msi_version "$version")

xml() {
  local s=$1
  s=${s//&/&amp;} s=${s//</&lt;} s=${s//>/&gt;} s=${s//\"/&quot;}
  printf '%s' "$s"
}

# RegistryValue elements of one part ("own" or "shared") of the table; with
# a fourth argument, the first one is its component's key path.
registry_values() {
  local table=$1 want=$2 indent=$3 keypath=
  if [ -n "${4:-}" ]; then keypath=' KeyPath="yes"'; fi
  local part shared key name data kind
  while IFS='|' read -r part shared key name data kind; do
    if [ -z "$part" ] || [ "$shared" != "$want" ]; then continue; fi
    data=${data//\{DLL\}/[#MobiDll]}
    data=${data//\{FOLDER\}/[INSTALLDIR]}
    # A key alone: the registry table's name "*" creates it and removes it.
    [ "$kind" = key ] && { name='*'; data=''; }
    printf '%s<RegistryValue Root="HKCR" Key="%s"' "$indent" "$(xml "$key")"
    [ -n "$name" ] && printf ' Name="%s"' "$(xml "$name")"
    printf ' Value="%s" Type="string"%s/>\n' "$(xml "$data")" "$keypath"
    keypath=
  done <"$table"
}

# The package description of one architecture, from its build folder.
wxs() {
  local arch=$1 build=$2 table=$2/bin/Mobi.registry.txt
  local upgrade=$UPGRADE_X64 component=$COMPONENT_X64 win64=yes folder=ProgramFiles64Folder
  local title="Mobi (64-bit)"
  if [ "$arch" = x86 ]; then
    upgrade=$UPGRADE_X86 component=$COMPONENT_X86 win64=no folder=ProgramFilesFolder
    title="Mobi (32-bit)"
  fi
  [ -s "$table" ] || die "$table is missing: build the folder first (cmake --build $build)"
  cat <<EOF
<?xml version="1.0" encoding="utf-8"?>
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">
  <Product Id="*" Name="$title" Language="1033" Version="$product_version"
           Manufacturer="Mobi" UpgradeCode="$upgrade">
    <Package InstallerVersion="200" Compressed="yes" InstallScope="perMachine"
             Description="$title $version, the SMS automation component Mobi.clsSMS"/>
    <MajorUpgrade DowngradeErrorMessage="A newer version of $title is already installed."/>
    <Media Id="1" Cabinet="mobi.cab" EmbedCab="yes"/>
    <Directory Id="TARGETDIR" Name="SourceDir">
      <Directory Id="$folder">
        <Directory Id="INSTALLDIR" Name="Mobi">
          <Component Id="Mobi" Guid="$component" Win64="$win64">
            <File Id="MobiDll" Name="Mobi.dll" Source="Mobi.dll" KeyPath="yes"/>
            <File Id="MobiIdl" Name="Mobi.idl" Source="Mobi.idl"/>
$(registry_values "$table" own '            ')
          </Component>
          <Component Id="MobiShared" Guid="$COMPONENT_SHARED" Win64="$win64">
$(registry_values "$table" shared '            ' keypath)
          </Component>
        </Directory>
      </Directory>
    </Directory>
    <Feature Id="Mobi" Title="Mobi" Level="1">
      <ComponentRef Id="Mobi"/>
      <ComponentRef Id="MobiShared"/>
    </Feature>
  </Product>
</Wix>
EOF
}

# Builds one package in a staging folder (wixl takes sources relative to the
# folder it runs in).
build_msi() {
  local arch=$1 build=$2 out=$outdir/Mobi-$version-$1.msi stage
  for f in Mobi.dll Mobi.idl; do
    [ -f "$build/bin/$f" ] || die "$build/bin/$f is missing: build the folder first"
  done
  stage=$(mktemp -d "$outdir/.msi-$arch.XXXXXX")
  cp "$build/bin/Mobi.dll" "$build/bin/Mobi.idl" "$stage/"
  wxs "$arch" "$build" >"$stage/Mobi.wxs"
  if ! (cd "$stage" && wixl -a "$arch" -o "$out.part" Mobi.wxs 2>"$stage/wixl.log") ||
    grep -q 'WARNING\|CRITICAL' "$stage/wixl.log"; then
    cat "$stage/wixl.log" >&2
    rm -rf "$stage" "$out.part"
    die "wixl could not build $(basename "$out")"
  fi
  mv "$out.part" "$out"
  rm -rf "$stage"
  echo "$out"
}

mkdir -p "$outdir"
outdir=$(cd "$outdir" && pwd)
[ "$build64" = - ] || build_msi x64 "$(cd "$build64" && pwd)"
[ "$build32" = - ] || build_msi x86 "$(cd "$build32" && pwd)"
