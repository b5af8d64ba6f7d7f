#!/usr/bin/env bash
# Installs the cross compilers, Wine and the test tools a fresh Debian 12 machine lacks.
set -euo pipefail

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi

packages=(
  cmake make git pkg-config
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools binutils-mingw-w64
  libz-mingw-w64-dev zlib1g-dev
  wine wine64 wine32:i386 libwine-dev
  googletest xvfb xauth dfu-util python3 python3-intelhex srecord libssl-dev
  clang libclang-rt-14-dev clang-format
  nsis osslsigncode openssl
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
# A mirror caught mid-sync fails one index or another. Without the security suite's i386
# index, apt would raise a package's 64-bit half past the version its 32-bit half can match
# (Wine needs both); holding every package to the release itself keeps the halves equal.
if $sudo apt-get update -qq; then
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
else
  codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
  echo "install-deps: some package indexes did not download; installing from $codename itself" >&2
  $sudo apt-get install -y -qq --no-install-recommends -t "$codename" "${missing[@]}"
fi
