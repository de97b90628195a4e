#!/usr/bin/env python3
"""Makes the shaped benchmark corpus: a folder with the mix of a real shared drive, about 210
workbooks and 200 MB. Four xlsx of three 100,000-row sheets whose shared-string part is about
20 MB, 160 small and medium xlsx/xlsm, 19 ods of about 1 MB, 18 xls of about 2.5 MB, and a
few xlsb, fods, SpreadsheetML 2003 and csv so that every format has rows. Every file is
written here directly (xls through the compound-file writer of the BIFF fixtures, xlsb
through the record writer of the xlsb fixtures), so nothing else needs installing.

Usage: make_shaped_corpus.py FOLDER

Deterministic: the same cells come out on every run (only the zip members' dates differ). The rare keyword
("quasar") sits in the last row of the last sheet of about a quarter of the workbooks; the
common one ("total") heads a column of every sheet of most of them. manifest.tsv lists the
sheets where each keyword is expected, as make_corpus.py's does. Files already there are
kept, so an interrupted run goes on where it stopped.
"""

import importlib.util
import multiprocessing
import os
import random
import struct
import sys
import zipfile
from xml.sax.saxutils import escape

HERE = os.path.dirname(os.path.abspath(__file__))
TESTS_DATA = os.path.join(os.path.dirname(HERE), "tests", "data")


def load(name, path):
    spec = importlib.util.spec_from_file_location(name, path)
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


corpus = load("make_corpus", os.path.join(HERE, "make_corpus.py"))
biff = load("make_biff_fixtures", os.path.join(TESTS_DATA, "biff", "make_biff_fixtures.py"))
xlsb = load("make_xlsb_fixtures", os.path.join(TESTS_DATA, "xlsb", "make_xlsb_fixtures.py"))

BIG_SHEET_ROWS = 100_000


# ---------------------------------------------------------------- the big xlsx

def unique_row(rng, sheet_index, row_number):
    """A data row whose two text cells are unique in the workbook, as in exported ledgers."""
    cells = corpus.make_row(rng, row_number)
    first = rng.choice(corpus.FIRST_NAMES)
    cells[1] = ("s", f"{first} {rng.choice(corpus.REGIONS)} {sheet_index}-{row_number:06d}", None)
    cells[6] = ("s", f"K-{sheet_index}{row_number:06d}-{rng.randint(0, 99999):05d}", None)
    return cells


def big_xlsx_workbook(seed):
    rng = random.Random(seed)
    sheets = []
    for index, name in enumerate(["Ledger", "Inventory", "Archive"]):
        rows = [[("s", text, None) for text in corpus.HEADER_WITH_COMMON]]
        rows += [unique_row(rng, index, n) for n in range(2, BIG_SHEET_ROWS + 1)]
        sheets.append(corpus.Sheet(name, rows))
    sheets[-1].rows[-1][6] = ("s", "Quasar-" + str(rng.randint(1, 99)), None)
    return corpus.Workbook(sheets, True, True)


def medium_workbook(seed, rows_choice, sheet_range=(1, 4)):
    rng = random.Random(seed)
    sheet_count = rng.randint(*sheet_range)
    row_counts = [rng.choice(rows_choice) for _ in range(sheet_count)]
    return corpus.make_workbook(rng, sheet_count, row_counts, rng.random() < 0.85,
                                rng.random() < 0.25)


# ---------------------------------------------------------------- xls (BIFF8 in a compound file)

def biff_cell(row, col, cell, strings):
    kind, value, formula = cell
    if kind == "s":
        return biff.rec(0x00FD, struct.pack("<HHHI", row, col, 0, strings.add(value)))
    if kind == "b":
        return biff.rec(0x0205, struct.pack("<HHHBB", row, col, 0, 1 if value else 0, 0))
    if kind == "d":
        return biff.number(row, col, float(value), xf=1)
    if formula:
        # tRef to columns D and E of this row (relative row and column), then tMul.
        tokens = b"".join(struct.pack("<BHH", 0x24, row, c | 0xC000) for c in formula) + b"\x05"
        return biff.formula8(row, col, biff.result_number(float(value)), tokens)
    return biff.number(row, col, float(value))


def biff_sst(strings):
    """The SST, continued in CONTINUE records between strings (never inside one)."""
    records, body = [], struct.pack("<II", strings.count, len(strings.index))
    for text in strings.index:
        item = biff.ustr16(text)
        if len(body) + len(item) > 8224:
            records.append(body)
            body = b""
        body += item
    records.append(body)
    return biff.rec(0x00FC, records[0]) + b"".join(biff.rec(0x003C, r) for r in records[1:])


def write_xls(path, workbook):
    strings = corpus.SharedStrings()
    substreams = []
    for sheet in workbook.sheets:
        parts = [biff.bof8(0x0010), biff.rec(0x0200, struct.pack(
            "<IIHHH", 0, len(sheet.rows), 0, corpus.COLUMNS, 0))]
        for row_index, row in enumerate(sheet.rows):
            parts.extend(biff_cell(row_index, col, cell, strings) for col, cell in enumerate(row))
        parts.append(biff.EOF_RECORD)
        substreams.append(b"".join(parts))
    xf = lambda number_format: biff.rec(0x00E0, struct.pack("<HH", 0, number_format) + bytes(16))
    globals_records = [biff.rec(0x0042, struct.pack("<H", 1200)), xf(0), xf(14), biff_sst(strings)]
    sheets = [(sheet.name, 0, 0, substream) for sheet, substream in zip(workbook.sheets, substreams)]
    stream = biff.workbook_stream(globals_records, sheets, boundsheet=biff.boundsheet8)
    with open(path, "wb") as out:
        out.write(biff.compound_file([("Workbook", stream)]))


# ---------------------------------------------------------------- xlsb

def xlsb_cell(col, cell, row_number):
    kind, value, formula = cell
    if kind == "s":
        return xlsb.record(xlsb.CELL_ST, xlsb.cell(col) + xlsb.wide(value))
    if kind == "b":
        return xlsb.record(xlsb.CELL_BOOL, xlsb.cell(col) + xlsb.u8(1 if value else 0))
    if kind == "d":
        return xlsb.record(xlsb.CELL_REAL, xlsb.cell(col, 1) + xlsb.f64(float(value)))
    if formula:
        rgce = b"".join(xlsb.ref(row_number - 1, c) for c in formula) + xlsb.MUL
        return xlsb.fmla(xlsb.FMLA_NUM, col, xlsb.f64(float(value)), rgce)
    return xlsb.record(xlsb.CELL_REAL, xlsb.cell(col) + xlsb.f64(float(value)))


def write_xlsb(path, workbook):
    base = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
    book = xlsb.record(xlsb.BEGIN_BOOK) + xlsb.record(xlsb.BEGIN_BUNDLE_SHS)
    rels = []
    for index, sheet in enumerate(workbook.sheets):
        book += xlsb.record(xlsb.BUNDLE_SH, xlsb.u32(0) + xlsb.u32(index + 1) +
                            xlsb.wide(f"rId{index + 1}") + xlsb.wide(sheet.name))
        rels.append(f'<Relationship Id="rId{index + 1}" Type="{base}worksheet" '
                    f'Target="worksheets/sheet{index + 1}.bin"/>')
    book += xlsb.record(xlsb.END_BUNDLE_SHS) + xlsb.record(xlsb.END_BOOK)
    rels.append(f'<Relationship Id="rId99" Type="{base}styles" Target="styles.bin"/>')
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as package:
        package.writestr("[Content_Types].xml", xlsb.content_types())
        package.writestr("_rels/.rels", xlsb.package_relationships())
        package.writestr("xl/workbook.bin", book)
        package.writestr("xl/_rels/workbook.bin.rels", (
            '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<Relationships xmlns='
            '"http://schemas.openxmlformats.org/package/2006/relationships">' + "".join(rels) +
            "</Relationships>"))
        package.writestr("xl/styles.bin", xlsb.styles_part())
        for index, sheet in enumerate(workbook.sheets):
            body = [xlsb.record(xlsb.BEGIN_SHEET), xlsb.record(xlsb.BEGIN_SHEET_DATA)]
            for row_index, row in enumerate(sheet.rows):
                body.append(xlsb.row(row_index))
                body.extend(xlsb_cell(col, cell, row_index + 1) for col, cell in enumerate(row))
            body += [xlsb.record(xlsb.END_SHEET_DATA), xlsb.record(xlsb.END_SHEET)]
            package.writestr(f"xl/worksheets/sheet{index + 1}.bin", b"".join(body))


# ---------------------------------------------------------------- the corpus

WRITERS = {"xlsx": corpus.write_xlsx, "xlsm": corpus.write_xlsx, "ods": corpus.write_ods,
           "fods": corpus.write_fods, "xml2003": corpus.write_spreadsheetml,
           "csv": lambda path, workbook: corpus.write_text(path, workbook, ","),
           "xls": write_xls, "xlsb": write_xlsb}
SMALL_ROWS = [20, 40, 80, 150, 300, 500]
MEDIUM_ROWS = [1000, 2000, 4000]

# folder, count, file name pattern, how a workbook is made from its seed
PLAN = [
    ("xlsx-big", "xlsx", 4, "ledger-{:02d}.xlsx", big_xlsx_workbook),
    ("xlsx", "xlsx", 135, "book-{:03d}.xlsx",
     lambda seed: medium_workbook(seed, SMALL_ROWS if int(seed[-3:]) % 4 else MEDIUM_ROWS)),
    ("xlsm", "xlsm", 25, "macro-book-{:03d}.xlsm", lambda seed: medium_workbook(seed, SMALL_ROWS)),
    ("ods", "ods", 19, "xls-export-{:02d}.ods",
     lambda seed: medium_workbook(seed, [6500, 7000, 7500], (2, 2))),
    ("xls", "xls", 18, "old-{:02d}.xls", lambda seed: medium_workbook(seed, [4500, 5000], (3, 3))),
    ("xlsb", "xlsb", 3, "binary-{:02d}.xlsb", lambda seed: medium_workbook(seed, MEDIUM_ROWS)),
    ("fods", "fods", 3, "xls-flat-{:02d}.fods", lambda seed: medium_workbook(seed, SMALL_ROWS)),
    ("xml2003", "xml2003", 3, "xml2003-{:02d}.xls", lambda seed: medium_workbook(seed, MEDIUM_ROWS)),
    ("csv", "csv", 3, "xls-text-{:02d}.csv",
     lambda seed: medium_workbook(seed, MEDIUM_ROWS, (1, 1))),
]
MAKERS = {folder: make for folder, _, _, _, make in PLAN}


def job_list(root):
    jobs = []
    for folder, writer, count, pattern, _ in PLAN:
        for index in range(count):
            jobs.append((folder, writer, f"{folder}-{index:03d}",
                         os.path.join(root, folder, pattern.format(index))))
    return jobs


def manifest_row(root, job, workbook):
    folder, writer, _, path = job
    names = [os.path.splitext(os.path.basename(path))[0]] if writer == "csv" else None
    return (os.path.relpath(path, root), folder,
            ",".join(corpus.expected_sheets(workbook, corpus.RARE_KEYWORD, names)),
            ",".join(corpus.expected_sheets(workbook, corpus.COMMON_KEYWORD, names)))


def run_job(arguments):
    root, job = arguments
    folder, writer, seed, path = job
    workbook = MAKERS[folder](seed)
    if not os.path.exists(path):
        os.makedirs(os.path.dirname(path), exist_ok=True)
        WRITERS[writer](path + ".part", workbook)
        os.replace(path + ".part", path)
    return manifest_row(root, job, workbook)


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make_shaped_corpus.py FOLDER")
    root = os.path.abspath(sys.argv[1])
    os.makedirs(root, exist_ok=True)
    jobs = job_list(root)
    # The big ones first, so that two workers finish together.
    jobs.sort(key=lambda job: job[0] != "xlsx-big")
    with multiprocessing.Pool(min(2, os.cpu_count() or 1)) as pool:
        rows = pool.map(run_job, [(root, job) for job in jobs], chunksize=1)
    with open(os.path.join(root, "manifest.tsv"), "w", encoding="utf-8") as stream:
        stream.write(f"file\tformat\t{corpus.RARE_KEYWORD}\t{corpus.COMMON_KEYWORD}\n")
        for row in sorted(rows):
            stream.write("\t".join(row) + "\n")
    total = sum(os.path.getsize(os.path.join(root, row[0])) for row in rows)
    print(f"shaped corpus {root}: {len(rows)} workbooks, {total / 1e6:.0f} MB")


if __name__ == "__main__":
    main()
