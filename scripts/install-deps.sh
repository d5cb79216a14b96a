#!/usr/bin/env bash
# Installs the Debian 12 packages Quorvel needs, skipping those present.
#   install-deps.sh          what building and running need
#   install-deps.sh --test   also the real servers the interoperability tests start on loopback, and
#                            the tools that build and check the Debian package
# Daemons are installed without being started: the tests and the run command start private
# instances of their own, and no server of the system is started or touched.
set -euo pipefail

packages=(
  g++ cmake make ccache pkg-config
  qt6-base-dev libqt6sql6-mysql qt6-charts-dev libqt6opengl6-dev libssl-dev ca-certificates libc-ares-dev
  zlib1g-dev
  libsystemd-dev
  mariadb-server mariadb-client
  xvfb xauth python3
)
if [ "${1:-}" = "--test" ]; then
  packages+=(
    libgtest-dev libgmock-dev libbenchmark-dev clang-format openssl
    nginx-light dovecot-imapd dovecot-pop3d opensmtpd pure-ftpd libwrap0 tinyproxy python3-aiosmtpd
    fping curl iputils-ping dnsmasq-base monitoring-plugins-basic monitoring-plugins-standard bind9-dnsutils
    systemd
    galera-4 rsync iproute2
    desktop-file-utils appstream man-db
    dpkg-dev lintian libcap2-bin file
  )
fi

# A third-party SMSC for the SMS alarm's interoperability test: node-smpp from the npm registry.
# Best effort: without it that one test is skipped.
install_smsc() {
  # Debian's nodejs and npm only where no node is installed (another build may carry its own npm).
  command -v node >/dev/null 2>&1 || $sudo apt-get install -y -q --no-install-recommends nodejs || return 0
  command -v npm >/dev/null 2>&1 || $sudo apt-get install -y -q --no-install-recommends npm || return 0
  local root
  root=$(npm root -g 2>/dev/null) || return 0
  [ -d "$root/smpp" ] && return 0
  $sudo npm install -g --no-audit --no-fund smpp@0.5.1 >/dev/null 2>&1 ||
    echo "note: npm install -g smpp@0.5.1 failed; the SMPP interoperability test will be skipped"
}

# vsftpd for the FTP-over-TLS interoperability test. Debian's vsftpd and pure-ftpd packages
# conflict (both are the system's ftp-server), so vsftpd's program is unpacked from its package
# into /usr/local/sbin without installing the package, and the unprivileged user "ftp" it runs
# anonymous sessions as is made here. Best effort: without it that one test is skipped.
install_vsftpd() {
  # vsftpd changes into the home of "ftp" before its anonymous root, so the home must exist.
  ftp_home() {
    local home
    home=$(getent passwd ftp | cut -d: -f6)
    [ -n "$home" ] && [ ! -d "$home" ] && $sudo mkdir -p "$home"
    return 0
  }
  [ -x /usr/local/sbin/vsftpd ] && getent passwd ftp >/dev/null && { ftp_home; return 0; }
  local tmp
  tmp=$(mktemp -d)
  if (cd "$tmp" && apt-get download -q vsftpd >/dev/null 2>&1 ||
      { $sudo apt-get update -q >/dev/null && apt-get download -q vsftpd >/dev/null; }) &&
    dpkg-deb -x "$tmp"/vsftpd_*.deb "$tmp/root"; then
    $sudo install -m 755 "$tmp/root/usr/sbin/vsftpd" /usr/local/sbin/vsftpd
    getent passwd ftp >/dev/null ||
      $sudo useradd --system --home-dir /srv/ftp --no-create-home --shell /usr/sbin/nologin ftp || true
    ftp_home
  else
    echo "note: vsftpd could not be unpacked; the FTP-over-TLS interoperability test will be skipped"
  fi
  rm -rf "$tmp"
  return 0
}

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -eq 0 ]; then
  [ "${1:-}" = "--test" ] && { install_smsc; install_vsftpd; }
  exit 0
fi
export DEBIAN_FRONTEND=noninteractive

# Keep the packages' own services from starting (invoke-rc.d honours policy-rc.d).
policy=/usr/sbin/policy-rc.d
own_policy=0
if [ ! -e "$policy" ]; then
  printf '#!/bin/sh\nexit 101\n' | $sudo tee "$policy" >/dev/null
  $sudo chmod +x "$policy"
  own_policy=1
fi
cleanup() { [ "$own_policy" = 1 ] && $sudo rm -f "$policy"; return 0; }
trap cleanup EXIT

echo "Installing: ${missing[*]}"
if ! $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"; then
  $sudo apt-get update -q
  $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
[ "${1:-}" = "--test" ] && { install_smsc; install_vsftpd; }
exit 0
