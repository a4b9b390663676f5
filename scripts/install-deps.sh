#!/usr/bin/env bash
# Installs what building and testing rdplaunch needs on Debian 12, if it is missing:
# the native compiler and GoogleTest, MinGW-w64 for the 32-bit Windows build, Wine
# (32-bit, so the i386 architecture), an X server and xdotool for message boxes, the
# ru_RU.UTF-8 locale (code page 1251 under Wine), and clang's libFuzzer.
set -euo pipefail

packages=(cmake ninja-build g++ googletest libgtest-dev python3 g++-mingw-w64-i686 binutils-mingw-w64-i686
          wine wine32:i386 xvfb xdotool x11-utils locales clang libclang-rt-14-dev clang-format)

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done

if ((${#missing[@]})); then
  echo "install-deps: installing ${missing[*]}"
  if [[ $(id -u) -ne 0 ]]; then
    echo "install-deps: these Debian packages are missing and installing them needs root: ${missing[*]}" >&2
    exit 1
  fi
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  if ! apt-get update -qq; then
    echo "install-deps: 'apt-get update' failed: is Debian's package archive reachable?" >&2
    exit 1
  fi
  if ! DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null; then
    echo "install-deps: 'apt-get install ${missing[*]}' failed; see the messages above" >&2
    exit 1
  fi
fi

# Wine shows Cyrillic file names and texts in code page 1251 only under a Russian locale.
if ! locale -a 2>/dev/null | grep -qi '^ru_RU\.utf-\?8$'; then
  if [[ $(id -u) -ne 0 ]]; then
    echo "install-deps: the locale ru_RU.UTF-8 is missing and generating it needs root" >&2
    exit 1
  fi
  sed -i 's/^# *\(ru_RU.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^ru_RU.UTF-8 UTF-8' /etc/locale.gen || echo 'ru_RU.UTF-8 UTF-8' >>/etc/locale.gen
  locale-gen >/dev/null
fi
