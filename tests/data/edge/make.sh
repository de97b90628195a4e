#!/bin/sh
# Rebuilds the edge-case fixtures. Only needed to regenerate them; the tests read the committed
# files (and build their largest cases, 1,024 sheets and tens of thousands of zip entries, in
# memory at run time).
#
# Needs: python3 (make_edges.py: damaged, impostor and small hand-made .xlsx files, all made
# from ../every_format), LibreOffice with Debian python3-uno (save_with_password.py: the
# encrypted .xls), node with the npm package "officecrypto-tool" under $CRYPTO_DIR (default
# /work/scratch-fixtures: `cd $CRYPTO_DIR && npm install officecrypto-tool`) for the encrypted
# .xlsx. LibreOffice 7.4 saves .xlsx without encryption whatever password it is given.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
every_format="$here/../every_format"
python=${PYTHON:-/usr/bin/python3}
crypto_dir=${CRYPTO_DIR:-/work/scratch-fixtures}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$python" "$here/make_edges.py" "$every_format" "$here"

NODE_PATH="$crypto_dir/node_modules" node "$here/encrypt_xlsx.js" \
    "$every_format/book.xlsx" "$here/encrypted.xlsx" pw

# LibreOffice leaves a lock file beside what it saves: save in the scratch folder, then copy.
"$python" "$here/save_with_password.py" "$every_format/book.xlsx" "$work/encrypted.xls" pw
cp "$work/encrypted.xls" "$here/encrypted.xls"

ls -l "$here"
