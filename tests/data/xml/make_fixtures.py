#!/usr/bin/python3
"""Writes the small XML-format fixtures for the engine tests (run with Debian's python3 and
python3-openpyxl: /usr/bin/python3 make_fixtures.py). Most packages are written by hand with
zipfile so that each one holds exactly the structure a test is about."""
import codecs
import zipfile

import openpyxl

MAIN = "http://schemas.openxmlformats.org/spreadsheetml/2006/main"
REL = "http://schemas.openxmlformats.org/officeDocument/2006/relationships"
PKG_REL = "http://schemas.openxmlformats.org/package/2006/relationships"
STRICT_MAIN = "http://purl.oclc.org/ooxml/spreadsheetml/main"
STRICT_REL = "http://purl.oclc.org/ooxml/officeDocument/relationships"
MACRO_REL = "http://schemas.microsoft.com/office/2006/relationships/xlMacrosheet"
DECL = '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'

CONTENT_TYPES = (DECL + '<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
                 '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
                 '<Default Extension="xml" ContentType="application/xml"/></Types>')


def relationships(entries):
    body = "".join(f'<Relationship Id="{rid}" Type="{kind}" Target="{target}"/>'
                   for rid, kind, target in entries)
    return DECL + f'<Relationships xmlns="{PKG_REL}">{body}</Relationships>'


def write_zip(path, parts):
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as archive:
        for name, text in parts:
            archive.writestr(name, text.encode("utf-8") if isinstance(text, str) else text)


def worksheet(main, rows):
    return DECL + f'<worksheet xmlns="{main}" xmlns:r="{REL}"><sheetData>{rows}</sheetData></worksheet>'


DATA_ROWS = (
    # Shared strings, a rich shared string and a rich inline string.
    '<row r="1"><c r="A1" t="s"><v>0</v></c><c r="B1" t="s"><v>1</v></c>'
    '<c r="C1" t="inlineStr"><is><r><t>Inl</t></r><r><rPr><b/></rPr><t>ine</t></r></is></c></row>'
    # Number, boolean, error and a formula with a string result.
    '<row r="2"><c r="A2"><v>3.14159</v></c><c r="B2" t="b"><v>1</v></c>'
    '<c r="C2" t="e"><v>#DIV/0!</v></c>'
    '<c r="D2" t="str"><f>CONCATENATE("fo","rmula")</f><v>formula</v></c></row>'
    # Dates: built-in format 14, a custom date-time format, and a custom format with "d"
    # only inside quotes (not a date).
    '<row r="3"><c r="A3" s="1"><v>39448</v></c><c r="B3" s="2"><v>39449.5</v></c>'
    '<c r="C3" s="3"><v>12345</v></c></row>'
    # A shared formula over A5:C6; B6 only points at it.
    '<row r="5"><c r="A5"><f t="shared" si="0" ref="A5:C6">SUM(A1:B2)+$C$1+Sheet2!A1&amp;"A1"</f><v>1</v></c>'
    '<c r="B5"><f t="shared" si="0"/><v>1</v></c></row>'
    '<row r="6"><c r="A6"><f t="shared" si="0"/><v>1</v></c><c r="B6"><f t="shared" si="0"/><v>1</v></c></row>'
    # Cells and a row without r, entities and a character reference.
    '<row r="8"><c t="inlineStr"><is><t>first</t></is></c><c><v>77</v></c></row>'
    '<row><c t="inlineStr"><is><t>Fish &amp; Chips &#x41;BC</t></is></c></row>'
    '<row r="10"><c r="B10"><f>_xlfn.CONCAT("new","func")</f><v>0</v></c>'
    '<c r="C10" t="inlineStr"><is><t><![CDATA[<cdata>]]></t></is></c></row>'
    # A formula reading another workbook through external link [1].
    '<row r="11"><c r="A11"><f>[1]Prices!A1*2</f><v>0</v></c></row>'
)

SHARED_STRINGS = (
    DECL + f'<sst xmlns="{MAIN}" count="3" uniqueCount="3">'
    '<si><t>Plain text</t></si>'
    '<si><r><t>Ri</t></r><r><rPr><i/></rPr><t>ch</t></r><rPh sb="0" eb="1"><t>furigana</t></rPh></si>'
    '<si><t>hidden words</t></si></sst>')

STYLES = (
    DECL + f'<styleSheet xmlns="{MAIN}"><numFmts count="2">'
    '<numFmt numFmtId="164" formatCode="yyyy\\-mm\\-dd hh:mm"/>'
    '<numFmt numFmtId="165" formatCode="0.00&quot; days&quot;"/></numFmts>'
    '<cellStyleXfs count="1"><xf numFmtId="14"/></cellStyleXfs>'
    '<cellXfs count="4"><xf numFmtId="0"/><xf numFmtId="14"/><xf numFmtId="164"/><xf numFmtId="165"/></cellXfs>'
    '</styleSheet>')


def kinds_workbook():
    """A chart sheet first, hidden and very hidden sheets, a macro sheet and a dialog sheet,
    with relative, absolute and ../ relationship targets."""
    sheets = [("Chart1", "rId1", None), ("Data", "rId2", None), ("Secret", "rId3", "hidden"),
              ("Deep", "rId4", "veryHidden"), ("Macro1", "rId5", None), ("Dialog1", "rId6", None)]
    sheet_list = "".join(
        f'<sheet name="{name}" sheetId="{i + 1}"' + (f' state="{state}"' if state else "") + f' r:id="{rid}"/>'
        for i, (name, rid, state) in enumerate(sheets))
    workbook = (DECL + f'<workbook xmlns="{MAIN}" xmlns:r="{REL}"><workbookPr/><sheets>{sheet_list}</sheets>'
                '<externalReferences><externalReference r:id="rId9"/></externalReferences></workbook>')
    rels = relationships([
        ("rId1", f"{REL}/chartsheet", "chartsheets/sheet1.xml"),
        ("rId2", f"{REL}/worksheet", "worksheets/sheet1.xml"),
        ("rId3", f"{REL}/worksheet", "/xl/worksheets/sheet2.xml"),
        ("rId4", f"{REL}/worksheet", "../xl/worksheets/sheet3.xml"),
        ("rId5", MACRO_REL, "macrosheets/sheet1.xml"),
        ("rId6", f"{REL}/dialogsheet", "dialogsheets/sheet1.xml"),
        ("rId7", f"{REL}/sharedStrings", "sharedStrings.xml"),
        ("rId8", f"{REL}/styles", "styles.xml"),
        ("rId9", f"{REL}/externalLink", "externalLinks/externalLink1.xml"),
    ])
    external_rels = (DECL + f'<Relationships xmlns="{PKG_REL}"><Relationship Id="rId1" '
                     f'Type="{REL}/externalLinkPath" Target="Budget%202008.xlsx" TargetMode="External"/>'
                     '</Relationships>')
    return [
        ("[Content_Types].xml", CONTENT_TYPES),
        ("_rels/.rels", relationships([("rId1", f"{REL}/officeDocument", "xl/workbook.xml")])),
        ("xl/workbook.xml", workbook),
        ("xl/_rels/workbook.xml.rels", rels),
        ("xl/chartsheets/sheet1.xml", DECL + f'<chartsheet xmlns="{MAIN}"><sheetPr/></chartsheet>'),
        ("xl/worksheets/sheet1.xml", worksheet(MAIN, DATA_ROWS)),
        ("xl/worksheets/sheet2.xml", worksheet(MAIN, '<row r="4"><c r="D4" t="s"><v>2</v></c></row>')),
        ("xl/worksheets/sheet3.xml", worksheet(MAIN, '')),
        ("xl/macrosheets/sheet1.xml",
         DECL + f'<xm:macrosheet xmlns="{MAIN}" xmlns:xm="http://schemas.microsoft.com/office/excel/2006/main">'
         '<sheetData><row r="2"><c r="A2"><f>HALT()</f><v>1</v></c></row></sheetData></xm:macrosheet>'),
        ("xl/dialogsheets/sheet1.xml", DECL + f'<dialogsheet xmlns="{MAIN}"/>'),
        ("xl/sharedStrings.xml", SHARED_STRINGS),
        ("xl/styles.xml", STYLES),
        ("xl/externalLinks/externalLink1.xml",
         DECL + f'<externalLink xmlns="{MAIN}" xmlns:r="{REL}"><externalBook r:id="rId1"/></externalLink>'),
        ("xl/externalLinks/_rels/externalLink1.xml.rels", external_rels),
    ]


def strict_workbook():
    """Strict namespaces and relationship types, the workbook at an unusual path, 1904 dates."""
    workbook = (DECL + f'<workbook xmlns="{STRICT_MAIN}" xmlns:r="{STRICT_REL}"><workbookPr date1904="1"/>'
                '<sheets><sheet name="Graph" sheetId="1" r:id="rId1"/>'
                '<sheet name="Strict Sheet" sheetId="2" r:id="rId2"/></sheets></workbook>')
    rels = relationships([
        ("rId1", f"{STRICT_REL}/chartsheet", "charts/graph.xml"),
        ("rId2", f"{STRICT_REL}/worksheet", "sheets/strict.xml"),
        ("rId3", f"{STRICT_REL}/sharedStrings", "strings.xml"),
        ("rId4", f"{STRICT_REL}/styles", "styles.xml"),
    ])
    styles = (DECL + f'<styleSheet xmlns="{STRICT_MAIN}"><cellXfs count="2"><xf numFmtId="0"/>'
              '<xf numFmtId="14"/></cellXfs></styleSheet>')
    strings = DECL + f'<sst xmlns="{STRICT_MAIN}"><si><t>strict words</t></si></sst>'
    rows = '<row r="1"><c r="A1" t="s"><v>0</v></c><c r="B1" s="1"><v>0</v></c></row>'
    return [
        ("[Content_Types].xml", CONTENT_TYPES),
        ("_rels/.rels", relationships([("rId1", f"{STRICT_REL}/officeDocument", "book/main.xml")])),
        ("book/main.xml", workbook),
        ("book/_rels/main.xml.rels", rels),
        ("book/charts/graph.xml", DECL + f'<chartsheet xmlns="{STRICT_MAIN}"/>'),
        ("book/sheets/strict.xml", worksheet(STRICT_MAIN, rows)),
        ("book/strings.xml", strings),
        ("book/styles.xml", styles),
    ]


def single_sheet_package(sheet_xml, strings_xml=None):
    parts = [
        ("[Content_Types].xml", CONTENT_TYPES),
        ("_rels/.rels", relationships([("rId1", f"{REL}/officeDocument", "xl/workbook.xml")])),
        ("xl/workbook.xml", DECL + f'<workbook xmlns="{MAIN}" xmlns:r="{REL}"><sheets>'
                                   '<sheet name="Only" sheetId="1" r:id="rId1"/></sheets></workbook>'),
        ("xl/_rels/workbook.xml.rels", relationships(
            [("rId1", f"{REL}/worksheet", "worksheets/sheet1.xml")] +
            ([("rId2", f"{REL}/sharedStrings", "sharedStrings.xml")] if strings_xml else []))),
        ("xl/worksheets/sheet1.xml", sheet_xml),
    ]
    if strings_xml:
        parts.append(("xl/sharedStrings.xml", strings_xml))
    return parts


def failure_packages():
    full = worksheet(MAIN, "".join(f'<row r="{r}"><c r="A{r}"><v>{r}</v></c></row>' for r in range(1, 200)))
    write_zip("truncated_sheet.xlsx", single_sheet_package(full[: len(full) // 2]))
    entity = ('<?xml version="1.0"?>\n<!DOCTYPE worksheet [<!ENTITY boom "boom boom boom">]>\n'
              f'<worksheet xmlns="{MAIN}"><sheetData><row r="1"><c r="A1" t="inlineStr">'
              '<is><t>&boom;</t></is></c></row></sheetData></worksheet>')
    write_zip("entity_sheet.xlsx", single_sheet_package(entity))
    entity_strings = ('<?xml version="1.0"?>\n<!DOCTYPE sst [<!ENTITY boom "boom">]>\n'
                      f'<sst xmlns="{MAIN}"><si><t>&boom;</t></si></sst>')
    write_zip("entity_strings.xlsx", single_sheet_package(
        worksheet(MAIN, '<row r="1"><c r="A1" t="s"><v>0</v></c></row>'), entity_strings))
    no_workbook = [(n, t) for n, t in single_sheet_package(worksheet(MAIN, "")) if n != "xl/workbook.xml"]
    write_zip("no_workbook.xlsx", no_workbook)


def openpyxl_workbook():
    """A package from a real writer, as a check that the hand-made ones are not too kind."""
    book = openpyxl.Workbook()
    sheet = book.active
    sheet.title = "Written"
    sheet["A1"] = "Quarterly total"
    sheet["B2"] = 2.5
    sheet["C3"] = "=SUM(B2:B3)"
    other = book.create_sheet("Other")
    other["D4"] = "Maldives"
    other.sheet_state = "hidden"
    book.save("openpyxl_book.xlsx")


ODS_NS = ('xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" '
          'xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0" '
          'xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" '
          'xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" '
          'xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0" '
          'xmlns:of="urn:oasis:names:tc:opendocument:xmlns:of:1.2" office:version="1.2"')

ODS_STYLES = ('<office:automatic-styles>'
              '<style:style style:name="ta1" style:family="table"><style:table-properties table:display="true"/></style:style>'
              '<style:style style:name="ta2" style:family="table"><style:table-properties table:display="false"/></style:style>'
              '</office:automatic-styles>')

ODS_TABLES = (
    '<table:table table:name="Visible" table:style-name="ta1">'
    '<table:table-column table:number-columns-repeated="16384"/>'
    # A cell repeated a billion times, then the cell after it.
    '<table:table-row><table:table-cell table:number-columns-repeated="1000000000"/>'
    '<table:table-cell office:value-type="string"><text:p>after the repeat</text:p></table:table-cell></table:table-row>'
    # A million empty rows repeated, then spaces, a tab, a line break, spans and two paragraphs.
    '<table:table-row table:number-rows-repeated="1000000"><table:table-cell/></table:table-row>'
    '<table:table-row><table:table-cell office:value-type="string">'
    '<text:p>a<text:s text:c="3"/>b<text:tab/>c<text:line-break/>d <text:span>sp</text:span>an</text:p>'
    '<text:p>second <text:a xlink:href="http://example.com/" xmlns:xlink="http://www.w3.org/1999/xlink">link</text:a></text:p>'
    '</table:table-cell>'
    # A formula, a number shown rounded, a boolean, a date and a cell with a comment.
    '<table:table-cell table:formula="of:=SUM([.A1:.B2];[$Sheet2.C3])+IF([.A1]=&quot;x;y&quot;;1;2)" '
    'office:value-type="float" office:value="3.14159"><text:p>3.14</text:p></table:table-cell>'
    '<table:table-cell office:value-type="boolean" office:boolean-value="true"><text:p>TRUE</text:p></table:table-cell>'
    '<table:table-cell office:value-type="date" office:date-value="2008-02-29"><text:p>02/29/08</text:p></table:table-cell>'
    '<table:table-cell office:value-type="string"><office:annotation><text:p>secret note</text:p></office:annotation>'
    '<text:p>commented</text:p></table:table-cell>'
    '<table:covered-table-cell><text:p>covered text</text:p></table:covered-table-cell>'
    '</table:table-row></table:table>'
    '<table:table table:name="Hidden" table:style-name="ta2"><table:table-row>'
    '<table:table-cell office:value-type="string"><text:p>Fish &amp; chips</text:p></table:table-cell>'
    '</table:table-row></table:table>')


def ods_files():
    content = ('<?xml version="1.0" encoding="UTF-8"?>\n'
               f'<office:document-content {ODS_NS}>{ODS_STYLES}<office:body><office:spreadsheet>'
               f'{ODS_TABLES}</office:spreadsheet></office:body></office:document-content>')
    manifest = ('<?xml version="1.0" encoding="UTF-8"?>\n<manifest:manifest '
                'xmlns:manifest="urn:oasis:names:tc:opendocument:xmlns:manifest:1.0" manifest:version="1.2">'
                '<manifest:file-entry manifest:full-path="/" manifest:media-type="application/vnd.oasis.opendocument.spreadsheet"/>'
                '<manifest:file-entry manifest:full-path="content.xml" manifest:media-type="text/xml"/>'
                '</manifest:manifest>')
    with zipfile.ZipFile("cells.ods", "w") as archive:
        archive.writestr("mimetype", "application/vnd.oasis.opendocument.spreadsheet", zipfile.ZIP_STORED)
        archive.writestr("content.xml", content, zipfile.ZIP_DEFLATED)
        archive.writestr("META-INF/manifest.xml", manifest, zipfile.ZIP_DEFLATED)
    with open("cells.fods", "w", encoding="utf-8") as out:
        out.write('<?xml version="1.0" encoding="UTF-8"?>\n'
                  f'<office:document {ODS_NS} office:mimetype="application/vnd.oasis.opendocument.spreadsheet">'
                  f'{ODS_STYLES}<office:body><office:spreadsheet>{ODS_TABLES}</office:spreadsheet>'
                  '</office:body></office:document>')
    encrypted_manifest = manifest.replace(
        'manifest:media-type="text/xml"/>',
        'manifest:media-type="text/xml"><manifest:encryption-data manifest:checksum-type="SHA1/1K" '
        'manifest:checksum="AAAA"><manifest:algorithm manifest:algorithm-name="Blowfish CFB" '
        'manifest:initialisation-vector="AAAA"/></manifest:encryption-data></manifest:file-entry>')
    with zipfile.ZipFile("encrypted.ods", "w") as archive:
        archive.writestr("mimetype", "application/vnd.oasis.opendocument.spreadsheet", zipfile.ZIP_STORED)
        archive.writestr("content.xml", b"\x8f\x13garbled bytes of an encrypted part", zipfile.ZIP_STORED)
        archive.writestr("META-INF/manifest.xml", encrypted_manifest, zipfile.ZIP_DEFLATED)


def spreadsheetml_file():
    with open("book2003.xml", "w", encoding="utf-8") as out:
        out.write(
            '<?xml version="1.0"?>\n<?mso-application progid="Excel.Sheet"?>\n'
            '<Workbook xmlns="urn:schemas-microsoft-com:office:spreadsheet" '
            'xmlns:ss="urn:schemas-microsoft-com:office:spreadsheet" '
            'xmlns:x="urn:schemas-microsoft-com:office:excel" xmlns:html="http://www.w3.org/TR/REC-html40">'
            '<Worksheet ss:Name="First"><Table>'
            '<Row><Cell><Data ss:Type="String">top left</Data></Cell>'
            '<Cell ss:Index="4" ss:MergeAcross="2"><Data ss:Type="Number">42.5</Data></Cell>'
            '<Cell><Data ss:Type="Boolean">1</Data></Cell></Row>'
            '<Row ss:Index="5" ss:Span="2"><Cell ss:Formula="=SUM(R[-4]C:R[-4]C[1])"><Data ss:Type="Number">3</Data></Cell></Row>'
            '<Row><Cell><ss:Data ss:Type="String" xmlns="http://www.w3.org/TR/REC-html40">'
            '<B>Bo</B><Font html:Color="#FF0000">ld</Font> text</ss:Data>'
            '<Comment ss:Author="me"><ss:Data><B>remark</B></ss:Data></Comment></Cell></Row>'
            '</Table></Worksheet>'
            '<Worksheet ss:Name="Second, hidden"><Table><Row><Cell><Data ss:Type="String">Fish &amp; chips</Data></Cell></Row></Table>'
            '<WorksheetOptions xmlns="urn:schemas-microsoft-com:office:excel"><Visible>SheetHidden</Visible></WorksheetOptions>'
            '</Worksheet></Workbook>\n')


def text_files():
    with open("quoted.csv", "w", encoding="utf-8", newline="") as out:
        out.write('name,remark\r\n"Smith, John","said ""hello""\r\nand left"\r\n'
                  'plain,=SUM(A1:A2)\r\n,"last"\n')
    with open("tabbed.txt", "w", encoding="utf-8", newline="") as out:
        out.write('\ufeffalpha\tbeta\tgamma\n"quoted,not csv"\tdelta\n')
    with open("utf16.txt", "wb") as out:
        out.write(codecs.BOM_UTF16_LE + "город\tМОСКВА\r\nx\t日本\r\n".encode("utf-16-le"))
    with open("utf16be.csv", "wb") as out:
        out.write(codecs.BOM_UTF16_BE + 'a,"b,CAFÉ"\n'.encode("utf-16-be"))
    with open("latin1.csv", "wb") as out:
        out.write("menu,caf\xe9 cr\xe8me\n".encode("latin-1"))


if __name__ == "__main__":
    write_zip("kinds.xlsx", kinds_workbook())
    write_zip("strict.xlsx", strict_workbook())
    failure_packages()
    openpyxl_workbook()
    ods_files()
    spreadsheetml_file()
    text_files()
