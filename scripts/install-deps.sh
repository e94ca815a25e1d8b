#!/usr/bin/env bash
# Installs the Debian packages the project builds and tests with, when any is missing.
# Quick and silent when everything is already there.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libicu-dev libsqlite3-dev unixodbc unixodbc-dev odbcinst
  python3-pyodbc libsqliteodbc sqlite3
  clang libclang-rt-14-dev clang-format
  time python3
  libcairo2-dev libpango1.0-dev fonts-dejavu-core libcurl4-openssl-dev python3-aiosmtpd
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

if [[ $(id -u) -ne 0 ]]; then
  echo "install-deps: missing packages: ${missing[*]} (run as root to install them)" >&2
  exit 1
fi
echo "install-deps: installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq >/dev/null
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
