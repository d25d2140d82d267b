#!/usr/bin/env bash
# Installs the Debian packages Orvik needs to build, run and test; quick when
# nothing is missing.
set -euo pipefail
packages=(
  build-essential cmake ninja-build ccache mold pkg-config
  qt6-base-dev xvfb xauth xdotool imagemagick fonts-dejavu-core fonts-wqy-zenhei
  libssh-dev openssh-server openssh-client libssl-dev openssl
  libsecret-1-dev libsecret-tools gnome-keyring dbus
  libasio-dev nlohmann-json3-dev libspdlog-dev
  libgtest-dev libgmock-dev libbenchmark-dev libvterm-dev
  clang libclang-rt-14-dev curl python3
)
missing=()
for p in "${packages[@]}"; do
  if [ "$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null)" != "install ok installed" ]; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
