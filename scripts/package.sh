#!/usr/bin/env bash
# Builds the Debian package quorvel_<version>_<arch>.deb with cpack.
#   package.sh [--check] [--build-dir DIR] [--out DIR]
# Without --build-dir: a release build in build-package (no tests, no benchmarks). With it: that
# build folder, brought up to date first. The package goes to --out (default dist/).
# --check then checks the package: its files and dependencies, lintian without errors,
# desktop-file-validate, appstreamcli validate --no-net, man -l without warnings on each page,
# and an install with dpkg into a scratch root (post-install step included) whose programs print
# their version. It ends with status 77 when a tool it needs is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

check=0
build=""
out="$root/dist"
while [ $# -gt 0 ]; do
  case "$1" in
    --check) check=1 ;;
    --build-dir) build=$(realpath -m "$2"); shift ;;
    --out) out=$(realpath -m "$2"); shift ;;
    *) echo "usage: $0 [--check] [--build-dir DIR] [--out DIR]" >&2; exit 2 ;;
  esac
  shift
done

need=(cmake cpack dpkg-deb dpkg-shlibdeps)
[ "$check" = 1 ] && need+=(lintian desktop-file-validate appstreamcli man dpkg)
missing=()
for tool in "${need[@]}"; do
  command -v "$tool" >/dev/null 2>&1 || missing+=("$tool")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "package: missing ${missing[*]} (bash scripts/install-deps.sh --test installs them)" >&2
  exit 77
fi

if [ -z "$build" ]; then
  build="$root/build-package"
  generator=()
  command -v ninja >/dev/null 2>&1 && [ ! -f "$build/CMakeCache.txt" ] && generator=(-G Ninja)
  cmake -S . -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DQUORVEL_BUILD_TESTS=OFF -DQUORVEL_BUILD_BENCH=OFF >/dev/null
fi

# The programs the package holds are brought up to date (cpack itself builds what `install` needs).
cmake --build "$build" -j "$(nproc)" --target quorvel quorvel-probe quorveld >/dev/null

mkdir -p "$out"
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
deb="$out/quorvel_${version}_$(dpkg --print-architecture).deb"
rm -f "$deb"
cpack --config "$build/CPackConfig.cmake" -B "$out" >"$out/cpack.log" 2>&1 || {
  cat "$out/cpack.log" >&2
  exit 1
}
rm -rf "$out/_CPack_Packages"
[ -f "$deb" ] || { echo "package: cpack made no $deb" >&2; exit 1; }
echo "package: $deb"
[ "$check" = 1 ] || exit 0

fail() { echo "package: $*" >&2; exit 1; }
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# The files an installed copy needs, where it looks for them.
contents=$(dpkg-deb -c "$deb" | awk '{print $NF}' | sed 's|^\./|/|')
for file in /usr/bin/quorvel /usr/bin/quorvel-probe /usr/sbin/quorveld \
  /usr/share/quorvel/help/Quorvel.html /usr/share/quorvel/help/first-steps/8-main-window.png /usr/share/quorvel/tolvern.gif /usr/share/quorvel/Splash98.png \
  /usr/share/applications/quorvel.desktop /usr/share/metainfo/org.tolvern.quorvel.metainfo.xml \
  /usr/share/icons/hicolor/scalable/apps/quorvel.svg /usr/share/icons/hicolor/16x16/apps/quorvel.png \
  /usr/share/icons/hicolor/256x256/apps/quorvel.png /usr/share/man/man1/quorvel.1.gz \
  /usr/share/man/man1/quorvel-probe.1.gz /usr/share/man/man8/quorveld.8.gz \
  /usr/share/doc/quorvel/copyright /usr/share/doc/quorvel/changelog.gz; do
  grep -qx -- "$file" <<<"$contents" || fail "the package lacks $file"
done
grep -Eq '^/(usr/)?lib/systemd/system/quorveld\.service$' <<<"$contents" || fail "the package lacks the unit"
grep -Eq '^/(usr/)?lib/sysusers\.d/quorveld\.conf$' <<<"$contents" || fail "the package lacks the sysusers entry"
depends=$(dpkg-deb -f "$deb" Depends)
for dependency in libqt6sql6-mysql libqt6core6 libqt6widgets6 libc6 libssl3 libsystemd0 libcap2-bin; do
  grep -q "\b$dependency\b" <<<"$depends" || fail "Depends lacks $dependency: $depends"
done

# lintian: errors fail, the rest is shown.
lintian_options=(--fail-on error --tag-display-limit 0)
[ "$(id -u)" = 0 ] && lintian --help 2>&1 | grep -q -- --allow-root && lintian_options+=(--allow-root)
lintian "${lintian_options[@]}" "$deb" >"$scratch/lintian.txt" 2>&1 || {
  cat "$scratch/lintian.txt" >&2
  fail "lintian found errors"
}
grep -v "running with root privileges" "$scratch/lintian.txt" | sed 's/^/lintian: /' || true

# The desktop files and pages as installed.
dpkg-deb -x "$deb" "$scratch/x"
desktop-file-validate "$scratch/x/usr/share/applications/quorvel.desktop" || fail "quorvel.desktop is not valid"
appstreamcli validate --no-net "$scratch/x/usr/share/metainfo/org.tolvern.quorvel.metainfo.xml" ||
  fail "the metainfo is not valid"
for page in "$scratch"/x/usr/share/man/man*/*.gz; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "$(basename "$page"): $warnings"
done

# An install with dpkg into a scratch root: the post-install step runs outside a chroot, with
# DPKG_ROOT naming that root; the programs then start from it, with this machine's libraries.
target="$scratch/root"
mkdir -p "$target/var/lib/dpkg/info" "$target/var/lib/dpkg/updates" "$target/etc"
: >"$target/var/lib/dpkg/status"
printf 'root:x:0:0:root:/root:/bin/sh\n' >"$target/etc/passwd"
printf 'root:x:0:\n' >"$target/etc/group"
dpkg --root="$target" --force-depends --force-script-chrootless --force-bad-path --log=/dev/null \
  -i "$deb" >"$scratch/dpkg.txt" 2>&1 || { cat "$scratch/dpkg.txt" >&2; fail "dpkg could not install the package"; }
# Dependencies are not installed in the scratch root; what the post-install step said is shown.
sed -n '/^Setting up/,$p' "$scratch/dpkg.txt" | sed 's/^/dpkg: /'
if command -v systemd-sysusers >/dev/null 2>&1; then
  grep -q '^quorveld:' "$target/etc/passwd" || fail "the post-install step made no user quorveld"
fi
for program in usr/bin/quorvel usr/bin/quorvel-probe usr/sbin/quorveld; do
  name=$(basename "$program")
  [ "$(QT_QPA_PLATFORM=offscreen "$target/$program" --version)" = "$name $version" ] ||
    fail "the installed $name does not say \"$name $version\""
  if command -v getcap >/dev/null 2>&1; then
    getcap "$target/$program" | grep -q cap_net_raw ||
      grep -q "could not give $target/$program the ping capability" "$scratch/dpkg.txt" ||
      fail "$name got neither the ping capability nor a message saying why"
  fi
done

# A file system that cannot keep capabilities: the step says so and still succeeds.
mkdir -p "$scratch/bin"
printf '#!/bin/sh\necho "Failed to set capabilities on file: Operation not supported" >&2\nexit 1\n' \
  >"$scratch/bin/setcap"
chmod +x "$scratch/bin/setcap"
message=$(DPKG_ROOT="$target" PATH="$scratch/bin:$PATH" sh "$target/var/lib/dpkg/info/quorvel.postinst" configure 2>&1) ||
  fail "the post-install step failed where capabilities cannot be set"
grep -q "could not give $target/usr/bin/quorvel-probe the ping capability" <<<"$message" ||
  fail "no clear message where capabilities cannot be set: $message"

dpkg --root="$target" --force-script-chrootless --force-bad-path --log=/dev/null --purge quorvel >/dev/null ||
  fail "dpkg could not remove the package"
[ ! -e "$target/usr/bin/quorvel" ] || fail "the removal left /usr/bin/quorvel"
echo "package: $deb checked (contents, dependencies, lintian, desktop entry, metainfo, manual pages, install)"
