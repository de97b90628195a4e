#!/usr/bin/env python3
"""Writes the .xlsb test workbooks record by record ([MS-XLSB] 2.1.4 record framing), so each
cell record, shared and array formula, and damaged stream is exactly what the tests expect.

    python3 make_xlsb_fixtures.py [output folder]   (default: this script's folder)

cells.xlsb      one sheet of each kind, every cell record, formulas, dates, shared strings
truncated.xlsb  the same workbook with its first sheet cut inside a record after row 2, and
                its hidden sheet claiming a record larger than the reader accepts
bad_workbook.xlsb  the same workbook with xl/workbook.bin cut inside its second sheet entry
date1904.xlsb   the same workbook in the 1904 date system
"""
import os
import struct
import sys
import zipfile


def varint(value, max_bytes):
    out = bytearray()
    while True:
        byte = value & 0x7F
        value >>= 7
        out.append(byte | (0x80 if value else 0))
        if not value:
            break
    assert len(out) <= max_bytes
    return bytes(out)


def record(kind, data=b""):
    return varint(kind, 2) + varint(len(data), 4) + data


def u8(v): return struct.pack("<B", v)
def u16(v): return struct.pack("<H", v)
def u32(v): return struct.pack("<I", v)
def i32(v): return struct.pack("<i", v)
def f64(v): return struct.pack("<d", v)


def wide(text):
    encoded = text.encode("utf-16-le")
    return u32(len(encoded) // 2) + encoded


# Record types.
ROW_HDR, CELL_BLANK, CELL_RK, CELL_ERROR, CELL_BOOL, CELL_REAL, CELL_ST, CELL_ISST = range(8)
FMLA_STRING, FMLA_NUM, FMLA_BOOL, FMLA_ERROR = 8, 9, 10, 11
SHORT_BLANK, SHORT_RK, SHORT_ERROR, SHORT_BOOL, SHORT_REAL, SHORT_ST, SHORT_ISST = range(12, 19)
SST_ITEM, NAME, FMT, XF, CELL_RSTRING = 19, 39, 44, 47, 62
BEGIN_SHEET, END_SHEET, BEGIN_BOOK, END_BOOK = 129, 130, 131, 132
BEGIN_BUNDLE_SHS, END_BUNDLE_SHS, BEGIN_SHEET_DATA, END_SHEET_DATA = 143, 144, 145, 146
WB_PROP, BUNDLE_SH, BEGIN_SST, END_SST = 153, 156, 159, 160
BEGIN_STYLE_SHEET, END_STYLE_SHEET = 278, 279
BEGIN_EXTERNALS, END_EXTERNALS, SUP_SELF, EXTERN_SHEET = 353, 354, 357, 362
ARR_FMLA, SHR_FMLA = 426, 427
BEGIN_FMTS, END_FMTS, BEGIN_CELL_XFS, END_CELL_XFS = 615, 616, 617, 618
BEGIN_STYLE_XFS, END_STYLE_XFS = 626, 627


def cell(column, style=0):
    return u32(column) + u32(style & 0xFFFFFF)


def row(number):
    return record(ROW_HDR, u32(number) + bytes(13))


def formula(rgce, extra=b""):
    """CellParsedFormula: cce, rgce, cb, rgcb."""
    return u32(len(rgce)) + rgce + u32(len(extra)) + extra


def fmla(kind, column, value, rgce, extra=b"", style=0):
    return record(kind, cell(column, style) + value + u16(0) + formula(rgce, extra))


# Formula tokens (BIFF12 widths).
def ref(r, c, row_relative=True, column_relative=True, ptg=0x44):
    flags = (0x8000 if row_relative else 0) | (0x4000 if column_relative else 0)
    return u8(ptg) + u32(r) + u16(c | flags)


def ref_n(row_offset, column_offset):
    return u8(0x4C) + i32(row_offset) + u16((column_offset & 0x3FFF) | 0xC000)


def area(r1, r2, c1, c2):
    return u8(0x25) + u32(r1) + u32(r2) + u16(c1 | 0xC000) + u16(c2 | 0xC000)


def ref3d(xti, r, c):
    return u8(0x5A) + u16(xti) + u32(r) + u16(c | 0xC000)


def integer(v): return u8(0x1E) + u16(v)
def string(text): return u8(0x17) + u16(len(text.encode("utf-16-le")) // 2) + text.encode("utf-16-le")
def name(index): return u8(0x43) + u32(index)
def func_var(count, index): return u8(0x42) + u8(count) + u16(index)
def func(index): return u8(0x41) + u16(index)
def exp(r): return u8(0x01) + u32(r)


ADD, MUL, CONCAT = u8(0x03), u8(0x05), u8(0x08)

SHEETS = [  # name, state, relationship type, part
    ("Data", 0, "worksheet", "worksheets/sheet1.bin"),
    ("Hidden Sheet", 1, "worksheet", "worksheets/sheet2.bin"),
    ("Chart1", 0, "chartsheet", "chartsheets/sheet1.bin"),
    ("Macro1", 2, "xlMacrosheet", "macrosheets/sheet1.bin"),
    ("Dialog1", 0, "dialogsheet", "dialogsheets/sheet1.bin"),
]
TYPE_BASE = {
    "worksheet": "http://schemas.openxmlformats.org/officeDocument/2006/relationships/",
    "chartsheet": "http://schemas.openxmlformats.org/officeDocument/2006/relationships/",
    "dialogsheet": "http://schemas.openxmlformats.org/officeDocument/2006/relationships/",
    "xlMacrosheet": "http://schemas.microsoft.com/office/2006/relationships/",
}


def workbook_part(date1904=False):
    out = record(BEGIN_BOOK) + record(WB_PROP, u32(1 if date1904 else 0) + u32(0) + wide(""))
    out += record(BEGIN_BUNDLE_SHS)
    for index, (sheet_name, state, _, _) in enumerate(SHEETS):
        out += record(BUNDLE_SH, u32(state) + u32(index + 1) + wide("rId%d" % (index + 1)) +
                      wide(sheet_name))
    out += record(END_BUNDLE_SHS)
    # One book (this workbook); XTI 0 is "Hidden Sheet", XTI 1 the range Data:'Hidden Sheet'.
    out += record(BEGIN_EXTERNALS) + record(SUP_SELF)
    out += record(EXTERN_SHEET, u32(2) + u32(0) + i32(1) + i32(1) + u32(0) + i32(0) + i32(1))
    out += record(END_EXTERNALS)
    out += record(NAME, u32(0) + u8(0) + u32(0xFFFFFFFF) + wide("TaxRate") + formula(b""))
    return out + record(END_BOOK)


def styles_part():
    out = record(BEGIN_STYLE_SHEET)
    out += record(BEGIN_FMTS, u32(1)) + record(FMT, u16(164) + wide('yyyy"-"mm"-"dd')) + record(END_FMTS)
    xf = lambda fmt: record(XF, u16(0xFFFF) + u16(fmt) + bytes(12))
    # Cell-style formats come first and must not count as cell formats.
    out += record(BEGIN_STYLE_XFS, u32(1)) + xf(14) + record(END_STYLE_XFS)
    out += record(BEGIN_CELL_XFS, u32(3)) + xf(0) + xf(164) + xf(22) + record(END_CELL_XFS)
    return out + record(END_STYLE_SHEET)


def shared_strings_part():
    out = record(BEGIN_SST, u32(2) + u32(2))
    out += record(SST_ITEM, u8(0) + wide("alpha"))
    # A rich item: formatting runs after the text.
    out += record(SST_ITEM, u8(1) + wide("Bravo runs") + u32(1) + u16(0) + u16(1))
    return out + record(END_SST)


def data_sheet(cut_after_row_2=False):
    rows = []
    rows.append(row(0) +
                record(CELL_ISST, cell(0) + u32(0)) +                 # A1 "alpha"
                record(CELL_RK, cell(1) + u32((42 << 2) | 0x02)) +    # B1 42
                record(CELL_RK, cell(2) + u32((1234 << 2) | 0x03)) +  # C1 12.34
                record(CELL_REAL, cell(3) + f64(3.14159)) +           # D1
                record(CELL_BOOL, cell(4) + u8(1)) +                  # E1 TRUE
                record(CELL_ERROR, cell(5) + u8(0x07)) +              # F1 #DIV/0!
                record(CELL_ST, cell(6) + wide("inline text")) +      # G1
                record(CELL_RSTRING, cell(7) + u8(1) + wide("rich café") + u32(1) + u16(0) + u16(1)) +
                record(CELL_ISST, cell(8) + u32(1)))                  # I1 "Bravo runs"
    rows.append(row(1) +
                record(CELL_REAL, cell(0, 1) + f64(39448.75)) +       # A2 2008-01-01 18:00
                record(CELL_BLANK, cell(1)) +
                fmla(FMLA_NUM, 2, f64(57.48), area(0, 0, 1, 3) + func_var(1, 4)) +
                fmla(FMLA_STRING, 3, wide("xinline text"), string("x") + ref(0, 6) + CONCAT) +
                fmla(FMLA_BOOL, 4, u8(0), integer(1) + integer(2) + u8(0x0D)) +
                fmla(FMLA_ERROR, 5, u8(0x2A), func(0x0A)))
    # Rows 3-5: a shared formula down column A (=B1*2 at A3), anchored at A3.
    rows.append(row(2) +
                fmla(FMLA_NUM, 0, f64(84), exp(2), u32(0)) +
                record(SHR_FMLA, u32(2) + u32(4) + u32(0) + u32(0) +
                       formula(ref_n(-2, 1) + integer(2) + MUL)))
    rows.append(row(3) + fmla(FMLA_NUM, 0, f64(0), exp(2), u32(0)))
    rows.append(row(4) + fmla(FMLA_NUM, 0, f64(0), exp(2), u32(0)))
    # Row 6: 3-D references and a defined name; an array formula {=SUM(A1:A2*2)} at B6.
    rows.append(row(5) +
                fmla(FMLA_NUM, 0, f64(0), ref3d(0, 0, 0) + name(1) + ADD) +
                fmla(FMLA_NUM, 1, f64(0), exp(5), u32(1)) +
                record(ARR_FMLA, u32(5) + u32(5) + u32(1) + u32(1) + u8(0) +
                       formula(area(0, 1, 0, 0) + integer(2) + MUL + func_var(1, 4))) +
                fmla(FMLA_NUM, 2, f64(0), ref3d(1, 0, 0)))
    # Row 7: short cell records, which carry no column: each goes right of the cell before.
    rows.append(row(6) +
                record(SHORT_ST, u32(0) + wide("short one")) +        # A7
                record(SHORT_RK, u32(0) + u32((77 << 2) | 0x02)) +    # B7
                record(SHORT_BLANK, u32(0)) +                         # C7
                record(SHORT_ERROR, u32(0) + u8(0x24)) +              # D7 #NUM!
                record(CELL_ST, cell(9) + wide("after a gap")) +      # J7
                record(SHORT_ST, u32(0) + wide("next to J")))         # K7
    # Row 8: one record larger than the reader's first buffer; rows 9-3008: many small records
    # crossing read chunks; the last cell says where the stream ended.
    rows.append(row(7) + record(CELL_ST, cell(0) + wide("x" * 50000 + " haystack end")))
    for number in range(8, 3008):
        rows.append(row(number) + record(CELL_RK, cell(1) + u32((number << 2) | 0x02)))
    rows.append(row(3008) + record(CELL_ST, cell(2) + wide("final needle")))
    body = b"".join(rows)
    if cut_after_row_2:
        body = b"".join(rows[:2]) + rows[2][:len(rows[2]) - 5]
        return record(BEGIN_SHEET) + record(BEGIN_SHEET_DATA) + body
    return record(BEGIN_SHEET) + record(BEGIN_SHEET_DATA) + body + \
        record(END_SHEET_DATA) + record(END_SHEET)


def hidden_sheet(oversized=False):
    cells = row(0) + record(CELL_ST, cell(0) + wide("needle in the hidden sheet"))
    if oversized:
        # A record header claiming 200 MB, with a few bytes behind it.
        cells += varint(CELL_ST, 2) + varint(200 << 20, 4) + bytes(16)
    return record(BEGIN_SHEET) + record(BEGIN_SHEET_DATA) + cells + record(END_SHEET_DATA)


def macro_sheet():
    # =ALERT("macro hello") on a macro sheet: a command-equivalent function (Cetab 118).
    return record(BEGIN_SHEET) + record(BEGIN_SHEET_DATA) + row(0) + \
        fmla(FMLA_BOOL, 0, u8(0), string("macro hello") + func_var(1, 0x8076)) + \
        record(END_SHEET_DATA)


def content_types():
    return ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
            '<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
            '<Default Extension="bin" ContentType="application/vnd.ms-excel.sheet.binary.macroEnabled.main"/>'
            '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
            '</Types>')


def package_relationships():
    return ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
            '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
            '<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/'
            'relationships/officeDocument" Target="xl/workbook.bin"/></Relationships>')


def workbook_relationships():
    items = []
    for index, (_, _, kind, part) in enumerate(SHEETS):
        items.append('<Relationship Id="rId%d" Type="%s%s" Target="%s"/>' %
                     (index + 1, TYPE_BASE[kind], kind, part))
    base = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
    items.append('<Relationship Id="rId10" Type="%ssharedStrings" Target="sharedStrings.bin"/>' % base)
    items.append('<Relationship Id="rId11" Type="%sstyles" Target="/xl/styles.bin"/>' % base)
    return ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
            '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">' +
            "".join(items) + '</Relationships>')


def write(path, damaged=False, cut_workbook=False, date1904=False):
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as package:
        def add(name, data):
            info = zipfile.ZipInfo(name, date_time=(2024, 1, 1, 0, 0, 0))
            info.compress_type = zipfile.ZIP_DEFLATED
            package.writestr(info, data)
        add("[Content_Types].xml", content_types())
        add("_rels/.rels", package_relationships())
        workbook = workbook_part(date1904)
        if cut_workbook:
            workbook = workbook[:workbook.index("Hidden".encode("utf-16-le")) + 4]
        add("xl/workbook.bin", workbook)
        add("xl/_rels/workbook.bin.rels", workbook_relationships())
        add("xl/styles.bin", styles_part())
        add("xl/sharedStrings.bin", shared_strings_part())
        add("xl/worksheets/sheet1.bin", data_sheet(cut_after_row_2=damaged))
        add("xl/worksheets/sheet2.bin", hidden_sheet(oversized=damaged))
        add("xl/chartsheets/sheet1.bin", record(BEGIN_SHEET) + record(END_SHEET))
        add("xl/macrosheets/sheet1.bin", macro_sheet())
        add("xl/dialogsheets/sheet1.bin", record(BEGIN_SHEET) + record(END_SHEET))


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    write(os.path.join(folder, "cells.xlsb"), damaged=False)
    write(os.path.join(folder, "truncated.xlsb"), damaged=True)
    write(os.path.join(folder, "bad_workbook.xlsb"), cut_workbook=True)
    write(os.path.join(folder, "date1904.xlsb"), date1904=True)


if __name__ == "__main__":
    main()
