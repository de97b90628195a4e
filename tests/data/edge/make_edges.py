#!/usr/bin/env python3
"""Writes the edge-case fixtures that need no office program: damaged and impostor files made
from the every-format workbook, and small .xlsx packages written part by part.

Usage: make_edges.py EVERY_FORMAT_DIR OUTPUT_DIR
"""
import os
import random
import struct
import sys
import zipfile

FIXED_DATE = (2008, 3, 15, 0, 0, 0)

MAIN_NS = "http://schemas.openxmlformats.org/spreadsheetml/2006/main"
RELATIONSHIPS_NS = "http://schemas.openxmlformats.org/officeDocument/2006/relationships"
PACKAGE_RELATIONSHIPS_NS = "http://schemas.openxmlformats.org/package/2006/relationships"
WORKSHEET_TYPE = "application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml"
WORKBOOK_TYPE = "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"


def write_zip(path, entries, compression=zipfile.ZIP_DEFLATED):
    with zipfile.ZipFile(path, "w") as archive:
        for name, data in entries:
            info = zipfile.ZipInfo(name, date_time=FIXED_DATE)
            info.compress_type = compression
            archive.writestr(info, data)


def write_bytes(path, data):
    with open(path, "wb") as output:
        output.write(data)


# --- Damaged and impostor files ---------------------------------------------------------------

def truncated(source, target, keep):
    """The first `keep` of the source's bytes: a copy interrupted part way."""
    with open(source, "rb") as whole:
        write_bytes(target, whole.read()[:keep])


def damaged_sheet(source, target, part_name):
    """The source package with the compressed bytes of one part overwritten in their second half:
    the zip directory is intact, so only that part fails to inflate."""
    with open(source, "rb") as whole:
        data = bytearray(whole.read())
    with zipfile.ZipFile(source) as archive:
        info = archive.getinfo(part_name)
    name_length, extra_length = struct.unpack("<HH", data[info.header_offset + 26:
                                                          info.header_offset + 30])
    start = info.header_offset + 30 + name_length + extra_length
    middle = start + info.compress_size // 2
    data[middle:start + info.compress_size - 2] = b"\xff" * (start + info.compress_size - 2 - middle)
    write_bytes(target, bytes(data))


def random_bytes(target, size, seed):
    generator = random.Random(seed)
    data = bytearray(generator.getrandbits(8) for _ in range(size))
    data[0:2] = b"\x9c\x00"  # starts like no known format and holds a NUL: not text either
    write_bytes(target, bytes(data))


def owner_file(target, user_name):
    """The small file Excel keeps beside an open workbook ("~$" + its name) to say who has it
    open: the user name's length, the name in the ANSI code page, spaces to 54 bytes, then the
    name again in UTF-16LE, padded with spaces to 165 bytes."""
    ansi = user_name.encode("cp1252")
    data = bytes([len(ansi)]) + ansi
    data += b" " * (54 - len(data))
    data += struct.pack("<H", len(user_name)) + user_name.encode("utf-16-le")
    data += b" \x00" * ((165 - len(data)) // 2)
    data += b" " * (165 - len(data))
    write_bytes(target, data)


def not_a_workbook_zip(target):
    write_zip(target, [("readme.txt", b"An ordinary zip archive: no workbook inside.\n"),
                       ("data/values.csv", b"a,b\n1,2\n")])


def text_document_ods(target):
    """An OpenDocument text document (a letter, not a spreadsheet) saved under a .ods name."""
    office = "urn:oasis:names:tc:opendocument:xmlns:office:1.0"
    text = "urn:oasis:names:tc:opendocument:xmlns:text:1.0"
    content = ('<?xml version="1.0" encoding="UTF-8"?>\n'
               '<office:document-content xmlns:office="%s" xmlns:text="%s" office:version="1.2">'
               '<office:body><office:text><text:p>sales report, not a spreadsheet</text:p>'
               '</office:text></office:body></office:document-content>' % (office, text))
    manifest = ('<?xml version="1.0" encoding="UTF-8"?>\n'
                '<manifest:manifest xmlns:manifest="urn:oasis:names:tc:opendocument:xmlns:'
                'manifest:1.0" manifest:version="1.2">'
                '<manifest:file-entry manifest:full-path="/" manifest:media-type='
                '"application/vnd.oasis.opendocument.text"/>'
                '<manifest:file-entry manifest:full-path="content.xml" '
                'manifest:media-type="text/xml"/></manifest:manifest>')
    with zipfile.ZipFile(target, "w") as archive:
        # The mimetype entry comes first and is stored, as OpenDocument asks.
        mimetype = zipfile.ZipInfo("mimetype", date_time=FIXED_DATE)
        archive.writestr(mimetype, b"application/vnd.oasis.opendocument.text")
        for name, data in (("content.xml", content), ("META-INF/manifest.xml", manifest)):
            info = zipfile.ZipInfo(name, date_time=FIXED_DATE)
            info.compress_type = zipfile.ZIP_DEFLATED
            archive.writestr(info, data)


def missing_workbook_part(target):
    """A package whose content types and relationships name a workbook part that is absent."""
    entries = package_entries([("Sheet1", sheet_xml('<row r="1"><c r="A1" t="inlineStr">'
                                                   '<is><t>orphan</t></is></c></row>'))])
    write_zip(target, [(name, data) for name, data in entries if name != "xl/workbook.xml"])


# --- Small .xlsx packages written part by part ------------------------------------------------

def sheet_xml(rows, namespace=MAIN_NS):
    return ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
            '<worksheet xmlns="%s"><sheetData>%s</sheetData></worksheet>' % (namespace, rows))


def package_entries(sheets, workbook_attributes="", main_ns=MAIN_NS,
                    relationships_ns=RELATIONSHIPS_NS, extra_entries=()):
    """A minimal workbook package: content types, relationships, the workbook and its sheets."""
    overrides = "".join('<Override PartName="/xl/worksheets/sheet%d.xml" ContentType="%s"/>'
                        % (number, WORKSHEET_TYPE) for number in range(1, len(sheets) + 1))
    content_types = (
        '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
        '<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
        '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.'
        'relationships+xml"/><Default Extension="xml" ContentType="application/xml"/>'
        '<Override PartName="/xl/workbook.xml" ContentType="%s"/>%s</Types>'
        % (WORKBOOK_TYPE, overrides))
    root_relationships = (
        '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
        '<Relationships xmlns="%s"><Relationship Id="rId1" Type="%s/officeDocument" '
        'Target="xl/workbook.xml"/></Relationships>' % (PACKAGE_RELATIONSHIPS_NS, relationships_ns))
    sheet_list = "".join('<sheet name="%s" sheetId="%d" r:id="rId%d"/>' % (name, number, number)
                         for number, (name, _) in enumerate(sheets, start=1))
    workbook = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
                '<workbook xmlns="%s" xmlns:r="%s"><workbookPr%s/><sheets>%s</sheets></workbook>'
                % (main_ns, relationships_ns, workbook_attributes, sheet_list))
    workbook_relationships = (
        '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<Relationships xmlns="%s">%s'
        '</Relationships>' % (PACKAGE_RELATIONSHIPS_NS, "".join(
            '<Relationship Id="rId%d" Type="%s/worksheet" Target="worksheets/sheet%d.xml"/>'
            % (number, relationships_ns, number) for number in range(1, len(sheets) + 1))))
    entries = [("[Content_Types].xml", content_types), ("_rels/.rels", root_relationships),
               ("xl/workbook.xml", workbook),
               ("xl/_rels/workbook.xml.rels", workbook_relationships)]
    entries += [("xl/worksheets/sheet%d.xml" % number, xml)
                for number, (_, xml) in enumerate(sheets, start=1)]
    entries += list(extra_entries)
    return [(name, data.encode() if isinstance(data, str) else data) for name, data in entries]


def inline_strings(target):
    """Strings stored in the cells themselves (no shared string table), rich inline runs, a
    formula's string result (t="str"), and cells that give no reference (their place is the
    next column)."""
    strings = sheet_xml(
        '<row r="1"><c r="A1" t="inlineStr"><is><t>plain inline</t></is></c>'
        '<c r="B1" t="inlineStr"><is><r><t>hel</t></r><r><rPr><b/></rPr><t>lo wor</t></r>'
        '<r><t>ld</t></r></is></c></row>'
        '<row r="3"><c r="C3" t="str"><f>"total "&amp;"due"</f><v>total due</v></c></row>'
        '<row r="4"><c r="A4" t="inlineStr"><is><t xml:space="preserve">  spaced  </t></is></c>'
        '<c r="B4" t="inlineStr"><is><t>&lt;angle&gt; &amp; ampersand</t></is></c></row>')
    unreferenced = sheet_xml(
        '<row><c t="inlineStr"><is><t>first</t></is></c><c t="inlineStr"><is><t>second</t>'
        '</is></c></row><row><c/><c/><c t="inlineStr"><is><t>third</t></is></c></row>')
    write_zip(target, package_entries([("Inline", strings), ("NoReferences", unreferenced)]))


def prefixed_namespaces(target):
    """Every element with a namespace prefix (x:worksheet, x:c...), as some libraries write."""
    workbook_entries = package_entries([("Prefixed", "")])
    prefixed_sheet = (
        '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
        '<x:worksheet xmlns:x="%s"><x:sheetData><x:row r="2"><x:c r="B2" t="inlineStr">'
        '<x:is><x:t>prefixed needle</x:t></x:is></x:c><x:c r="C2"><x:v>42</x:v></x:c>'
        '</x:row></x:sheetData></x:worksheet>' % MAIN_NS)
    entries = [(name, prefixed_sheet.encode() if name.startswith("xl/worksheets/") else data)
               for name, data in workbook_entries]
    write_zip(target, entries)


def date_1904(target):
    """The 1904 date system: serial 38060 is 2008-03-15 here (39522 in the 1900 system)."""
    styles = (
        '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
        '<styleSheet xmlns="%s"><numFmts count="1"><numFmt numFmtId="164" '
        'formatCode="d-mmm-yyyy"/></numFmts><fonts count="1"><font/></fonts><fills count="1">'
        '<fill/></fills><borders count="1"><border/></borders><cellStyleXfs count="1"><xf/>'
        '</cellStyleXfs><cellXfs count="2"><xf numFmtId="0"/><xf numFmtId="164" '
        'applyNumberFormat="1"/></cellXfs></styleSheet>' % MAIN_NS)
    sheet = sheet_xml('<row r="1"><c r="A1" s="1"><v>38060</v></c></row>')
    entries = package_entries([("Dates", sheet)], workbook_attributes=' date1904="1"',
                              extra_entries=[("xl/styles.xml", styles)])
    entries = [(name, add_styles_relation(data) if name == "xl/_rels/workbook.xml.rels" else data)
               for name, data in entries]
    write_zip(target, entries)


def add_styles_relation(relationships):
    relation = ('<Relationship Id="rIdStyles" Type="%s/styles" Target="styles.xml"/>'
                % RELATIONSHIPS_NS)
    return relationships.replace(b"</Relationships>", relation.encode() + b"</Relationships>")


def strict_conformance(target):
    """ISO 29500 Strict: the same parts under the purl.oclc.org namespaces."""
    strict_main = "http://purl.oclc.org/ooxml/spreadsheetml/main"
    strict_relationships = "http://purl.oclc.org/ooxml/officeDocument/relationships"
    sheet = sheet_xml('<row r="1"><c r="A1" t="inlineStr"><is><t>strict needle</t></is></c>'
                      '</row>', namespace=strict_main)
    write_zip(target, package_entries([("Strict", sheet)], main_ns=strict_main,
                                      relationships_ns=strict_relationships))


def array_formulas(target):
    """Array formulas (t="array"): the formula is stored once, in the first cell of its ref, and
    every cell of the range shows it. A column range, a two-by-two range, and a cell just
    outside both."""
    sheet = sheet_xml(
        '<row r="1"><c r="A1"><v>1</v></c><c r="B1"><v>2</v></c>'
        '<c r="C1"><f t="array" ref="C1:C3">SUM(A1:A3*B1:B3)</f><v>20</v></c>'
        '<c r="E1"><f t="array" ref="E1:F2">TRANSPOSE(A1:B2)</f><v>1</v></c>'
        '<c r="F1"><v>3</v></c></row>'
        '<row r="2"><c r="A2"><v>3</v></c><c r="B2"><v>4</v></c><c r="C2"><v>20</v></c>'
        '<c r="E2"><v>2</v></c><c r="F2"><v>4</v></c></row>'
        '<row r="3"><c r="C3"><v>20</v></c><c r="E3"><v>0</v></c></row>'
        '<row r="4"><c r="C4"><v>20</v></c></row>')
    write_zip(target, package_entries([("Arrays", sheet)]))


def array_formulas_fods(target):
    """The same array formulas in a flat OpenDocument spreadsheet: the first cell of each range
    holds the formula and the range's size (table:number-matrix-*-spanned)."""
    def number(value, formula="", columns=0, rows=0):
        matrix = (' table:number-matrix-columns-spanned="%d" table:number-matrix-rows-spanned='
                  '"%d"' % (columns, rows)) if columns else ""
        formula = ' table:formula="of:=%s"' % formula if formula else ""
        return ('<table:table-cell%s%s office:value-type="float" office:value="%s"><text:p>%s'
                '</text:p></table:table-cell>' % (formula, matrix, value, value))
    empty = "<table:table-cell/>"
    rows = [
        [number(1), number(2), number("20", "SUM([.A1:.A3]*[.B1:.B3])", 1, 3), empty,
         number(1, "TRANSPOSE([.A1:.B2])", 2, 2), number(3)],
        [number(3), number(4), number(20), empty, number(2), number(4)],
        [empty, empty, number(20), empty, number(0)],
        [empty, empty, number(20)],
    ]
    body = "".join("<table:table-row>%s</table:table-row>" % "".join(row) for row in rows)
    write_bytes(target, (
        '<?xml version="1.0" encoding="UTF-8"?>\n<office:document '
        'xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" '
        'xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" '
        'xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" office:version="1.3" '
        'office:mimetype="application/vnd.oasis.opendocument.spreadsheet"><office:body>'
        '<office:spreadsheet><table:table table:name="Arrays">%s</table:table>'
        '</office:spreadsheet></office:body></office:document>\n' % body).encode())


def main():
    if len(sys.argv) != 3:
        raise SystemExit(__doc__)
    every_format, out = sys.argv[1:]
    book_xlsx = os.path.join(every_format, "book.xlsx")
    book_xls = os.path.join(every_format, "book.xls")
    truncated(book_xlsx, os.path.join(out, "truncated.xlsx"), os.path.getsize(book_xlsx) // 2)
    truncated(book_xls, os.path.join(out, "truncated.xls"), 6000)
    damaged_sheet(book_xlsx, os.path.join(out, "damaged-sheet.xlsx"), "xl/worksheets/sheet1.xml")
    random_bytes(os.path.join(out, "random.xls"), 4096, seed=2008)
    write_bytes(os.path.join(out, "empty.xlsx"), b"")
    owner_file(os.path.join(out, "~$book.xlsx"), "Quill User")
    not_a_workbook_zip(os.path.join(out, "not-a-workbook.xlsx"))
    text_document_ods(os.path.join(out, "text-document.ods"))
    missing_workbook_part(os.path.join(out, "missing-workbook-part.xlsx"))
    inline_strings(os.path.join(out, "inline-strings.xlsx"))
    prefixed_namespaces(os.path.join(out, "prefixed-namespaces.xlsx"))
    date_1904(os.path.join(out, "date-1904.xlsx"))
    strict_conformance(os.path.join(out, "strict.xlsx"))
    array_formulas(os.path.join(out, "array-formulas.xlsx"))
    array_formulas_fods(os.path.join(out, "array-formulas.fods"))


if __name__ == "__main__":
    main()
