#!/usr/bin/env bash
# The desktop entry, the AppStream metainfo and the manual pages are valid, and the pages say what
# the programs' own help says (each page is made from it and must be remade when it changes).
#   test_packaging_files.sh QUORVEL QUORVEL_PROBE QUORVELD [BUILD_DIR]
# With BUILD_DIR it also installs that build twice, as a tree and under /usr (into a staging
# folder), and finds the help and the pictures where each kind of copy looks for them.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root="$here/../.."
pkg="$root/packaging"
quorvel=$1
probe=$2
quorveld=$3
build=${4:-}
fail() { echo "packaging: $*"; exit 1; }

desktop-file-validate "$pkg/quorvel.desktop" || fail "quorvel.desktop is not valid"
appstreamcli validate --no-net "$pkg/org.tolvern.quorvel.metainfo.xml" >/dev/null ||
  fail "the metainfo is not valid: $(appstreamcli validate --no-net "$pkg/org.tolvern.quorvel.metainfo.xml")"

for page in quorvel.1 quorvel-probe.1 quorveld.8; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$pkg/man/$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "$page: $warnings"
done

version=$("$quorvel" --version | awk '{print $2}')
[ "$("$probe" --version)" = "quorvel-probe $version" ] || fail "the programs disagree on the version"
[ "$("$quorveld" --version)" = "quorveld $version" ] || fail "the programs disagree on the version"
grep -q "^\.TH QUORVEL 1 \"\" \"Quorvel $version\"" "$pkg/man/quorvel.1" || fail "quorvel.1 is not of version $version"
grep -q "<release version=\"$version\"" "$pkg/org.tolvern.quorvel.metainfo.xml" ||
  fail "the metainfo names no release $version"

# Every option of quorvel --help is in its page.
for option in $("$quorvel" --help | grep -o -- '--[a-z-]*' | sort -u); do
  grep -q -- "${option//-/\\\\-}" "$pkg/man/quorvel.1" || fail "quorvel.1 lacks $option"
done

# Each PNG icon has the size of the hicolor folder it is installed in.
for size in 16 32 48 64 128 256; do
  file "$pkg/icons/quorvel-$size.png" | grep -q "PNG image data, $size x $size," ||
    fail "quorvel-$size.png is not $size x $size (scripts/icons-from-svg.sh draws them)"
done

grep -q "^quorvel ($version) " "$pkg/deb/changelog" || fail "the package's change log does not begin with $version"

# Each page is its program's help, remade.
tmp=$(mktemp)
trap 'rm -f "$tmp"' EXIT
python3 "$root/scripts/man-from-help.py" "$quorvel" >"$tmp"
diff -u "$pkg/man/quorvel.1" "$tmp" >&2 ||
  fail "quorvel.1 differs from the help: run scripts/man-from-help.py $quorvel > packaging/man/quorvel.1"
python3 "$root/scripts/man-from-help.py" "$probe" >"$tmp"
diff -u "$pkg/man/quorvel-probe.1" "$tmp" >&2 ||
  fail "quorvel-probe.1 differs from the help: run scripts/man-from-help.py $probe > packaging/man/quorvel-probe.1"
python3 "$root/scripts/man-from-help.py" "$quorveld" >"$tmp"
diff -u "$pkg/man/quorveld.8" "$tmp" >&2 ||
  fail "quorveld.8 differs from the help: run scripts/man-from-help.py $quorveld > packaging/man/quorveld.8"
if [ -n "$build" ]; then
  stage=$(mktemp -d)
  trap 'rm -f "$tmp"; rm -rf "$stage"' EXIT
  cmake --install "$build" --prefix "$stage/tree" >/dev/null
  for file in help/Quorvel.html bin/tolvern.gif bin/Splash98.png; do
    [ -f "$stage/tree/$file" ] || fail "an installation tree lacks $file"
  done
  DESTDIR="$stage/system" cmake --install "$build" --prefix /usr >/dev/null
  for file in share/quorvel/help/Quorvel.html share/quorvel/tolvern.gif share/quorvel/Splash98.png; do
    [ -f "$stage/system/usr/$file" ] || fail "an install under /usr lacks /usr/$file"
  done
  grep -q '^ExecStart=/usr/sbin/quorveld ' "$stage/system/usr/lib/systemd/system/quorveld.service" ||
    fail "the unit installed under /usr does not start /usr/sbin/quorveld"
fi
echo "packaging: desktop entry, metainfo and manual pages valid and up to date"
