#!/bin/sh
# Installs the Debian package into an empty root of its own, runs the installed
# program, checks the manual pages render cleanly, and removes the package.
set -e
deb=$(ls "${1:-build-package}"/vestrimond_*.deb | head -n 1)
root=$(mktemp -d /tmp/vestrimond-package.XXXXXX)
trap 'rm -rf "$root"' EXIT
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
touch "$root/var/lib/dpkg/status"
dpkg="dpkg --root=$root --force-depends --force-not-root --force-script-chrootless"

# The dependencies are not installed in the empty root: dpkg notes that.
$dpkg --install "$deb" >"$root/install.log" 2>&1 || { cat "$root/install.log" >&2; exit 1; }
for file in usr/bin/vestrimond usr/bin/vestrimond-sim usr/share/man/man1/vestrimond.1 \
    usr/share/man/man1/vestrimond-sim.1 usr/share/doc/vestrimond/examples/site.cfg; do
    [ -e "$root/$file" ] || { echo "missing after install: /$file" >&2; exit 1; }
done

status=0
"$root/usr/bin/vestrimond" </dev/null >"$root/out.txt" || status=$?
[ "$status" = 1 ] || { echo "vestrimond </dev/null: status $status, expected 1" >&2; exit 1; }
head -n 1 "$root/out.txt" | grep -qx "Vestrimond PC Host Digi Utility Version 2.83b" ||
    { echo "unexpected banner: $(head -n 1 "$root/out.txt")" >&2; exit 1; }
for page in vestrimond vestrimond-sim; do
    warnings=$(groff -man -ww -z "$root/usr/share/man/man1/$page.1" 2>&1)
    [ -z "$warnings" ] || { echo "$page.1: $warnings" >&2; exit 1; }
done

$dpkg --remove vestrimond >/dev/null
[ ! -e "$root/usr/bin/vestrimond" ] || { echo "still installed after removal" >&2; exit 1; }
echo "package $(basename "$deb"): installed, ran, removed"
