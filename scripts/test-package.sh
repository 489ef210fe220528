#!/bin/sh
# Checks the Debian package with lintian (any error, warning or information
# fails; pedantic remarks are shown), installs it into an empty root of its
# own, runs the installed program, checks that its banner shows the package's
# version and that the manual pages render cleanly, and removes the package.
# A package of another architecture (make package ARCH=arm64) is installed
# into a root that knows that architecture, and its programs run under
# qemu-user (scripts/qemu-user-namespace.sh).
# lintian is installed by `make package` (scripts/install-deps.sh package).
set -e
here=$(cd "$(dirname "$0")" && pwd)
deb=$(ls "${1:-build-package}"/vestrimond_*.deb | head -n 1)
arch=$(dpkg-deb --field "$deb" Architecture)
run=""
[ "$arch" = "$(dpkg --print-architecture)" ] || run="sh $here/qemu-user-namespace.sh $arch"
root=$(mktemp -d /tmp/vestrimond-package.XXXXXX)
trap 'rm -rf "$root"' EXIT

# lintian unpacks what it checks: not as root.
chmod 755 "$root"
cp "$deb" "$root/check.deb"
chmod 644 "$root/check.deb"
lint="lintian --display-info --pedantic --fail-on error,warning,info $root/check.deb"
# Machine code can read as a misspelt word (armhf's Thumb code holds "TEh"),
# and which ones depends on the code of the day. A package of another
# architecture carries the same texts as this machine's own, whose check
# reads their spelling.
[ -z "$run" ] || lint="$lint --suppress-tags spelling-error-in-binary"
if [ "$(id -u)" = 0 ]; then
    mkdir "$root/lintian"
    chown nobody "$root/lintian"
    lint="setpriv --reuid=nobody --regid=nogroup --clear-groups env HOME=$root/lintian TMPDIR=$root/lintian $lint"
fi
# In the check's own folder: the user nobody cannot enter a checkout that lies
# where only root may go (/root).
if ! (cd "$root" && $lint) >"$root/lintian.log" 2>&1; then
    cat "$root/lintian.log" >&2
    echo "lintian finds faults in $(basename "$deb")" >&2
    exit 1
fi
cat "$root/lintian.log"
rm "$root/check.deb"
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
touch "$root/var/lib/dpkg/status"
dpkg="dpkg --root=$root --force-depends --force-not-root --force-script-chrootless"
[ -z "$run" ] || $dpkg --add-architecture "$arch"

# The dependencies are not installed in the empty root: dpkg notes that.
$dpkg --install "$deb" >"$root/install.log" 2>&1 || { cat "$root/install.log" >&2; exit 1; }
for file in usr/bin/vestrimond usr/bin/vestrimond-sim usr/share/man/man1/vestrimond.1.gz \
    usr/share/man/man1/vestrimond-sim.1.gz usr/share/doc/vestrimond/copyright \
    usr/share/doc/vestrimond/examples/site.cfg; do
    [ -e "$root/$file" ] || { echo "missing after install: /$file" >&2; exit 1; }
done

status=0
$run "$root/usr/bin/vestrimond" </dev/null >"$root/out.txt" || status=$?
[ "$status" = 1 ] || { echo "vestrimond </dev/null: status $status, expected 1" >&2; exit 1; }
# The package's version without its Debian revision is the program's own.
version=$(dpkg-deb --field "$deb" Version)
banner="Vestrimond PC Host Digi Utility Version ${version%-*}"
head -n 1 "$root/out.txt" | grep -qxF "$banner" ||
    { echo "banner '$(head -n 1 "$root/out.txt")', package $version" >&2; exit 1; }
for page in vestrimond vestrimond-sim; do
    warnings=$(gzip -dc "$root/usr/share/man/man1/$page.1.gz" | groff -man -ww -z 2>&1)
    [ -z "$warnings" ] || { echo "$page.1: $warnings" >&2; exit 1; }
done

$dpkg --remove vestrimond >/dev/null
[ ! -e "$root/usr/bin/vestrimond" ] || { echo "still installed after removal" >&2; exit 1; }
echo "package $(basename "$deb"): installed, ran, removed"
