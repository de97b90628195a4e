#!/usr/bin/env python3
"""Writes book.xlsx, the one logical workbook that make.sh then saves in every other format, and
its copies book.xlsm and book.xltx, which differ only in the workbook part's content type.

openpyxl lays out the package (chart sheet, hidden sheet, styles); a second pass
rewrites what openpyxl does not write: cached formula results, a shared formula, an error
result, and a shared string table (this openpyxl writes inline strings) with one rich-text entry.

Usage: make_book.py OUTPUT_DIR
"""
import datetime
import os
import re
import sys
import zipfile

from openpyxl import Workbook
from openpyxl.chart import BarChart, Reference


def build_with_openpyxl(path):
    workbook = Workbook()
    sales = workbook.active
    sales.title = "Sales"
    rows = [
        ["Region", "Sales", "Double"],
        ["МОСКВА", 3.14, "=B2*2"],
        ["café", 2008, "=B3*2"],
        ["日本語", 10, "=B4*2"],
        [datetime.datetime(2008, 3, 15)],
        [True, None, "=1/0"],
        ["Total", "=SUM(B2:B4)"],
    ]
    for row in rows:
        sales.append(row)
    sales["A5"].number_format = "d-mmm-yyyy"

    hidden = workbook.create_sheet("Hidden")
    hidden["B2"] = "secret"
    hidden.sheet_state = "hidden"

    notes = workbook.create_sheet("Notes")
    notes["B3"] = "hello world"  # becomes rich text in the second pass

    quarters = workbook.create_sheet("Q1,Q2")
    quarters["A1"] = "Q1 sales"
    quarters["A2"] = "a*b"

    workbook.create_sheet("Empty")

    chart = BarChart()
    chart.title = "Sales by region"
    chart.add_data(Reference(sales, min_col=2, min_row=1, max_row=4), titles_from_data=True)
    chart.set_categories(Reference(sales, min_col=1, min_row=2, max_row=4))
    chart_sheet = workbook.create_chartsheet("Chart1", 0)
    chart_sheet.add_chart(chart)

    workbook.active = 1  # Sales, so no converter opens on the chart or the hidden sheet
    workbook.save(path)


# Formula cells as Excel itself would save them: with their cached results, and the column
# C2:C4 as one shared formula (only C2 carries the text; C3 and C4 refer to it by index).
SALES_FORMULA_CELLS = {
    "C2": '<c r="C2"><f t="shared" ref="C2:C4" si="0">B2*2</f><v>6.28</v></c>',
    "C3": '<c r="C3"><f t="shared" si="0"/><v>4016</v></c>',
    "C4": '<c r="C4"><f t="shared" si="0"/><v>20</v></c>',
    "C6": '<c r="C6" t="e"><f>1/0</f><v>#DIV/0!</v></c>',
    "B7": '<c r="B7"><f>SUM(B2:B4)</f><v>2021.14</v></c>',
}

# The one string stored as rich text: its runs split both words, so a reader must join the
# runs before matching "hello world", "h?llo" or "wor*ld".
PLAIN_HELLO_WORLD = "hello world"
RICH_HELLO_WORLD = (
    "<r><t>hel</t></r><r><rPr><b/><sz val=\"11\"/></rPr><t>lo wor</t></r><r><t>ld</t></r>"
)

INLINE_STRING_CELL = re.compile(r'<c r="([A-Z]+\d+)"((?: s="\d+")?) t="inlineStr"><is><t>(.*?)</t></is></c>')
SHARED_STRINGS_TYPE = "application/vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml"
SHARED_STRINGS_RELATION = (
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/sharedStrings")


class SharedStrings:
    """Collects the worksheets' inline strings into one table, as Excel stores them."""

    def __init__(self):
        self.entries = []
        self.index = {}

    def replace_inline(self, sheet_xml):
        def to_shared(match):
            reference, style, text = match.groups()
            if text not in self.index:
                self.index[text] = len(self.entries)
                self.entries.append(text)
            return '<c r="%s"%s t="s"><v>%d</v></c>' % (reference, style, self.index[text])
        return INLINE_STRING_CELL.sub(to_shared, sheet_xml)

    def part(self):
        items = []
        for text in self.entries:
            if text == PLAIN_HELLO_WORLD:
                items.append("<si>%s</si>" % RICH_HELLO_WORLD)
            else:
                items.append("<si><t>%s</t></si>" % text)
        return ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
                '<sst xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" '
                'count="%d" uniqueCount="%d">%s</sst>'
                % (len(self.entries), len(self.entries), "".join(items)))


def patch_sales(xml):
    for reference, replacement in SALES_FORMULA_CELLS.items():
        pattern = r'<c r="%s"[^>]*>.*?</c>' % reference
        xml, count = re.subn(pattern, replacement, xml, flags=re.S)
        if count != 1:
            raise SystemExit("cell %s not found in the Sales sheet" % reference)
    return xml


def add_shared_strings_type(xml):
    override = '<Override PartName="/xl/sharedStrings.xml" ContentType="%s"/>' % SHARED_STRINGS_TYPE
    return xml.replace("</Types>", override + "</Types>")


def add_shared_strings_relation(xml):
    relation = ('<Relationship Type="%s" Target="sharedStrings.xml" Id="rIdStrings"/>'
                % SHARED_STRINGS_RELATION)
    return xml.replace("</Relationships>", relation + "</Relationships>")


def sales_part_name(archive):
    workbook = archive.read("xl/workbook.xml").decode()
    relations = archive.read("xl/_rels/workbook.xml.rels").decode()
    relation_id = re.search(r'<sheet [^>]*name="Sales"[^>]*r:id="(rId\d+)"', workbook).group(1)
    target = re.search(r'Target="([^"]+)" Id="%s"' % relation_id, relations).group(1)
    return target.lstrip("/") if target.startswith("/") else "xl/" + target


def write_entries(path, entries):
    """Writes the package with fixed entry dates, so that a rebuild changes only what changed."""
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as archive:
        for name, data in entries:
            info = zipfile.ZipInfo(name, date_time=(2008, 3, 15, 0, 0, 0))
            info.compress_type = zipfile.ZIP_DEFLATED
            archive.writestr(info, data)


def rewrite(path):
    with zipfile.ZipFile(path) as archive:
        entries = [(info.filename, archive.read(info.filename)) for info in archive.infolist()]
        sales_part = sales_part_name(archive)
    if any(name == "xl/sharedStrings.xml" for name, _ in entries):
        raise SystemExit("openpyxl wrote a shared string table; this script expects inline strings")
    strings = SharedStrings()
    patched = []
    for name, data in entries:
        text = data.decode()
        if name == sales_part:
            text = patch_sales(text)
        if name.startswith("xl/worksheets/"):
            text = strings.replace_inline(text)
        elif name == "[Content_Types].xml":
            text = add_shared_strings_type(text)
        elif name == "xl/workbook.xml":
            text = text.replace("<workbookProtection/>", "")  # empty, and a warning to converters
        elif name == "xl/_rels/workbook.xml.rels":
            text = add_shared_strings_relation(text)
        patched.append((name, text.encode()))
    if PLAIN_HELLO_WORLD not in strings.index:
        raise SystemExit("'hello world' was not among the inline strings")
    patched.append(("xl/sharedStrings.xml", strings.part().encode()))
    write_entries(path, patched)


WORKBOOK_TYPES = {
    "xlsx": "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml",
    "xlsm": "application/vnd.ms-excel.sheet.macroEnabled.main+xml",
    "xltx": "application/vnd.openxmlformats-officedocument.spreadsheetml.template.main+xml",
}


def copy_with_workbook_type(source, target, extension):
    with zipfile.ZipFile(source) as archive:
        entries = [(info.filename, archive.read(info.filename)) for info in archive.infolist()]
    retyped = []
    for name, data in entries:
        if name == "[Content_Types].xml":
            text = data.decode()
            if WORKBOOK_TYPES["xlsx"] not in text:
                raise SystemExit("the workbook content type was not found")
            data = text.replace(WORKBOOK_TYPES["xlsx"], WORKBOOK_TYPES[extension]).encode()
        retyped.append((name, data))
    write_entries(target, retyped)


def main():
    if len(sys.argv) != 2:
        raise SystemExit(__doc__)
    book = os.path.join(sys.argv[1], "book.xlsx")
    build_with_openpyxl(book)
    rewrite(book)
    for extension in ("xlsm", "xltx"):
        copy_with_workbook_type(book, os.path.join(sys.argv[1], "book." + extension), extension)


if __name__ == "__main__":
    main()
