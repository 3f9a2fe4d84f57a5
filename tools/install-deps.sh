#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when missing.
set -euo pipefail

packages=(
  make cmake g++ clang libclang-rt-14-dev libgtest-dev libstb-dev osslsigncode openssl
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine32:i386 wine64
  xvfb xdotool imagemagick python3-pytest default-jdk-headless
  maven libmaven-plugin-tools-java junit5 libsurefire-java libmaven-clean-plugin-java
  libmaven-resources-plugin-java libmaven-compiler-plugin-java libmaven-jar-plugin-java
  libmaven-install-plugin-java
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
