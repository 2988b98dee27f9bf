#!/usr/bin/env bash
# setup.sh -- install the packages Brevik builds and tests with, only those that are missing.
set -euo pipefail

packages=(cmake g++ ninja-build pkg-config zlib1g-dev libbz2-dev liblzma-dev libzstd-dev libssl-dev libdeflate-dev libgtest-dev libgmock-dev libbenchmark-dev
          zip unzip 7zip libarchive-tools python3 util-linux
          # the sanitizer build and the fuzz targets are clang's
          clang libclang-rt-14-dev
          # the PHP extension and the web servers the tests start on loopback ports
          php8.2-dev php8.2-cli php8.2-cgi php8.2-fpm apache2 libapache2-mod-php8.2 lighttpd
          # the Python module (built for Debian's python3, which mod_wsgi embeds) and mod_wsgi
          python3-dev libapache2-mod-wsgi-py3
          # the Debian packages' dependencies are read with dpkg-shlibdeps; the manual is checked with man
          dpkg-dev man-db)
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
  # Installing apache2, php8.2-fpm or lighttpd would start the machine's own services; the tests
  # start servers of their own, so the packages are installed with service starts refused (the
  # policy-rc.d convention), unless the machine already has a policy of its own.
  policy=/usr/sbin/policy-rc.d
  own_policy=0
  if [[ ! -e $policy ]]; then
    printf '#!/bin/sh\n# Brevik setup: no service starts while packages are installed.\nexit 101\n' |
      "${sudo_cmd[@]}" tee "$policy" >/dev/null
    "${sudo_cmd[@]}" chmod 755 "$policy"
    own_policy=1
  fi
  trap '[[ $own_policy -eq 1 ]] && "${sudo_cmd[@]}" rm -f "$policy"' EXIT
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
