#!/usr/bin/env bash
# Installs what building and testing rdplaunch needs on Debian 12, if it is missing:
# the native compiler and GoogleTest, MinGW-w64 for the 32-bit and 64-bit Windows
# builds, Wine (64-bit, and 32-bit through the i386 architecture where it can be had:
# optional, and harmless on a host that cannot run it), an X server and xdotool for message boxes,
# the locales that give Wine's programs code pages 1251, 1252 and 932, clang's
# libFuzzer, OpenSSL, osslsigncode and pefile for signing and checking what is signed, ICU
# for the tool's Unicode character categories, ccache (the end-to-end tests configure and
# build the same sources many times), jsonschema (the batch answers' schema), curl (a
# download that reads only filename=), man-db (the manual page's check), and
# Chromium (with its driver and Selenium) and Firefox ESR for the download tests.
set -euo pipefail

packages=(cmake ninja-build g++ googletest libgtest-dev python3 g++-mingw-w64-i686 binutils-mingw-w64-i686
          g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 wine wine64 xvfb xdotool x11-utils locales clang
          libclang-rt-14-dev clang-format openssl libssl-dev osslsigncode python3-pefile chromium chromium-driver
          firefox-esr python3-selenium nlohmann-json3-dev libicu-dev ccache python3-jsonschema curl man-db)

need_root() {
  if [[ $(id -u) -ne 0 ]]; then
    echo "install-deps: $1 needs root" >&2
    exit 1
  fi
}

# 32-bit Wine comes from the i386 architecture. It is optional: a host where the
# architecture cannot be added, or where its packages cannot be had (the i386 index out of
# step on a mirror's bad day), still gets everything else, and the tests then run the
# 64-bit build, as on a host that cannot run 32-bit programs.
optional=()
if dpkg --print-foreign-architectures | grep -qx i386 || { [[ $(id -u) -eq 0 ]] && dpkg --add-architecture i386; }; then
  optional+=(wine32:i386)
fi

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

missing=()
for package in "${packages[@]}"; do
  installed "$package" || missing+=("$package")
done
missing_optional=()
for package in "${optional[@]}"; do
  installed "$package" || missing_optional+=("$package")
done

apt_install() {
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$@" >/dev/null
}

if ((${#missing[@]} + ${#missing_optional[@]})); then
  echo "install-deps: installing ${missing[*]} ${missing_optional[*]}"
  need_root "installing ${missing[*]} ${missing_optional[*]}"
  # A failed update may still leave every list the packages need (one architecture's index
  # out of step): then the native architecture's lists alone are updated, and the install
  # below says whether what it needs could be had.
  if ! apt-get update -qq; then
    echo "install-deps: 'apt-get update' failed; updating the $(dpkg --print-architecture) lists alone" >&2
    apt-get update -qq -o APT::Architectures="$(dpkg --print-architecture)" ||
      echo "install-deps: 'apt-get update' failed again; trying with the lists at hand" >&2
  fi
  if ((${#missing[@]})) && ! apt_install "${missing[@]}"; then
    echo "install-deps: 'apt-get install ${missing[*]}' failed (is Debian's package archive reachable?); see the messages above" >&2
    exit 1
  fi
  if ((${#missing_optional[@]})) && ! apt_install "${missing_optional[@]}"; then
    echo "install-deps: ${missing_optional[*]} cannot be installed now; going on without it:" \
      "the end-to-end tests run the 64-bit build" >&2
  fi
fi

# Under Wine, ru_RU gives programs ANSI code page 1251 (the launcher's own), en_US 1252
# and ja_JP 932 (the code pages of other Windows languages).
wanted_locales=()
for locale in ru_RU en_US ja_JP; do
  locale -a 2>/dev/null | grep -qi "^$locale\.utf-\?8$" || wanted_locales+=("$locale")
done
if ((${#wanted_locales[@]})); then
  need_root "generating the locales ${wanted_locales[*]}"
  for locale in "${wanted_locales[@]}"; do
    sed -i "s/^# *\($locale.UTF-8 UTF-8\)/\1/" /etc/locale.gen
    grep -q "^$locale.UTF-8 UTF-8" /etc/locale.gen || echo "$locale.UTF-8 UTF-8" >>/etc/locale.gen
  done
  locale-gen >/dev/null
fi
