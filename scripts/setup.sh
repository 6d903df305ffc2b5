#!/usr/bin/env bash
# Installs, through apt-get and only when missing, what building, testing and
# running Kelbrin needs on Debian 12.
set -euo pipefail

packages=(
  cmake g++ make          # the build
  qt6-base-dev            # the window (Qt 6 Widgets, with its offscreen platform for tests)
  fonts-dejavu-core       # a monospace font for the window
  libncurses-dev          # the terminal
  libgtest-dev            # the tests
  strace                  # failing system calls on purpose in the terminal tests
  screen                  # a real GNU screen for the terminal tests
  cups                    # a print server of their own for the printing tests
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing missing packages: ${missing[*]}"
sudo=()
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1; then
    sudo=(sudo)
  else
    echo "These packages are missing and installing them needs root: ${missing[*]}" >&2
    exit 1
  fi
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -q
"${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
