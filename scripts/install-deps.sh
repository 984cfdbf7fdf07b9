#!/usr/bin/env bash
# Installs the Debian packages that building and testing Korvex needs.
# Idempotent: quiet and quick when everything is already there.
set -euo pipefail

packages=(
  build-essential g++ cmake ninja-build pkg-config
  qt6-base-dev qt6-declarative-dev qt6-svg-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libmodbus-dev socat mbpoll
  libasio-dev python3-pymodbus python3-serial-asyncio
  qt6-translations-l10n
  clang libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
if [ "$(id -u)" -ne 0 ]; then
  sudo=(sudo)
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
