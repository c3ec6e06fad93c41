#!/usr/bin/env bash
# Installs everything the builds and tests need on a fresh Debian 12 machine.
# Run as root. Safe to rerun: it only installs what is missing.
set -euo pipefail

if [ "$(id -u)" -ne 0 ]; then
  echo "setup.sh: run as root (it installs Debian packages)" >&2
  exit 1
fi

export DEBIAN_FRONTEND=noninteractive

native_pkgs=(build-essential cmake ninja-build pkg-config python3
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  clang-format clang-tidy clang libclang-rt-dev g++-multilib)
windows_pkgs=(mingw-w64 g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  wine wine32:i386 wine64 xvfb xauth xdotool imagemagick x11-utils
  locales fonts-ipafont-gothic fonts-wqy-microhei)

missing=()
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
for p in "${native_pkgs[@]}" "${windows_pkgs[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ "${#missing[@]}" -gt 0 ]; then
  echo "setup.sh: installing ${missing[*]}"
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The 32-bit build's tests (the m32 preset) run under qemu's i386 user emulation where the
# kernel runs no 32-bit programs. Debian registers no binfmt handler for i386 on amd64, so
# this changes nothing else on the machine.
probe="$(mktemp -d)"
printf 'int main(void) { return 0; }\n' > "$probe/probe.c"
gcc -m32 "$probe/probe.c" -o "$probe/probe"
if ! "$probe/probe" 2>/dev/null && ! dpkg-query -W -f='${Status}' qemu-user-static 2>/dev/null | grep -q 'install ok installed'; then
  echo "setup.sh: this kernel runs no 32-bit programs; installing qemu-user-static"
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends qemu-user-static >/dev/null
fi
rm -rf "$probe"

# Locales used by the language tests under Wine.
gen=0
for loc in "en_US.UTF-8 UTF-8" "ja_JP.UTF-8 UTF-8" "zh_CN.UTF-8 UTF-8" "zh_TW.UTF-8 UTF-8" "de_DE.UTF-8 UTF-8"; do
  if ! grep -qx "$loc" /etc/locale.gen 2>/dev/null; then
    echo "$loc" >> /etc/locale.gen
    gen=1
  fi
done
for l in ja_JP.utf8 zh_CN.utf8 zh_TW.utf8 de_DE.utf8 en_US.utf8; do
  locale -a 2>/dev/null | grep -qx "$l" || gen=1
done
if [ "$gen" -eq 1 ]; then
  locale-gen >/dev/null
fi

echo "setup.sh: all build and test dependencies are present"
