#!/bin/sh
# Rebuilds the every-format fixtures: one logical workbook (make_book.py) saved in each format
# the engine reads. Only needed to regenerate them; the tests read the committed files.
#
# Needs: python3 with openpyxl (Debian python3-openpyxl), LibreOffice (libreoffice-calc-nogui),
# Gnumeric's ssconvert (gnumeric), node with the npm package "xlsx" installed under
# $SHEETJS_DIR (default /work/scratch-fixtures: `cd $SHEETJS_DIR && npm install xlsx`).
#
# Who writes what, and why:
#   book.xlsx, book.xlsm, book.xltx  make_book.py (openpyxl, then a pass for shared strings,
#                                    a shared formula, cached results and rich text)
#   book.xls                         LibreOffice "MS Excel 97" (BIFF8)
#   book.ods, book.fods              LibreOffice
#   book.csv, book.txt               LibreOffice text export of the Sales sheet, as shown
#   book-biff5.xls                   ssconvert "excel_biff7" (BIFF5/7, code page 1252): this
#                                    LibreOffice reads Excel 95 but no longer writes it
#   book.xlsb, book-2003.xml         convert_with_sheetjs.js: LibreOffice writes no .xlsb, and
#                                    its SpreadsheetML 2003 export (an XSLT) fails on sheets
#                                    16,384 columns wide
# None of the converters keeps the chart sheet as one: they save "Chart1" as an empty worksheet
# (LibreOffice puts the chart on it as a drawing). The text files keep only the Sales sheet.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
python=${PYTHON:-/usr/bin/python3}
sheetjs_dir=${SHEETJS_DIR:-/work/scratch-fixtures}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# LibreOffice keeps a profile of its own here, so a desktop session's settings never leak in.
soffice_convert() {
    soffice -env:UserInstallation="file://$work/profile" --headless \
        --convert-to "$1" --outdir "$2" "$3" >/dev/null
}

"$python" "$here/make_book.py" "$here"
book="$here/book.xlsx"

mkdir "$work/biff8" "$work/text"
soffice_convert 'xls:MS Excel 97' "$work/biff8" "$book"
cp "$work/biff8/book.xls" "$here/book.xls"
soffice_convert ods "$here" "$book"
soffice_convert 'fods:OpenDocument Spreadsheet Flat XML' "$here" "$book"

# Text export options: separator, quote (34 = "), UTF-8 (76), from line 1, no column formats,
# en-US, no quoting of all text, detect numbers, save as shown, no formulas, no trimming, and
# the sheet to export: 2, the Sales sheet (the chart sheet is sheet 1).
text_options='76,1,,1033,false,true,true,false,false,2'
soffice_convert "csv:Text - txt - csv (StarCalc):44,34,$text_options" "$work/text" "$book"
soffice_convert "txt:Text - txt - csv (StarCalc):9,34,$text_options" "$work/text" "$book"
cp "$work/text/book-Sales.csv" "$here/book.csv"
cp "$work/text/book-Sales.txt" "$here/book.txt"

ssconvert --export-type=Gnumeric_Excel:excel_biff7 "$book" "$here/book-biff5.xls" 2>/dev/null

NODE_PATH="$sheetjs_dir/node_modules" node "$here/convert_with_sheetjs.js" "$book" "$here"

ls -l "$here"
