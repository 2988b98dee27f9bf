#!/usr/bin/env bash
# test-packages.sh -- installs the Debian packages from build/package/ with dpkg -i, uses them as
# an administrator and a developer would (the command, php -m and a page's COM object, import
# brevik), and removes them again with dpkg --purge, checking that nothing of them is left.
# A machine where Brevik is already installed (/usr/bin/brevik or /etc/brevik) is not touched.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
sudo_cmd=()
[[ $(id -u) -eq 0 ]] || sudo_cmd=(sudo)
if [[ -e /usr/bin/brevik || -e /etc/brevik ]]; then
  echo "test-packages: Brevik is installed on this machine already; the packages are not tried here"
  exit 0
fi
shopt -s nullglob
debs=("$root"/build/package/*.deb)
((${#debs[@]})) || { echo "test-packages: no packages in build/package (run scripts/package.sh)" >&2; exit 1; }
names=()
for deb in "${debs[@]}"; do names+=("$(dpkg-deb -f "$deb" Package)"); done

fail() { echo "test-packages: $*" >&2; exit 1; }
work=$(mktemp -d "${TMPDIR:-/tmp}/brevik-packages.XXXXXX")
cleanup() {
  "${sudo_cmd[@]}" dpkg --purge "${names[@]}" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

"${sudo_cmd[@]}" dpkg -i "${debs[@]}" >/dev/null
unset BREVIK_REGISTRY
grep -q 'Brevik.ZIP' /etc/brevik/registry.reg || fail "installing did not register Brevik.ZIP"
brevik --version >/dev/null || fail "brevik --version failed"
echo "a file" > "$work/a.txt"
(cd "$work" && brevik zip a.zip --no-paths a.txt && brevik list a.zip | grep -q ' a.txt$') ||
  fail "the installed command cannot zip and list"
if [[ " ${names[*]} " == *" php-brevik "* ]]; then
  php8.2 -m | grep -qx brevik || fail "php -m does not list brevik"
  [[ $(php8.2 -r '$z = new COM("Brevik.ZIP"); $z->ZipFile = $argv[1]; echo count($z->List());' "$work/a.zip") == 1 ]] ||
    fail "a PHP script cannot list through COM"
fi
if [[ " ${names[*]} " == *" python3-brevik "* ]]; then
  [[ $(/usr/bin/python3 -c 'import brevik, sys; z = brevik.Dispatch("Brevik.ZIP"); z.ZipFile = sys.argv[1]; print(len(z.List()))' "$work/a.zip") == 1 ]] ||
    fail "Python cannot list through brevik.Dispatch"
fi

"${sudo_cmd[@]}" dpkg --purge "${names[@]}" >/dev/null
[[ ! -e /usr/bin/brevik ]] || fail "/usr/bin/brevik is left after removal"
[[ ! -e /etc/brevik ]] || fail "/etc/brevik is left after purge"
if command -v php8.2 >/dev/null && php8.2 -m | grep -qx brevik; then fail "php still loads brevik after removal"; fi
echo "test-packages: ${names[*]} installed, used and removed"
