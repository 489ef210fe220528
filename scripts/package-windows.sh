#!/bin/sh
# Builds the Windows releases from a MinGW-w64 build without the tests:
#   BUILD/vestrimond-VERSION-setup.exe  the installer (packaging/windows/vestrimond.nsi)
#   BUILD/vestrimond-VERSION-win64.zip  the same files in a folder Vestrimond\
# The files: vestrimond.exe, README.txt (packaging/windows/README.txt),
# LICENSE.txt, Manual.txt (doc/vestrimond.1 as plain text) and examples\,
# every text with CR LF line ends.
# Signed when a certificate is given: a PKCS#12 file in VESTRIMOND_SIGN_PFX,
# its password in VESTRIMOND_SIGN_PASSWORD (scripts/sign-windows.sh signs the
# program, the uninstaller and the installer); unsigned otherwise, and it
# says so.
# Usage: scripts/package-windows.sh [BUILD_DIR]
#        scripts/package-windows.sh --installer BUILD_DIR STAGE VERSION OUTFILE
# Installs what it needs when run as root (scripts/install-deps.sh). The
# second form makes only an unsigned installer of the files of STAGE, as
# version VERSION, with the helper of BUILD_DIR (an earlier version, for the
# test of an update); STAGE and OUTFILE are absolute paths.
set -e
cd "$(dirname "$0")/.."
here=$(pwd)
sign=""

# The path $1, absolute: makensis and the signer run in other folders.
absolute() {
    case $1 in
        /*) echo "$1" ;;
        *) echo "$here/$1" ;;
    esac
}

# make_installer STAGE VERSION OUTFILE: the installer of the files of STAGE,
# with an uninstaller that removes exactly those: each file, then each
# folder, deepest first. makensis takes relative paths from the folder of the
# script: every path is absolute.
make_installer() {
    helper=$(absolute "$build/system_path.exe")
    (
        cd "$1"
        find . -type f | sort | sed 's|^\./|Delete "$INSTDIR\\|; s|$|"|'
        find . -mindepth 1 -depth -type d | sed 's|^\./|RMDir "$INSTDIR\\|; s|$|"|'
    ) | sed 's|/|\\|g' >"$1.uninstall.nsh"
    makensis -V2 -DVERSION="$2" -DSTAGE="$1" -DUNINSTALL_LIST="$1.uninstall.nsh" \
        -DSYSTEM_PATH="$helper" -DICON="$here/packaging/windows/vestrimond.ico" \
        -DOUTFILE="$3" ${sign:+-DSIGN="$sign"} packaging/windows/vestrimond.nsi
}

if [ "${1:-}" = --installer ]; then
    build=$2
    make_installer "$3" "$4" "$5"
    exit 0
fi

build=${1:-build-windows-package}
jobs=${JOBS:-2}

sh scripts/install-deps.sh windows-package
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
    -DCMAKE_BUILD_TYPE=Release -DVESTRIMOND_TESTS=OFF
cmake --build "$build" -j"$jobs"

# The version the program itself shows.
version=$(sed -n 's/.*"Version \([^"]*\)".*/\1/p' "$build/common/version.h")
[ -n "$version" ] || { echo "no version in $build/common/version.h" >&2; exit 1; }

stage="$build/stage/Vestrimond"
rm -rf "$build/stage"
mkdir -p "$stage/examples"

crlf() {
    sed 's/\r$//; s/$/\r/' "$1" >"$2"
}

x86_64-w64-mingw32-strip -o "$stage/vestrimond.exe" "$build/vestrimond.exe"
# The installer's helper goes into the installer and the uninstaller only.
x86_64-w64-mingw32-strip -o "$build/system_path.exe" "$build/packaging/windows/system_path.exe"
if [ -n "${VESTRIMOND_SIGN_PFX:-}" ]; then
    VESTRIMOND_SIGN_PFX=$(absolute "$VESTRIMOND_SIGN_PFX")
    export VESTRIMOND_SIGN_PFX
    sh scripts/sign-windows.sh "$stage/vestrimond.exe" "$build/system_path.exe"
    sign="sh \"$here/scripts/sign-windows.sh\""
    echo "Signed with the certificate of $VESTRIMOND_SIGN_PFX"
else
    echo "No certificate in VESTRIMOND_SIGN_PFX: the program and the installer are not signed"
fi
# The README of the Windows user, not the developers' README.md.
crlf packaging/windows/README.txt "$stage/README.txt"
crlf LICENSE "$stage/LICENSE.txt"
# Plain text, without the terminal's bold and underline, and without the
# parts about Linux.
groff -man -Tascii -P-cbou -ww -rwindows=1 doc/vestrimond.1 >"$build/Manual.txt"
crlf "$build/Manual.txt" "$stage/Manual.txt"
for example in site.cfg site.rul firmware.hex; do
    crlf "examples/$example" "$stage/examples/$example"
done
crlf examples/firmware.README "$stage/examples/firmware.README.txt"

setup="$build/vestrimond-$version-setup.exe"
zip="$build/vestrimond-$version-win64.zip"
make_installer "$here/$stage" "$version" "$here/$setup"
rm -f "$zip"
(cd "$build/stage" && zip -q -r -X "$(basename "$zip")" Vestrimond && mv "$(basename "$zip")" ..)

for file in "$setup" "$zip"; do
    echo "$file: $(wc -c <"$file") bytes"
done
