#!/usr/bin/env bash
# make_seed_corpus.sh -- archives for the fuzz targets to start from, written by Info-ZIP zip, 7-Zip, bsdtar and Python.
set -euo pipefail
out=$1
rm -rf "$out"
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
mkdir -p tree/sub tree/empty
printf 'alpha alpha alpha alpha\n' > tree/a.txt
head -c 3000 /dev/zero | tr '\0' 'z' > tree/sub/z.txt
printf '\x00\x01\x02\xff' > tree/sub/bin
: > tree/sub/nothing
ln -s a.txt tree/link

have() { command -v "$1" >/dev/null; }
if have zip; then
  (cd tree && zip -qr -X "$out/zip-deflated.zip" .)
  (cd tree && zip -qr -0 "$out/zip-stored.zip" .)
  (cd tree && zip -qr -y -P pw "$out/zip-encrypted.zip" .)
  (cd tree && zip -q -fd - a.txt sub/z.txt < /dev/null > "$out/zip-stream.zip") || true
  (cd tree && cat a.txt | zip -q > "$out/zip-pipe.zip") || true
fi
if have 7zz; then
  (cd tree && 7zz a -tzip -bd -bso0 "$out/7z-deflated.zip" . && 7zz a -tzip -bd -bso0 -ppw -mem=ZipCrypto "$out/7z-encrypted.zip" .)
  # The other methods the engine decodes, and one it refuses.
  for method in BZip2 LZMA PPMd; do (cd tree && 7zz a -tzip -bd -bso0 -mm=$method "$out/7z-$method.zip" .); done
fi
if have bsdtar; then
  (cd tree && bsdtar --format zip -cf "$out/bsdtar.zip" . && bsdtar --format zip --options zip:compression=store -cf "$out/bsdtar-stored.zip" .)
fi
python3 - "$out" <<'PY'
import sys, zipfile
out = sys.argv[1]
with zipfile.ZipFile(out + "/python.zip", "w", zipfile.ZIP_DEFLATED) as z:
    z.writestr("dir/", "")
    z.writestr("dir/f.txt", "python " * 50)
    z.writestr(zipfile.ZipInfo("stored.bin"), bytes(range(256)))
    z.comment = b"a comment"
for name in ("ZIP_BZIP2", "ZIP_LZMA"):
    with zipfile.ZipFile(out + "/python-" + name + ".zip", "w", getattr(zipfile, name)) as z:
        z.writestr("f.txt", "method " * 300)
with zipfile.ZipFile(out + "/python-empty.zip", "w") as z:
    pass
# A self-extractor's shape: a stub in front, offsets counted from the archive's own start.
with open(out + "/python-stub.zip", "wb") as f:
    f.write(b"#!stub\n" * 10)
    f.write(open(out + "/python.zip", "rb").read())
PY
ls "$out" | wc -l
