#!/usr/bin/env bash
# setup.sh -- install the packages Brevik builds and tests with, only those that are missing.
set -euo pipefail

packages=(cmake g++ ninja-build zlib1g-dev libgtest-dev libgmock-dev libbenchmark-dev
          zip unzip 7zip libarchive-tools python3 util-linux clang libclang-rt-14-dev)
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
# python3 may come from elsewhere (pyenv); a working interpreter is enough.
if [[ " ${missing[*]-} " == *" python3 "* ]] && command -v python3 >/dev/null; then
  missing=("${missing[@]/python3}")
fi
missing=($(printf '%s\n' "${missing[@]-}" | grep -v '^$' || true))
if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  sudo_cmd=()
  [[ $(id -u) -eq 0 ]] || sudo_cmd=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
