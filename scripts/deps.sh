#!/usr/bin/env bash
# Installs the Debian packages the build needs, only when some are missing.
# Extra package names given as arguments are installed too (scripts/fuzz.sh
# asks for clang and its sanitizer runtimes this way).
set -euo pipefail

packages=(cmake ninja-build g++ binutils libgtest-dev libgmock-dev libbenchmark-dev
          libpugixml-dev libdcmtk-dev libcli11-dev libcairo2-dev pkg-config fonts-dejavu-core "$@")
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
    echo "installing: ${missing[*]}"
    if [[ $(id -u) -eq 0 ]]; then sudo=(); else sudo=(sudo); fi
    "${sudo[@]}" apt-get update -q
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
