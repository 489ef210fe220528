#!/bin/sh
# Checks the Windows releases of scripts/package-windows.sh under Wine, in a
# throw-away prefix, in the private mount namespace of no-serial-devices.sh,
# with a system PATH of 4000 characters (far beyond an NSIS string):
#   0. the PATH helper of the installer, on a table of PATHs;
#   1. an earlier version (2.82: these files with another README.txt and one
#      example more), made here and installed; the user adds files of theirs;
#   2. the installer, silent (/S), over it: exactly the release's files in
#      Program Files besides the user's, the earlier version's gone; one
#      uninstall entry, with the version the program shows; the program's
#      folder once at the end of the PATH, which is otherwise whole; the
#      Start-menu entries (the console starting in the user's
#      Documents\Vestrimond, where the examples were copied and the user's
#      changes stay, the manual, the examples); README.txt is the Windows
#      user's; the installed program, run in its folder with a piped session,
#      answers as the Linux build does, and --help points to Manual.txt;
#      vestrimond.exe carries that version in its version resource and the
#      icon of packaging/windows/make_icon.py, as the installer does; with a
#      CA, the program, the uninstaller and the installer are signed;
#   3. the ZIP: the same files, and the unzipped program answers the same;
#   4. the silent uninstall leaves nothing but the user's files, and gives
#      the PATH back as it was;
#   5. /D= installs into another folder, /NOPATH leaves the PATH alone, and
#      the uninstall leaves nothing.
# Usage: scripts/test-package-windows.sh [WINDOWS_PACKAGE_BUILD [LINUX_BUILD [CA]]]
# With CA, the certificate of the CA that issued the signing certificate, the
# signatures of the program, the uninstaller and the installer are verified.
set -e
cd "$(dirname "$0")/.."
if [ "${1:-}" != --inside-namespace ]; then
    exec sh scripts/no-serial-devices.sh sh scripts/test-package-windows.sh --inside-namespace "$@"
fi
shift
build=${1:-build-windows-package}
host_build=${2:-build}
certificate=${3:-}

setup=$(ls "$build"/vestrimond-*-setup.exe | head -n 1)
zip=$(ls "$build"/vestrimond-*-win64.zip | head -n 1)
[ -x "$host_build/vestrimond" ] || { echo "No Linux build in $host_build" >&2; exit 1; }

work=$(mktemp -d /tmp/vestrimond-windows-package.XXXXXX)
# The prefix's Documents and other user folders are linked to those of HOME.
HOME=$work/home
mkdir "$HOME"
export HOME
. scripts/wine-prefix.sh
start_wine "$work/prefix"
trap 'wineserver --kill >/dev/null 2>&1; rm -rf "$work"' EXIT INT TERM

# printf: the messages hold Windows paths, whose backslashes echo may read.
fail() {
    printf '%s\n' "$*" >&2
    exit 1
}

drive_c="$WINEPREFIX/drive_c"
program_files="$drive_c/Program Files/Vestrimond"
user_folder="$drive_c/users/$(id -un)"
start_menu="$user_folder/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Vestrimond"
work_folder="$user_folder/Documents/Vestrimond"
uninstall_root='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
uninstall_key="$uninstall_root\\Vestrimond"
environment_key='HKLM\System\CurrentControlSet\Control\Session Manager\Environment'
release_files="vestrimond.exe README.txt LICENSE.txt Manual.txt examples/site.cfg
examples/site.rul examples/firmware.hex examples/firmware.README.txt"

# The same session on both platforms, in the folder that holds examples/.
printf 'help\nconfigure examples\\site.cfg\ndconfigure\nx\n' >"$work/session-windows.txt"
printf 'help\nconfigure examples/site.cfg\ndconfigure\nx\n' >"$work/session-linux.txt"
"$host_build/vestrimond" <"$work/session-linux.txt" >"$work/expected.txt" ||
    fail "the Linux build failed the session"

# Runs the vestrimond.exe of the folder $1 in that folder; its output, with
# CR LF read as LF, must be the Linux build's.
check_session() {
    (cd "$1" && wine ./vestrimond.exe) <"$work/session-windows.txt" >"$work/raw.txt" ||
        fail "$1/vestrimond.exe: exit status $? for the session"
    tr -d '\r' <"$work/raw.txt" >"$work/out.txt"
    diff -u "$work/expected.txt" "$work/out.txt" >&2 ||
        fail "$1/vestrimond.exe answers otherwise than the Linux build"
}

# Value $1 of the uninstall entry (of the key $2), or nothing.
registry_value() {
    wine reg query "${2:-$uninstall_key}" /v "$1" 2>/dev/null | tr -d '\r' |
        sed -n "s/^ *$1 *REG_[A-Z_]* *//p"
}

system_path() {
    registry_value Path "$environment_key"
}

echo "== The PATH helper"
# Each line: the PATH after Wine's own entries, the helper's verb, its status,
# the PATH after it; the folder is C:\V. An entry names the folder whatever
# its letter case and a final backslash; every other entry, empty ones and a
# final ";" included, keeps its text and its place.
base_path="$(system_path)"
while IFS='|' read -r before verb status after; do
    wine reg add "$environment_key" /v Path /t REG_EXPAND_SZ /d "$base_path;$before" /f >/dev/null
    code=0
    wine "$build/system_path.exe" "$verb" 'C:\V' || code=$?
    [ "$code" = "$status" ] && [ "$(system_path)" = "$base_path;$after" ] ||
        fail "system_path $verb C:\\V on '$before': status $code, '$(system_path)'"
done <<'TABLE'
A;B|add|0|A;B;C:\V
A;;B;|add|0|A;;B;C:\V;
A;c:\v\;B|add|1|A;c:\v\;B
A;C:\V;B|remove|0|A;B
A;;C:\V;B;|remove|0|A;;B;
A;C:\V;B;c:\v\|remove|0|A;B
A;C:\Vx;B|remove|1|A;C:\Vx;B
A;B|frobnicate|2|A;B
TABLE
# A REG_SZ value stays one.
wine reg add "$environment_key" /v Path /t REG_SZ /d "$base_path" /f >/dev/null
wine "$build/system_path.exe" add 'C:\V' && [ "$(system_path)" = "$base_path;C:\\V" ] &&
    wine reg query "$environment_key" /v Path | grep -q ' REG_SZ ' ||
    fail "system_path on a REG_SZ PATH: $(wine reg query "$environment_key" /v Path)"
echo "the PATH helper adds and removes its folder alone"

# A system PATH of 4000 characters, far beyond the 1024 of an NSIS string,
# with an empty entry and a final ";" that must stay as they are.
long_path=$base_path
n=0
while [ ${#long_path} -lt 4000 ]; do
    n=$((n + 1))
    long_path="$long_path;C:\\Tools\\Instrument $n\\bin"
    [ $n != 40 ] || long_path="$long_path;"
done
long_path="$long_path;"
wine reg add "$environment_key" /v Path /t REG_EXPAND_SZ /d "$long_path" /f >/dev/null ||
    fail "could not set the long PATH"
[ "$(system_path)" = "$long_path" ] || fail "the long PATH does not read back"

# The Start-menu entry $1 starts $2 in the folder $3.
check_shortcut() {
    python3 scripts/windows_files.py shortcut "$start_menu/$1.lnk" >"$work/lnk.txt" ||
        fail "no Start-menu entry $1"
    grep -qxF "target=$2" "$work/lnk.txt" && grep -qxF "start=$3" "$work/lnk.txt" ||
        fail "the Start-menu entry $1: $(cat "$work/lnk.txt"), not $2 in $3"
}

# Tries the command every half second, at most $1 more times, until it
# succeeds.
poll_until() {
    tries=$1
    shift
    until "$@"; do
        [ "$tries" -gt 0 ] || return 1
        sleep 0.5
        tries=$((tries - 1))
    done
}

no_uninstall_entry() {
    [ -z "$(registry_value DisplayName)" ]
}

# Waits for the uninstaller, which runs from a copy of itself and removes the
# uninstall entry last.
wait_for_uninstall() {
    poll_until 60 no_uninstall_entry || fail "the uninstall entry stays"
}

# Waits for the uninstaller to clear $1.
wait_until_gone() {
    poll_until 120 [ ! -e "$1" ] || fail "left after the uninstall: $(find "$1" | tr '\n' ' ')"
}

echo "== An earlier version"
# The release's files with another README.txt and an example that this
# version no longer has, as version 2.82.
earlier="$work/earlier/Vestrimond"
mkdir "$work/earlier"
cp -R "$build/stage/Vestrimond" "$earlier"
echo "The earlier version's README" >"$earlier/README.txt"
echo "; an example of the earlier version" >"$earlier/examples/retired.cfg"
sh scripts/package-windows.sh --installer "$build" "$earlier" 2.82 "$work/earlier-setup.exe" ||
    fail "could not make the earlier version's installer"
wine "$work/earlier-setup.exe" /S || fail "the silent install of the earlier version failed"
[ "$(registry_value DisplayVersion)" = 2.82 ] && [ -f "$program_files/examples/retired.cfg" ] ||
    fail "the earlier version is not installed"
for file in "$earlier"/examples/*; do
    cmp -s "$file" "$work_folder/${file##*/}" || fail "${file##*/} not copied to Documents\\Vestrimond"
done
# The user's own files: one in the install folder, and in Documents\Vestrimond
# a changed example and one more.
echo "; the user's" >"$program_files/examples/mine.cfg"
echo "; changed by the user" >>"$work_folder/site.cfg"
cp "$work_folder/site.cfg" "$work/users-site.cfg"
echo "; the user's" >"$work_folder/mine.rul"
echo "installed 2.82, the user's files added"

echo "== Installer $setup, over it"
wine "$setup" /S || fail "the silent install failed"
for file in $release_files Uninstall.exe examples/mine.cfg; do
    [ -f "$program_files/$file" ] || fail "not installed: $file"
done
extra=$(cd "$program_files" && find . -type f | sed 's|^\./||' |
    grep -vxF -e Uninstall.exe -e examples/mine.cfg $(printf -- '-e %s ' $release_files)) || true
[ -z "$extra" ] || fail "installed beyond the release's files: $extra"
tr -d '\r' <"$program_files/README.txt" | cmp -s - packaging/windows/README.txt ||
    fail "README.txt is not packaging/windows/README.txt"
! grep -n -i -E 'linux|debian|/dev/|cmake|make |build' "$program_files/README.txt" ||
    fail "README.txt speaks of building or Linux"
[ "$(wine reg query "$uninstall_root" /s | grep -c '^ *DisplayName .*Vestrimond')" = 1 ] ||
    fail "not one uninstall entry: $(wine reg query "$uninstall_root" /s | grep DisplayName)"
cmp -s "$work_folder/site.cfg" "$work/users-site.cfg" && [ -f "$work_folder/mine.rul" ] ||
    fail "the update changed the user's files in Documents\\Vestrimond"
grep -q "$(printf '\r')\$" "$program_files/LICENSE.txt" || fail "LICENSE.txt without CR LF"
check_shortcut "Vestrimond console" 'C:\Program Files\Vestrimond\vestrimond.exe' \
    "C:\\users\\$(id -un)\\Documents\\Vestrimond"
check_shortcut "Vestrimond manual" 'C:\Program Files\Vestrimond\Manual.txt' 'C:\Program Files\Vestrimond'
check_shortcut "Vestrimond examples" 'C:\Program Files\Vestrimond\examples' 'C:\Program Files\Vestrimond'

check_session "$program_files"
(cd "$program_files" && wine ./vestrimond.exe --help) | tr -d '\r' | tail -n 1 >"$work/raw.txt"
grep -q ' Manual\.txt ' "$work/raw.txt" || fail "--help does not point to Manual.txt: $(cat "$work/raw.txt")"
banner_version=$(head -n 1 "$work/out.txt" | sed -n 's/^Vestrimond PC Host Digi Utility Version //p')
[ -n "$banner_version" ] || fail "no version in the banner"
[ "$(registry_value DisplayVersion)" = "$banner_version" ] ||
    fail "uninstall entry version '$(registry_value DisplayVersion)', banner '$banner_version'"
[ "$(registry_value InstallLocation)" = 'C:\Program Files\Vestrimond' ] ||
    fail "uninstall entry location '$(registry_value InstallLocation)'"
[ "$(registry_value QuietUninstallString)" = '"C:\Program Files\Vestrimond\Uninstall.exe" /S' ] ||
    fail "quiet uninstall '$(registry_value QuietUninstallString)'"
[ "$(system_path)" = "${long_path}C:\Program Files\Vestrimond;" ] ||
    fail "the PATH after the install: $(system_path)"

# 2.83b: 2.83.2.0 in numbers, b the second letter.
release=${banner_version%[a-z]}
letter=0
[ "$release" = "$banner_version" ] || letter=$(($(printf '%d' "'${banner_version#"$release"}") - 96))
python3 scripts/windows_files.py version "$program_files/vestrimond.exe" >"$work/version.txt" ||
    fail "no version resource in vestrimond.exe"
for line in "fixed-file-version=$release.$letter.0" "fixed-product-version=$release.$letter.0" \
    "FileVersion=$banner_version" "ProductVersion=$banner_version" \
    "ProductName=Vestrimond host utility" "OriginalFilename=vestrimond.exe"; do
    grep -qxF "$line" "$work/version.txt" || fail "not in the version resource: $line"
done
grep -q '^FileDescription=Vestrimond ' "$work/version.txt" &&
    grep -q '^LegalCopyright=Copyright ' "$work/version.txt" ||
    fail "the version resource without a description or a copyright: $(cat "$work/version.txt")"
python3 packaging/windows/make_icon.py --check packaging/windows/vestrimond.ico || exit 1
for program in "$program_files/vestrimond.exe" "$setup"; do
    python3 scripts/windows_files.py icon "$program" packaging/windows/vestrimond.ico || exit 1
done
echo "installed over 2.82, ran as the Linux build, version $banner_version registered and in vestrimond.exe"

if [ -n "$certificate" ]; then
    for program in "$program_files/vestrimond.exe" "$program_files/Uninstall.exe" "$setup"; do
        osslsigncode verify -CAfile "$certificate" -in "$program" >"$work/verify.txt" 2>&1 ||
            { cat "$work/verify.txt" >&2; fail "$program: no signature that verifies"; }
    done
    echo "the program, the uninstaller and the installer signed"
else
    echo "the signatures not checked: no CA given"
fi

echo "== ZIP $zip"
mkdir "$work/zip"
unzip -q "$zip" -d "$work/zip"
[ "$(cd "$work/zip/Vestrimond" && find . -type f | sed 's|^\./||' | sort)" = \
  "$(printf '%s\n' $release_files | sort)" ] || fail "the ZIP holds other files than the installer"
for file in $release_files; do
    cmp -s "$work/zip/Vestrimond/$file" "$program_files/$file" || fail "$file differs in the ZIP"
done
check_session "$work/zip/Vestrimond"
echo "the installer's files, ran as the Linux build"

echo "== Uninstall"
wine "$program_files/Uninstall.exe" /S || fail "the silent uninstall failed"
wait_for_uninstall
wait_until_gone "$start_menu"
left=$(cd "$program_files" && find . | sort | tr '\n' ' ')
[ "$left" = ". ./examples ./examples/mine.cfg " ] || fail "left after the uninstall: $left"
cmp -s "$work_folder/site.cfg" "$work/users-site.cfg" && [ -f "$work_folder/mine.rul" ] ||
    fail "the uninstall took the user's files in Documents\\Vestrimond"
[ "$(system_path)" = "$long_path" ] || fail "the PATH after the uninstall: $(system_path)"
echo "nothing left but the user's files, the PATH as it was"
rm -r "$program_files"

echo "== Installer with /NOPATH /D="
wine "$setup" /S /NOPATH '/D=C:\Tools\Vestrimond' || fail "the silent install into C:\\Tools failed"
[ "$(system_path)" = "$long_path" ] || fail "the PATH changed with /NOPATH: $(system_path)"
[ -f "$drive_c/Tools/Vestrimond/vestrimond.exe" ] || fail "not installed into C:\\Tools\\Vestrimond"
[ ! -e "$program_files" ] || fail "installed into Program Files as well"
[ "$(registry_value InstallLocation)" = 'C:\Tools\Vestrimond' ] ||
    fail "uninstall entry location '$(registry_value InstallLocation)'"
wine "$drive_c/Tools/Vestrimond/Uninstall.exe" /S || fail "the silent uninstall failed"
wait_for_uninstall
wait_until_gone "$drive_c/Tools/Vestrimond"
wait_until_gone "$start_menu"
[ "$(system_path)" = "$long_path" ] || fail "the PATH after the uninstall: $(system_path)"
echo "installed into C:\\Tools\\Vestrimond without the PATH entry, and removed"

echo "$(basename "$setup"): $(wc -c <"$setup") bytes, $(basename "$zip"): $(wc -c <"$zip") bytes"
