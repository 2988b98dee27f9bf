#!/usr/bin/env bash
# package.sh -- builds the Debian packages into build/package/: brevik (the command, the library,
# the manual, the completion and example policy files in /etc/brevik/; it registers the component
# in /etc/brevik/registry.reg when installed and unregisters it when removed), php-brevik (the PHP
# extension, enabled with phpenmod) and python3-brevik (the Python module), the last two when they
# are built. Dependencies come from the shared libraries each file uses (dpkg-shlibdeps).
#
# Usage: scripts/package.sh [--build DIR]   (default: a Release build in build/package-build,
#        configured for the prefix /usr; a given build is installed with the prefix /usr)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build/package-build"
own_build=1
while (($#)); do
  case $1 in
    --build) build=$(cd "$2" && pwd); own_build=0; shift 2 ;;
    -h|--help) sed -n '2,10p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "package: unknown option $1" >&2; exit 2 ;;
  esac
done
out="$root/build/package"
version=$(sed -n 's/^project(Brevik VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")-1
arch=$(dpkg --print-architecture)

if ((own_build)); then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr -DBREVIK_TESTS=OFF >/dev/null
fi
cmake --build "$build" >/dev/null

stage=$(mktemp -d "${TMPDIR:-/tmp}/brevik-package.XXXXXX")
trap 'rm -rf "$stage"' EXIT
DESTDIR="$stage/all" cmake --install "$build" --prefix /usr >/dev/null
all="$stage/all"
mkdir -p "$out"
rm -f "$out"/*.deb

# move PACKAGE PATH...: moves installed paths (relative to the staging root) into a package tree.
move() {
  local package=$1; shift
  local path
  for path in "$@"; do
    mkdir -p "$stage/$package/$(dirname "$path")"
    mv "$all/$path" "$stage/$package/$path"
  done
}

# Depends of the ELF files of a package tree, as dpkg-shlibdeps reads them from their libraries.
shlib_depends() {
  local tree=$1
  local files=()
  mapfile -t files < <(find "$tree" -type f \( -name '*.so' -o -name '*.so.*' -o -perm -u+x \) -exec sh -c \
    'head -c 4 "$1" | grep -q ELF' _ {} \; -print)
  ((${#files[@]})) || return 0
  local work
  work=$(mktemp -d "$stage/shlibs.XXXXXX")
  mkdir -p "$work/debian"
  printf 'Source: brevik\n\nPackage: brevik\nArchitecture: any\n' > "$work/debian/control"
  # libbrevik.so comes with the brevik package itself; the PHP extension's PHP symbols come from
  # the interpreter that loads it: neither has dependency information of its own.
  (cd "$work" && dpkg-shlibdeps -O --ignore-missing-info -l"$stage/brevik/usr/$libdir" "${files[@]}" 2>/dev/null) |
    sed -n 's/^shlibs:Depends=//p'
}

# control PACKAGE DEPENDS DESCRIPTION: writes DEBIAN/control and builds the package.
build_package() {
  local package=$1 depends=$2 summary=$3 description=$4
  local tree="$stage/$package"
  local shlibs
  shlibs=$(shlib_depends "$tree")
  [[ -n $shlibs ]] && depends="${depends:+$depends, }$shlibs"
  mkdir -p "$tree/DEBIAN"
  cat > "$tree/DEBIAN/control" <<CONTROL
Package: $package
Version: $version
Architecture: $arch
Maintainer: Brevik developers <brevik@localhost>
Section: web
Priority: optional
Installed-Size: $(du -sk "$tree" | cut -f1)
Depends: $depends
Description: $summary
$(printf '%s\n' "$description" | sed 's/^/ /')
CONTROL
  dpkg-deb --root-owner-group --build "$tree" "$out/${package}_${version}_${arch}.deb" >/dev/null
  echo "package: $out/${package}_${version}_${arch}.deb"
}

# --- brevik: the command, the library, the manual, the completion, the example policy ---
libdir=$(cd "$all/usr" && find . -maxdepth 3 -name libbrevik.so -printf '%h\n' | head -1 | sed 's|^\./||')
move brevik usr/bin/brevik "usr/$libdir/libbrevik.so"
[[ -e $all/usr/share/man/man1/brevik.1 ]] && move brevik usr/share/man/man1/brevik.1 && gzip -9n "$stage/brevik/usr/share/man/man1/brevik.1"
[[ -e $all/usr/share/bash-completion/completions/brevik ]] && move brevik usr/share/bash-completion/completions/brevik
install -D -m 644 "$root/packaging/Admin.ini" "$stage/brevik/etc/brevik/policy-example/Admin.ini"
install -D -m 644 "$root/packaging/WebSite.ini" "$stage/brevik/etc/brevik/policy-example/WebSite.ini"
mkdir -p "$stage/brevik/DEBIAN"
printf '/etc/brevik/policy-example/Admin.ini\n/etc/brevik/policy-example/WebSite.ini\n' > "$stage/brevik/DEBIAN/conffiles"
cat > "$stage/brevik/DEBIAN/postinst" <<'SCRIPT'
#!/bin/sh
# Registers "Brevik.ZIP" with this package's library in the machine's registry file.
set -e
if [ "$1" = configure ]; then
  BREVIK_REGISTRY=/etc/brevik/registry.reg /usr/bin/brevik register
fi
SCRIPT
cat > "$stage/brevik/DEBIAN/prerm" <<'SCRIPT'
#!/bin/sh
# Removes the registration again; the registry file keeps what others wrote into it.
set -e
if [ "$1" = remove ] || [ "$1" = deconfigure ]; then
  BREVIK_REGISTRY=/etc/brevik/registry.reg /usr/bin/brevik unregister || true
fi
SCRIPT
cat > "$stage/brevik/DEBIAN/postrm" <<'SCRIPT'
#!/bin/sh
set -e
if [ "$1" = purge ]; then
  rm -f /etc/brevik/registry.reg
  rmdir /etc/brevik 2>/dev/null || true
fi
SCRIPT
chmod 755 "$stage/brevik/DEBIAN/postinst" "$stage/brevik/DEBIAN/prerm" "$stage/brevik/DEBIAN/postrm"
build_package brevik "" "ZIP component for server-side page scripts" \
"Brevik's ZIP object (\"Brevik.ZIP\") lets page scripts create, list, extract and edit ZIP
archives under a per-site hosting policy. This package holds the component library, the brevik
command, its manual, and example policy files in /etc/brevik/policy-example/."

# --- php-brevik: the PHP extension ---
php_ext=$(cd "$all" && find . -path '*/php/*' -name brevik.so | sed 's|^\./||' | head -1)
if [[ -n $php_ext ]]; then
  move php-brevik "$php_ext"
  php_api=$(basename "$(dirname "$php_ext")")
  install -D -m 644 "$root/packaging/brevik.ini" "$stage/php-brevik/etc/php/8.2/mods-available/brevik.ini"
  mkdir -p "$stage/php-brevik/DEBIAN"
  echo /etc/php/8.2/mods-available/brevik.ini > "$stage/php-brevik/DEBIAN/conffiles"
  cat > "$stage/php-brevik/DEBIAN/postinst" <<'SCRIPT'
#!/bin/sh
set -e
if [ "$1" = configure ] && command -v phpenmod >/dev/null; then
  phpenmod -v 8.2 brevik
fi
SCRIPT
  cat > "$stage/php-brevik/DEBIAN/prerm" <<'SCRIPT'
#!/bin/sh
set -e
if { [ "$1" = remove ] || [ "$1" = deconfigure ]; } && command -v phpdismod >/dev/null; then
  phpdismod -v 8.2 brevik || true
fi
SCRIPT
  chmod 755 "$stage/php-brevik/DEBIAN/postinst" "$stage/php-brevik/DEBIAN/prerm"
  build_package php-brevik "brevik (= $version), phpapi-$php_api" "COM class for PHP pages, reaching Brevik.ZIP" \
"The PHP extension brevik: new COM(\"Brevik.ZIP\") from PHP pages on Linux, with com_exception and
the running script as the page of the hosting policy."
fi

# --- python3-brevik: the Python module ---
py_module=$(cd "$all" && find . -path '*/python3*' -name 'brevik*.so' | sed 's|^\./||' | head -1)
if [[ -n $py_module ]]; then
  move python3-brevik "$py_module"
  py_version=$(basename "$py_module" | sed -n 's/^brevik\.cpython-\([0-9]\)\([0-9]*\)-.*/\1.\2/p')
  next_minor=$(echo "$py_version" | awk -F. '{print $1 "." $2 + 1}')
  build_package python3-brevik "brevik (= $version), python3 (>= $py_version), python3 (<< $next_minor)" \
    "Python module reaching Brevik.ZIP" \
"The Python module brevik: brevik.Dispatch(\"Brevik.ZIP\") as win32com.client.Dispatch reaches
automation objects, with com_error and page_request for WSGI applications."
fi
