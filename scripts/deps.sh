#!/usr/bin/env bash
# Installs the Debian packages the build needs, only those that are missing.
# Usage: scripts/deps.sh build|test|run
set -euo pipefail

packages=(g++ make cmake pkg-config)
# What the engine library itself links: every set needs it.
build=(libsdl2-dev libgl-dev)
case "${1:-build}" in
# zlib and glm are the peers the benchmark programs time the engine against; libpng writes the
# pictures the OpenGL tests draw.
test) packages+=("${build[@]}" libgl1-mesa-dri libgtest-dev libgmock-dev libbenchmark-dev zlib1g-dev libglm-dev
    libpng-dev python3 xvfb xauth) ;;
run) packages+=("${build[@]}" libgl1-mesa-dri xvfb xauth) ;;
build) packages+=("${build[@]}") ;;
*) echo "deps.sh: unknown set '$1'" >&2; exit 2 ;;
esac

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    if [ "$(id -u)" -ne 0 ]; then
        echo "deps.sh: need root to install ${missing[*]}" >&2
        exit 1
    fi
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
