#!/usr/bin/env python3
"""Makes the benchmark corpus: a few hundred generated workbooks in every format the engine
reads, plus a handful of 100,000-row ones, with two planted keywords and a manifest.

Usage: make_corpus.py [FOLDER]   (default /tmp/quillmark-bench-corpus)

Files that already exist are kept, so a second run only fills in what is missing. xlsx, ods,
fods, SpreadsheetML 2003 and text files are written here directly (exact and fast). .xls comes
from LibreOffice (`soffice`) when it is installed and from the npm package `xlsx` (SheetJS),
which also writes .xlsb: install that package outside this tree and point NODE_PATH at its
node_modules folder. A writer that is missing leaves its formats out, and the summary says so.

Keywords: the rare one ("quasar") sits only in the last row of the last sheet of about a
quarter of the workbooks, so a search for it reads every cell; the common one ("total") heads
a column in the first row of every sheet of most workbooks. manifest.tsv (its name holds no
"xls", so the folder scan skips it) lists the sheets where each keyword is expected.
"""

import datetime
import os
import random
import shutil
import subprocess
import sys
import tempfile
import zipfile
from xml.sax.saxutils import escape

RARE_KEYWORD = "quasar"
COMMON_KEYWORD = "total"
BIG_ROWS = 100_000
BIG_BIFF8_ROWS = 65_000  # BIFF8 sheets stop at 65,536 rows
COLUMNS = 10

# Short strings that contain neither keyword.
FIRST_NAMES = ["Avery", "Blake", "Casey", "Devon", "Emery", "Finley", "Harper", "Jordan",
               "Kendall", "Logan", "Morgan", "Parker", "Reese", "Rowan", "Sawyer", "Tatum"]
REGIONS = ["North", "South", "East", "West", "Central", "Coastal", "Highland", "Valley"]
SHEET_NAMES = ["Data", "Summary 2020", "Q1", "Q2", "Ledger", "Übersicht", "Inventory",
               "Plan B", "Régions", "Archive"]
HEADER_WITH_COMMON = ["ID", "Name", "Region", "Amount", "Qty", "Date", "Code", "Ratio", "Flag",
                      "Total"]
HEADER_WITHOUT_COMMON = ["ID", "Name", "Region", "Amount", "Qty", "Date", "Code", "Ratio", "Flag",
                         "Value"]
DATE_BASE = datetime.date(1899, 12, 30)  # serial 0 of the 1900 date system


class Sheet:
    """One sheet: a name and rows of typed cells (kind, value, formula or None)."""

    def __init__(self, name, rows):
        self.name = name
        self.rows = rows


class Workbook:
    def __init__(self, sheets, has_rare, has_common):
        self.sheets = sheets
        self.has_rare = has_rare
        self.has_common = has_common


def column_letter(index):
    return "ABCDEFGHIJ"[index]


def make_row(rng, row_number):
    """A data row at 1-based `row_number` (the header is row 1)."""
    amount = round(rng.uniform(-5000, 50000), 2)
    quantity = rng.randint(1, 500)
    serial = rng.randint(36526, 45657)  # 2000 to 2024
    return [
        ("n", row_number - 1, None),
        ("s", f"{rng.choice(FIRST_NAMES)} {rng.choice(REGIONS)[0]}.", None),
        ("s", rng.choice(REGIONS), None),
        ("n", amount, None),
        ("n", quantity, None),
        ("d", serial, None),
        ("s", f"K-{rng.randint(0, 9999):04d}", None),
        ("n", round(rng.random(), 6), None),
        ("b", rng.random() < 0.5, None),
        ("n", round(amount * quantity, 2), (3, 4)),  # formula: Amount * Qty of this row
    ]


def make_sheet(rng, name, row_count, with_common, with_rare):
    header = HEADER_WITH_COMMON if with_common else HEADER_WITHOUT_COMMON
    rows = [[("s", text, None) for text in header]]
    for row_number in range(2, row_count + 1):
        rows.append(make_row(rng, row_number))
    if with_rare:
        rows[-1][6] = ("s", "Quasar-" + str(rng.randint(1, 99)), None)
    return Sheet(name, rows)


def make_workbook(rng, sheet_count, row_counts, with_common, with_rare):
    names = rng.sample(SHEET_NAMES, sheet_count)
    sheets = []
    for index, name in enumerate(names):
        last = index == sheet_count - 1
        sheets.append(make_sheet(rng, name, row_counts[index], with_common, with_rare and last))
    return Workbook(sheets, with_rare, with_common)


def small_workbook(seed, one_sheet=False):
    rng = random.Random(seed)
    sheet_count = 1 if one_sheet else rng.randint(1, 4)
    row_counts = [rng.choice([20, 40, 80, 150, 300, 500]) for _ in range(sheet_count)]
    return make_workbook(rng, sheet_count, row_counts, rng.random() < 0.85, rng.random() < 0.25)


def big_workbook(seed, rows):
    rng = random.Random(seed)
    workbook = make_workbook(rng, 1, [rows], True, True)
    workbook.sheets[0].name = "Data"
    return workbook


def date_text(serial):
    return (DATE_BASE + datetime.timedelta(days=serial)).isoformat()


def number_text(value):
    return repr(value) if isinstance(value, float) else str(value)


def expected_sheets(workbook, keyword, sheet_names=None):
    names = sheet_names or [sheet.name for sheet in workbook.sheets]
    if keyword == RARE_KEYWORD:
        return [names[-1]] if workbook.has_rare else []
    return names if workbook.has_common else []


# ---------------------------------------------------------------- xlsx (ECMA-376 parts)

XLSX_CONTENT_TYPES = (
    '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
    '<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
    '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
    '<Default Extension="xml" ContentType="application/xml"/>'
    '<Override PartName="/xl/workbook.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"/>'
    '{sheets}'
    '<Override PartName="/xl/sharedStrings.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml"/>'
    '<Override PartName="/xl/styles.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml"/>'
    '</Types>')
XLSX_SHEET_TYPE = ('<Override PartName="/xl/worksheets/sheet{n}.xml" ContentType='
                   '"application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml"/>')
XLSX_ROOT_RELS = (
    '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
    '<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
    '<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/'
    'relationships/officeDocument" Target="xl/workbook.xml"/></Relationships>')
XLSX_STYLES = (
    '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
    '<styleSheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main">'
    '<fonts count="1"><font><sz val="11"/><name val="Calibri"/></font></fonts>'
    '<fills count="2"><fill><patternFill patternType="none"/></fill>'
    '<fill><patternFill patternType="gray125"/></fill></fills>'
    '<borders count="1"><border><left/><right/><top/><bottom/><diagonal/></border></borders>'
    '<cellStyleXfs count="1"><xf numFmtId="0" fontId="0" fillId="0" borderId="0"/></cellStyleXfs>'
    '<cellXfs count="2"><xf numFmtId="0" fontId="0" fillId="0" borderId="0" xfId="0"/>'
    '<xf numFmtId="14" fontId="0" fillId="0" borderId="0" xfId="0" applyNumberFormat="1"/>'
    '</cellXfs></styleSheet>')
MAIN_NS = "http://schemas.openxmlformats.org/spreadsheetml/2006/main"
REL_NS = "http://schemas.openxmlformats.org/officeDocument/2006/relationships"


class SharedStrings:
    def __init__(self):
        self.index = {}
        self.count = 0

    def add(self, text):
        self.count += 1
        return self.index.setdefault(text, len(self.index))

    def xml(self):
        items = "".join(f"<si><t>{escape(text)}</t></si>" for text in self.index)
        return (f'<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<sst xmlns="{MAIN_NS}"'
                f' count="{self.count}" uniqueCount="{len(self.index)}">{items}</sst>')


def xlsx_cell(reference, cell, row_number, strings):
    kind, value, formula = cell
    if kind == "s":
        return f'<c r="{reference}" t="s"><v>{strings.add(value)}</v></c>'
    if kind == "b":
        return f'<c r="{reference}" t="b"><v>{1 if value else 0}</v></c>'
    if kind == "d":
        return f'<c r="{reference}" s="1"><v>{value}</v></c>'
    if formula:
        left, right = (column_letter(c) + str(row_number) for c in formula)
        return f'<c r="{reference}"><f>{left}*{right}</f><v>{number_text(value)}</v></c>'
    return f'<c r="{reference}"><v>{number_text(value)}</v></c>'


def write_xlsx_sheet(stream, sheet, strings):
    last = f"{column_letter(COLUMNS - 1)}{len(sheet.rows)}"
    stream.write((f'<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<worksheet '
                  f'xmlns="{MAIN_NS}" xmlns:r="{REL_NS}"><dimension ref="A1:{last}"/>'
                  '<sheetData>').encode())
    chunk = []
    for row_index, row in enumerate(sheet.rows):
        row_number = row_index + 1
        cells = "".join(xlsx_cell(f"{column_letter(c)}{row_number}", cell, row_number, strings)
                        for c, cell in enumerate(row))
        chunk.append(f'<row r="{row_number}" spans="1:{COLUMNS}">{cells}</row>')
        if len(chunk) == 2000:
            stream.write("".join(chunk).encode())
            chunk = []
    stream.write(("".join(chunk) + "</sheetData></worksheet>").encode())


def write_xlsx(path, workbook):
    strings = SharedStrings()
    sheet_count = len(workbook.sheets)
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as archive:
        archive.writestr("[Content_Types].xml", XLSX_CONTENT_TYPES.format(
            sheets="".join(XLSX_SHEET_TYPE.format(n=n + 1) for n in range(sheet_count))))
        archive.writestr("_rels/.rels", XLSX_ROOT_RELS)
        sheets = "".join(f'<sheet name="{escape(s.name, {chr(34): "&quot;"})}" sheetId="{n + 1}"'
                         f' r:id="rId{n + 1}"/>' for n, s in enumerate(workbook.sheets))
        archive.writestr("xl/workbook.xml", (
            f'<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<workbook xmlns="{MAIN_NS}"'
            f' xmlns:r="{REL_NS}"><sheets>{sheets}</sheets></workbook>'))
        relationships = "".join(
            f'<Relationship Id="rId{n + 1}" Type="{REL_NS}/worksheet" '
            f'Target="worksheets/sheet{n + 1}.xml"/>' for n in range(sheet_count))
        relationships += (f'<Relationship Id="rId{sheet_count + 1}" Type="{REL_NS}/sharedStrings"'
                          f' Target="sharedStrings.xml"/>'
                          f'<Relationship Id="rId{sheet_count + 2}" Type="{REL_NS}/styles"'
                          f' Target="styles.xml"/>')
        archive.writestr("xl/_rels/workbook.xml.rels", (
            '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<Relationships xmlns='
            f'"http://schemas.openxmlformats.org/package/2006/relationships">{relationships}'
            '</Relationships>'))
        for n, sheet in enumerate(workbook.sheets):
            with archive.open(f"xl/worksheets/sheet{n + 1}.xml", "w") as stream:
                write_xlsx_sheet(stream, sheet, strings)
        archive.writestr("xl/sharedStrings.xml", strings.xml())
        archive.writestr("xl/styles.xml", XLSX_STYLES)


# ---------------------------------------------------------------- OpenDocument

ODS_NAMESPACES = (
    'xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" '
    'xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0" '
    'xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" '
    'xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" '
    'xmlns:number="urn:oasis:names:tc:opendocument:xmlns:datastyle:1.0" '
    'xmlns:fo="urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0" '
    'xmlns:of="urn:oasis:names:tc:opendocument:xmlns:of:1.2" office:version="1.2"')
ODS_AUTOMATIC_STYLES = (
    '<office:automatic-styles><number:date-style style:name="N37">'
    '<number:month/><number:text>/</number:text><number:day/><number:text>/</number:text>'
    '<number:year number:style="long"/></number:date-style>'
    '<style:style style:name="ce1" style:family="table-cell" style:data-style-name="N37"/>'
    '</office:automatic-styles>')
ODS_MANIFEST = (
    '<?xml version="1.0" encoding="UTF-8"?>\n<manifest:manifest xmlns:manifest='
    '"urn:oasis:names:tc:opendocument:xmlns:manifest:1.0" manifest:version="1.2">'
    '<manifest:file-entry manifest:full-path="/" manifest:version="1.2" manifest:media-type='
    '"application/vnd.oasis.opendocument.spreadsheet"/>'
    '<manifest:file-entry manifest:full-path="content.xml" manifest:media-type="text/xml"/>'
    '<manifest:file-entry manifest:full-path="styles.xml" manifest:media-type="text/xml"/>'
    '</manifest:manifest>')
ODS_STYLES = (f'<?xml version="1.0" encoding="UTF-8"?>\n<office:document-styles {ODS_NAMESPACES}>'
              '</office:document-styles>')


def ods_cell(cell, row_number):
    kind, value, formula = cell
    if kind == "s":
        return f'<table:table-cell office:value-type="string"><text:p>{escape(value)}</text:p></table:table-cell>'
    if kind == "b":
        word = "true" if value else "false"
        return (f'<table:table-cell office:value-type="boolean" office:boolean-value="{word}">'
                f'<text:p>{word.upper()}</text:p></table:table-cell>')
    if kind == "d":
        day = DATE_BASE + datetime.timedelta(days=value)
        return (f'<table:table-cell table:style-name="ce1" office:value-type="date" '
                f'office:date-value="{day.isoformat()}"><text:p>{day.month}/{day.day}/{day.year}'
                '</text:p></table:table-cell>')
    text = number_text(value)
    if formula:
        left, right = (f"[.{column_letter(c)}{row_number}]" for c in formula)
        return (f'<table:table-cell table:formula="of:={left}*{right}" office:value-type="float" '
                f'office:value="{text}"><text:p>{text}</text:p></table:table-cell>')
    return (f'<table:table-cell office:value-type="float" office:value="{text}">'
            f'<text:p>{text}</text:p></table:table-cell>')


def write_ods_body(write, workbook):
    write("<office:body><office:spreadsheet>")
    for sheet in workbook.sheets:
        write(f'<table:table table:name="{escape(sheet.name, {chr(34): "&quot;"})}">'
              f'<table:table-column table:number-columns-repeated="{COLUMNS}"/>')
        chunk = []
        for row_index, row in enumerate(sheet.rows):
            cells = "".join(ods_cell(cell, row_index + 1) for cell in row)
            chunk.append(f"<table:table-row>{cells}</table:table-row>")
            if len(chunk) == 2000:
                write("".join(chunk))
                chunk = []
        write("".join(chunk) + "</table:table>")
    write("</office:spreadsheet></office:body>")


def write_ods(path, workbook):
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as archive:
        # The mimetype member comes first and is stored, so the type shows at a fixed offset.
        archive.writestr(zipfile.ZipInfo("mimetype"), "application/vnd.oasis.opendocument.spreadsheet",
                         compress_type=zipfile.ZIP_STORED)
        archive.writestr("META-INF/manifest.xml", ODS_MANIFEST)
        archive.writestr("styles.xml", ODS_STYLES)
        with archive.open("content.xml", "w") as stream:
            write = lambda text: stream.write(text.encode())
            write(f'<?xml version="1.0" encoding="UTF-8"?>\n<office:document-content '
                  f'{ODS_NAMESPACES}>{ODS_AUTOMATIC_STYLES}')
            write_ods_body(write, workbook)
            write("</office:document-content>")


def write_fods(path, workbook):
    with open(path, "w", encoding="utf-8") as stream:
        stream.write(f'<?xml version="1.0" encoding="UTF-8"?>\n<office:document {ODS_NAMESPACES} '
                     'office:mimetype="application/vnd.oasis.opendocument.spreadsheet">'
                     f'{ODS_AUTOMATIC_STYLES}')
        write_ods_body(stream.write, workbook)
        stream.write("</office:document>")


# ---------------------------------------------------------------- SpreadsheetML 2003

def spreadsheetml_cell(cell):
    kind, value, formula = cell
    if kind == "s":
        return f'<Cell><Data ss:Type="String">{escape(value)}</Data></Cell>'
    if kind == "b":
        return f'<Cell><Data ss:Type="Boolean">{1 if value else 0}</Data></Cell>'
    if kind == "d":
        return f'<Cell ss:StyleID="date"><Data ss:Type="DateTime">{date_text(value)}T00:00:00.000</Data></Cell>'
    if formula:
        # R1C1 references relative to the formula's own column (J): D is RC[-6], E is RC[-5].
        left, right = (f"RC[{c - (COLUMNS - 1)}]" for c in formula)
        return f'<Cell ss:Formula="={left}*{right}"><Data ss:Type="Number">{number_text(value)}</Data></Cell>'
    return f'<Cell><Data ss:Type="Number">{number_text(value)}</Data></Cell>'


def write_spreadsheetml(path, workbook):
    with open(path, "w", encoding="utf-8") as stream:
        stream.write('<?xml version="1.0" encoding="UTF-8"?>\n<?mso-application progid="Excel.Sheet"?>\n'
                     '<Workbook xmlns="urn:schemas-microsoft-com:office:spreadsheet" '
                     'xmlns:ss="urn:schemas-microsoft-com:office:spreadsheet" '
                     'xmlns:o="urn:schemas-microsoft-com:office:office">'
                     '<Styles><Style ss:ID="date"><NumberFormat ss:Format="Short Date"/></Style></Styles>')
        for sheet in workbook.sheets:
            stream.write(f'<Worksheet ss:Name="{escape(sheet.name, {chr(34): "&quot;"})}"><Table>')
            for row in sheet.rows:
                stream.write("<Row>" + "".join(spreadsheetml_cell(cell) for cell in row) + "</Row>")
            stream.write("</Table></Worksheet>")
        stream.write("</Workbook>")


# ---------------------------------------------------------------- plain text

def text_value(cell):
    kind, value, _ = cell
    if kind == "b":
        return "TRUE" if value else "FALSE"
    if kind == "d":
        day = DATE_BASE + datetime.timedelta(days=value)
        return f"{day.month}/{day.day}/{day.year}"
    return number_text(value) if kind == "n" else value


def write_text(path, workbook, separator):
    with open(path, "w", encoding="utf-8", newline="") as stream:
        for row in workbook.sheets[0].rows:
            fields = [text_value(cell) for cell in row]
            if separator == ",":
                fields = [f'"{f}"' if ("," in f or '"' in f) else f for f in fields]
            stream.write(separator.join(fields) + "\r\n")


# ---------------------------------------------------------------- converters

def has_sheetjs():
    if not shutil.which("node"):
        return False
    probe = subprocess.run(["node", "-e", "require('xlsx')"], capture_output=True)
    return probe.returncode == 0


def convert_with_sheetjs(jobs):
    """jobs: (source xlsx, destination, bookType) triples, converted in one node process."""
    if not jobs:
        return
    script = os.path.join(os.path.dirname(os.path.abspath(__file__)), "sheetjs_convert.js")
    lines = "".join(f"{source}\t{destination}\t{book_type}\n"
                    for source, destination, book_type in jobs)
    subprocess.run(["node", "--max-old-space-size=8192", script], input=lines.encode(),
                   check=True)


def convert_with_libreoffice(sources, out_folder, profile_folder):
    """Converts xlsx files to BIFF8 .xls in one soffice run with a private profile."""
    if not sources:
        return
    os.makedirs(out_folder, exist_ok=True)
    subprocess.run(["soffice", f"-env:UserInstallation=file://{profile_folder}", "--headless",
                    "--convert-to", "xls:MS Excel 97", "--outdir", out_folder, *sources],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


# ---------------------------------------------------------------- the corpus

SMALL_COUNTS = {  # folder: (count, extension pattern)
    "xlsx": (100, "book-{:04d}.xlsx"),
    "ods": (40, "xls-book-{:04d}.ods"),
    "fods": (15, "xls-flat-{:04d}.fods"),
    "csv": (25, "xls-text-{:04d}.csv"),
    "tab": (20, "tab-{:04d}.xls"),
    "xml2003": (30, "xml2003-{:04d}.xls"),
    "xls-libreoffice": (30, "lo-{:04d}.xls"),
    "xls-sheetjs": (25, "sheetjs-{:04d}.xls"),
    "xlsb": (40, "book-{:04d}.xlsb"),
}
DIRECT_WRITERS = {
    "xlsx": write_xlsx, "ods": write_ods, "fods": write_fods, "xml2003": write_spreadsheetml,
    "csv": lambda path, workbook: write_text(path, workbook, ","),
    "tab": lambda path, workbook: write_text(path, workbook, "\t"),
}
TEXT_FOLDERS = {"csv", "tab"}


class CorpusMaker:
    def __init__(self, root):
        self.root = root
        self.staging = tempfile.mkdtemp(prefix="quillmark-bench-staging-")
        self.manifest = []
        self.sheetjs_jobs = []
        self.libreoffice_jobs = []  # (staged xlsx, final path)
        self.skipped = []

    def add_manifest(self, path, workbook, text_name=None):
        names = [text_name] if text_name else None
        relative = os.path.relpath(path, self.root)
        folder = relative.split(os.sep)[1]
        self.manifest.append((relative, folder,
                              ",".join(expected_sheets(workbook, RARE_KEYWORD, names)),
                              ",".join(expected_sheets(workbook, COMMON_KEYWORD, names))))

    def place(self, folder, path, workbook):
        """Writes (or queues the conversion of) one workbook unless it is already there."""
        text_name = None
        if folder in TEXT_FOLDERS:
            text_name = os.path.splitext(os.path.basename(path))[0]
        self.add_manifest(path, workbook, text_name)
        if os.path.exists(path):
            return
        os.makedirs(os.path.dirname(path), exist_ok=True)
        if folder in DIRECT_WRITERS:
            DIRECT_WRITERS[folder](path + ".part", workbook)
            os.replace(path + ".part", path)
            return
        staged = os.path.join(self.staging, f"{len(self.manifest):05d}.xlsx")
        write_xlsx(staged, workbook)
        if folder == "xls-libreoffice":
            self.libreoffice_jobs.append((staged, path))
        else:
            self.sheetjs_jobs.append((staged, path, "xlsb" if folder == "xlsb" else "biff8"))

    def make_small(self, available):
        for folder, (count, pattern) in SMALL_COUNTS.items():
            if folder not in available:
                self.skipped.append(f"small/{folder}")
                continue
            for index in range(count):
                seed = f"{folder}-{index}"
                workbook = small_workbook(seed, one_sheet=folder in TEXT_FOLDERS)
                self.place(folder, os.path.join(self.root, "small", folder, pattern.format(index)),
                           workbook)

    def make_big(self, available):
        big = [("xlsx", "big-100k.xlsx", BIG_ROWS), ("xlsb", "big-100k.xlsb", BIG_ROWS),
               ("ods", "xls-big-100k.ods", BIG_ROWS), ("csv", "xls-big-100k.csv", BIG_ROWS),
               ("xls-libreoffice", "big-65k-lo.xls", BIG_BIFF8_ROWS),
               ("xls-sheetjs", "big-65k-sheetjs.xls", BIG_BIFF8_ROWS)]
        for folder, name, rows in big:
            if folder not in available:
                self.skipped.append(f"big/{folder}")
                continue
            workbook = big_workbook(f"big-{folder}", rows)
            self.place(folder, os.path.join(self.root, "big", folder, name), workbook)

    def run_converters(self):
        convert_with_sheetjs(self.sheetjs_jobs)
        if self.libreoffice_jobs:
            profile = tempfile.mkdtemp(prefix="quillmark-bench-lo-profile-")
            out_folder = os.path.join(self.staging, "libreoffice")
            convert_with_libreoffice([source for source, _ in self.libreoffice_jobs], out_folder,
                                     profile)
            for source, destination in self.libreoffice_jobs:
                converted = os.path.join(out_folder,
                                         os.path.splitext(os.path.basename(source))[0] + ".xls")
                if os.path.exists(converted):
                    shutil.move(converted, destination)
            shutil.rmtree(profile, ignore_errors=True)

    def write_manifest(self):
        with open(os.path.join(self.root, "manifest.tsv"), "w", encoding="utf-8") as stream:
            stream.write(f"file\tformat\t{RARE_KEYWORD}\t{COMMON_KEYWORD}\n")
            for row in sorted(self.manifest):
                if not os.path.exists(os.path.join(self.root, row[0])):
                    continue  # its converter failed
                stream.write("\t".join(row) + "\n")

    def summary(self):
        totals = {}
        for relative, folder, _, _ in self.manifest:
            path = os.path.join(self.root, relative)
            if not os.path.exists(path):
                continue
            size_class = relative.split(os.sep)[0]
            count, size = totals.get((size_class, folder), (0, 0))
            totals[(size_class, folder)] = (count + 1, size + os.path.getsize(path))
        print(f"corpus {self.root}")
        print(f"{'set':<6} {'format':<16} {'files':>6} {'bytes':>12}")
        all_count = all_bytes = 0
        for (size_class, folder), (count, size) in sorted(totals.items()):
            print(f"{size_class:<6} {folder:<16} {count:>6} {size:>12}")
            all_count += count
            all_bytes += size
        print(f"{'all':<6} {'':<16} {all_count:>6} {all_bytes:>12}")
        for what in self.skipped:
            print(f"skipped {what}: no writer installed")


def main():
    root = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "/tmp/quillmark-bench-corpus")
    os.makedirs(root, exist_ok=True)
    available = set(DIRECT_WRITERS)
    if has_sheetjs():
        available |= {"xlsb", "xls-sheetjs"}
    if shutil.which("soffice"):
        available.add("xls-libreoffice")
    maker = CorpusMaker(root)
    try:
        maker.make_small(available)
        maker.make_big(available)
        maker.run_converters()
    finally:
        shutil.rmtree(maker.staging, ignore_errors=True)
    maker.write_manifest()
    maker.summary()


if __name__ == "__main__":
    main()
