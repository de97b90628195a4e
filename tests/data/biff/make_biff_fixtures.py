#!/usr/bin/env python3
"""Writes the .xls test fixtures of tests/engine/test_compound_file.cpp and
test_biff_reader.cpp: BIFF records and compound files assembled by hand, so that every edge
case (strings split across CONTINUE records, bad sheet offsets, looping sector chains...) is
exactly where the tests expect it. Run from any directory; writes beside this script."""

import hashlib
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))

# ---------------------------------------------------------------------------------------------
# Compound file writer ([MS-CFB]): version 3 (512-byte sectors) or 4 (4096-byte sectors).

FREE, END, FATSECT, DIFSECT = 0xFFFFFFFF, 0xFFFFFFFE, 0xFFFFFFFD, 0xFFFFFFFC
MINI_CUTOFF = 4096


class Node:
    def __init__(self, name, kind, data=b''):
        self.name, self.kind, self.data = name, kind, data  # kind: 1 storage, 2 stream, 5 root
        self.children = []
        self.start, self.size = END, len(data)
        self.left = self.right = self.child = FREE


def compound_file(streams, sector_shift=9, spare_fat_sectors=0, trim_last_sector=0):
    """streams: list of (path, bytes); a path "Storage/Name" puts a stream in a storage.
    spare_fat_sectors adds unused FAT sectors, enough of them forces a DIFAT sector;
    trim_last_sector cuts that many bytes of padding off the file's last sector."""
    size = 1 << sector_shift
    root = Node('Root Entry', 5)
    for path, data in streams:
        parent = root
        parts = path.split('/')
        for part in parts[:-1]:
            found = [c for c in parent.children if c.name == part and c.kind == 1]
            if not found:
                found = [Node(part, 1)]
                parent.children.append(found[0])
            parent = found[0]
        parent.children.append(Node(parts[-1], 2, data))

    nodes = []

    def number(node):
        nodes.append(node)
        for child in node.children:
            number(child)

    number(root)
    index = {id(n): i for i, n in enumerate(nodes)}
    for node in nodes:
        # Children as a right-leaning chain: a valid search tree for a reader that walks it.
        ordered = sorted(node.children, key=lambda c: (len(c.name), c.name.upper()))
        if ordered:
            node.child = index[id(ordered[0])]
            for a, b in zip(ordered, ordered[1:]):
                a.right = index[id(b)]

    # The FAT (and DIFAT) sectors come first, then the mini FAT, the directory, the mini
    # stream and the big streams, so that the file ends with the last stream's last sector.
    per = size // 4
    payload = payload_layout(nodes, size, 0)[0]
    fat_count = 1
    while True:
        difat_count = max(0, (fat_count + spare_fat_sectors - 109 + per - 2) // (per - 1))
        total = payload + fat_count + spare_fat_sectors + difat_count
        if fat_count * per >= total:
            break
        fat_count += 1
    fat_count += spare_fat_sectors
    reserved = fat_count + difat_count
    _, sectors, chain, minifat, directory_start, minifat_start = payload_layout(nodes, size,
                                                                                reserved)
    fat = [FATSECT] * fat_count + [DIFSECT] * difat_count + chain
    fat += [FREE] * (fat_count * per - len(fat))
    fat_sectors = [b''.join(struct.pack('<I', v) for v in fat[i * per:(i + 1) * per])
                   for i in range(fat_count)]
    rest = list(range(109, fat_count))
    difat_sectors = []
    for d in range(difat_count):
        chunk = rest[d * (per - 1):(d + 1) * (per - 1)]
        chunk += [FREE] * (per - 1 - len(chunk))
        following = fat_count + d + 1 if d + 1 < difat_count else END
        difat_sectors.append(b''.join(struct.pack('<I', v) for v in chunk + [following]))

    header_difat = list(range(min(109, fat_count))) + [FREE] * (109 - min(109, fat_count))
    directory_sectors = (len(nodes) * 128 + size - 1) // size
    header = b'\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1' + b'\0' * 16
    header += struct.pack('<HHHHH', 0x3E, 3 if sector_shift == 9 else 4, 0xFFFE, sector_shift, 6)
    header += b'\0' * 6
    header += struct.pack('<IIIIIIIII', 0 if sector_shift == 9 else directory_sectors,
                          fat_count, directory_start, 0, MINI_CUTOFF,
                          minifat_start if minifat else END, (len(minifat) * 4 + size - 1) // size,
                          fat_count if difat_count else END, difat_count)
    header += b''.join(struct.pack('<I', v) for v in header_difat)
    header = header.ljust(size, b'\0')
    body = b''.join(fat_sectors + difat_sectors + sectors)
    return header + body[:len(body) - trim_last_sector]


def payload_layout(nodes, size, first_sector):
    """Lays out mini FAT, directory, mini stream and big streams from `first_sector` on.
    Returns (sector count, sectors, their FAT entries, mini FAT, directory start, mini FAT
    start); sets each node's start and size."""
    sectors, chain = [], []

    def allocate(data):
        if not data:
            return END
        first = first_sector + len(sectors)
        chunks = [data[i:i + size] for i in range(0, len(data), size)]
        for i, chunk in enumerate(chunks):
            sectors.append(chunk.ljust(size, b'\0'))
            chain.append(first + i + 1 if i + 1 < len(chunks) else END)
        return first

    mini = bytearray()
    minifat = []
    big = []
    for node in nodes:
        if node.kind != 2:
            continue
        if len(node.data) >= MINI_CUTOFF:
            big.append(node)
        elif node.data:
            first = len(mini) // 64
            count = (len(node.data) + 63) // 64
            mini += node.data.ljust(count * 64, b'\0')
            minifat += [first + i + 1 if i + 1 < count else END for i in range(count)]
            node.start = first
        else:
            node.start = END
    minifat_start = allocate(b''.join(struct.pack('<I', v) for v in minifat))
    directory_start = first_sector + len(sectors)
    directory_sectors = (len(nodes) * 128 + size - 1) // size
    for _ in range(directory_sectors):  # placeholders, filled once every start is known
        sectors.append(b'')
        chain.append(0)
    for i in range(directory_sectors):
        chain[directory_start - first_sector + i] = (
            directory_start + i + 1 if i + 1 < directory_sectors else END)
    nodes[0].start = allocate(bytes(mini))
    nodes[0].size = len(mini)
    for node in big:
        node.start = allocate(node.data)

    directory = bytearray()
    for node in nodes:
        name = node.name.encode('utf-16-le')
        entry = name.ljust(64, b'\0') + struct.pack('<HBB', len(name) + 2, node.kind, 1)
        entry += struct.pack('<III', node.left, node.right, node.child) + b'\0' * 36
        entry += struct.pack('<IQ', node.start, node.size)
        directory += entry
    directory += b'\0' * (-len(directory) % size)
    for i in range(directory_sectors):
        sectors[directory_start - first_sector + i] = bytes(directory[i * size:(i + 1) * size])
    return len(sectors), sectors, chain, minifat, directory_start, minifat_start


def set_fat_entry(cfb, sector, value):
    size = 1 << struct.unpack_from('<H', cfb, 30)[0]
    fat_sector = struct.unpack_from('<I', cfb, 76)[0]
    data = bytearray(cfb)
    struct.pack_into('<I', data, (fat_sector + 1) * size + 4 * sector, value)
    return bytes(data)


def workbook_first_sector(cfb):
    """The first sector of the first stream's chain (directory entry 1)."""
    size = 1 << struct.unpack_from('<H', cfb, 30)[0]
    directory = struct.unpack_from('<I', cfb, 48)[0]
    return struct.unpack_from('<I', cfb, (directory + 1) * size + 128 + 116)[0]


# ---------------------------------------------------------------------------------------------
# BIFF records.

def rec(kind, data=b''):
    return struct.pack('<HH', kind, len(data)) + data


def ustr16(text, compressed=None):
    """XLUnicodeString: 16-bit count, flags, characters."""
    if compressed is None:
        compressed = all(ord(c) < 256 for c in text)
    body = text.encode('latin-1') if compressed else text.encode('utf-16-le')
    return struct.pack('<HB', len(text), 0 if compressed else 1) + body


def ustr8(text):
    compressed = all(ord(c) < 256 for c in text)
    body = text.encode('latin-1') if compressed else text.encode('utf-16-le')
    return struct.pack('<BB', len(text), 0 if compressed else 1) + body


def bof8(kind):
    return rec(0x0809, struct.pack('<HHHHII', 0x0600, kind, 0x0DBB, 0x07CC, 0, 0x0206))


def bof5(kind):
    return rec(0x0809, struct.pack('<HHHH', 0x0500, kind, 0x0DBB, 0x07CC))


EOF_RECORD = rec(0x000A)


def cell_header(row, col, xf=0):
    return struct.pack('<HHH', row, col, xf)


def number(row, col, value, xf=0):
    return rec(0x0203, cell_header(row, col, xf) + struct.pack('<d', value))


def rk_int(value):
    return (value << 2) | 0x02


def formula8(row, col, result, tokens, xf=0, extra=b''):
    return rec(0x0006, cell_header(row, col, xf) + result + struct.pack('<HIH', 0, 0, len(tokens))
               + tokens + extra)


def result_number(value):
    return struct.pack('<d', value)


def result_special(kind, value=0):
    return struct.pack('<BBBBHH', kind, 0, value, 0, 0, 0xFFFF)


# Formula tokens: 1+2, and a shared formula's A1-relative reference times two.
TOKENS_ONE_PLUS_TWO = bytes([0x1E, 1, 0, 0x1E, 2, 0, 0x03])


def workbook_stream(globals_records, sheets, bof=bof8, boundsheet=None):
    """sheets: list of (name, hidden_state, type, substream bytes or None for a bad offset)."""
    def build(offsets):
        body = bof(0x0005) + b''.join(globals_records)
        for (name, state, kind, _), offset in zip(sheets, offsets):
            body += boundsheet(offset, state, kind, name)
        return body + EOF_RECORD

    length = len(build([0] * len(sheets)))
    offsets, position = [], length
    for _, _, _, substream in sheets:
        if substream is None:
            offsets.append(0x7FFFFFF0)  # far past the stream's end
        else:
            offsets.append(position)
            position += len(substream)
    return build(offsets) + b''.join(s for _, _, _, s in sheets if s is not None)


def boundsheet8(offset, state, kind, name):
    return rec(0x0085, struct.pack('<IBB', offset, state, kind) + ustr8(name))


def boundsheet5(codepage):
    def make(offset, state, kind, name):
        raw = name.encode(codepage)
        return rec(0x0085, struct.pack('<IBBB', offset, state, kind, len(raw)) + raw)
    return make


def shared_string_table():
    """An SST whose entries cross CONTINUE records: a compressed string that goes on as
    UTF-16, one whose characters begin right after a record boundary, a rich string with
    phonetic data whose runs straddle a boundary, then plain entries that must still line up."""
    first = struct.pack('<II', 10, 6)
    first += ustr16('Alpha')                                      # 0
    first += struct.pack('<HB', 23, 0) + b'Crossing the '         # 1: 13 of 23 characters
    cont1 = b'\x01' + 'границу ok'.encode('utf-16-le')            # ...10 more as UTF-16
    cont1 += struct.pack('<HB', 6, 0)                             # 2: header only here
    cont2 = b'\x00' + b'Tailed'                                   # ...characters after a flag
    runs = struct.pack('<HH', 0, 1) + struct.pack('<HH', 3, 2)
    phonetic = b'\x55' * 10
    rich = struct.pack('<HBHI', 9, 0x0C, 2, len(phonetic)) + b'Rich text' + runs[:5]
    cont3 = runs[5:] + phonetic                                   # 3: runs split mid-way
    cont3 += ustr16('Needle in SST')                              # 4
    cont3 += ustr16('Ünïcödé ✓', compressed=False)                # 5
    return (rec(0x00FC, first) + rec(0x003C, cont1) + rec(0x003C, cont2 + rich)
            + rec(0x003C, cont3))


def date_formats8():
    return [rec(0x041E, struct.pack('<H', 164) + ustr16('[$-409]d-mmm-yyyy;@')),
            rec(0x041E, struct.pack('<H', 165) + ustr16('"Days" 0.00')),
            rec(0x00E0, struct.pack('<HH', 0, 0) + b'\0' * 16),      # XF 0: General
            rec(0x00E0, struct.pack('<HH', 0, 164) + b'\0' * 16),    # XF 1: custom date
            rec(0x00E0, struct.pack('<HH', 0, 165) + b'\0' * 16),    # XF 2: quoted "Days"
            rec(0x00E0, struct.pack('<HH', 0, 22) + b'\0' * 16)]     # XF 3: built-in m/d/yy h:mm


def cells_sheet():
    r = [bof8(0x0010), rec(0x0200, struct.pack('<IIHHH', 0, 0xFFFFFFFF, 0, 0xFFFF, 0))]
    r.append(rec(0x00FD, cell_header(0, 0) + struct.pack('<I', 0)))          # Alpha
    r.append(rec(0x0201, cell_header(0, 1)))                                  # BLANK
    r.append(rec(0x0204, cell_header(1, 1) + ustr16('Größe')))               # LABEL, UTF-16
    r.append(rec(0x00D6, cell_header(2, 0) + ustr16('Rich label') + struct.pack('<H', 1)
                 + struct.pack('<HH', 0, 1)))                                 # RSTRING
    r.append(number(3, 0, 3.14159))
    r.append(number(3, 1, 31430))
    r.append(rec(0x027E, cell_header(4, 0) + struct.pack('<I', rk_int(2008))))
    r.append(rec(0x027E, cell_header(4, 1) + struct.pack('<I', rk_int(1234) | 0x01)))  # 12.34
    mulrk = struct.pack('<HH', 5, 2)
    rk_double = struct.unpack('<Q', struct.pack('<d', 8.5))[0] >> 32
    for value in (rk_int(7), rk_double, rk_int(99)):
        mulrk += struct.pack('<HI', 0, value)
    r.append(rec(0x00BD, mulrk + struct.pack('<H', 4)))                      # MULRK cols 2-4
    r.append(rec(0x00BE, struct.pack('<HHHHH', 5, 5, 0, 0, 6)))               # MULBLANK
    r.append(rec(0x0205, cell_header(6, 0) + bytes([1, 0])))                 # TRUE
    r.append(rec(0x0205, cell_header(6, 1) + bytes([0x07, 1])))              # #DIV/0!
    r.append(formula8(7, 0, result_number(42), TOKENS_ONE_PLUS_TWO))
    r.append(formula8(7, 1, result_special(0), TOKENS_ONE_PLUS_TWO))
    r.append(rec(0x0207, ustr16('Formula result')))
    r.append(formula8(7, 2, result_special(1, 0), TOKENS_ONE_PLUS_TWO))     # FALSE
    r.append(formula8(7, 3, result_special(2, 0x2A), TOKENS_ONE_PLUS_TWO))  # #N/A
    r.append(formula8(7, 4, result_special(3), TOKENS_ONE_PLUS_TWO))        # empty string
    r.append(number(8, 0, 39448, xf=1))                                      # 1/1/2008
    r.append(number(8, 1, 39448.5, xf=3))                                    # 1/1/2008 12:00
    r.append(number(8, 2, 41000, xf=2))                                      # not a date
    r.append(rec(0x00FD, cell_header(9, 0) + struct.pack('<I', 4)))          # Needle in SST
    r.append(rec(0x00FD, cell_header(9, 1) + struct.pack('<I', 1)))          # Crossing...
    r.append(rec(0x00FD, cell_header(9, 2) + struct.pack('<I', 2)))          # Tailed
    r.append(rec(0x00FD, cell_header(9, 3) + struct.pack('<I', 3)))          # Rich text
    r.append(rec(0x00FD, cell_header(9, 4) + struct.pack('<I', 5)))          # Ünïcödé
    r.append(rec(0x00FD, cell_header(9, 5) + struct.pack('<I', 999999)))     # no such entry
    # An embedded chart's substream, whose cached labels are no cells of the sheet.
    r += [bof8(0x0020), rec(0x0204, cell_header(0, 0) + ustr16('Nested chart label')),
          EOF_RECORD]
    r.append(rec(0x0204, cell_header(10, 0) + ustr16('After the chart')))
    # A shared formula: the anchor's FORMULA (ptgExp), the SHRFMLA, then the string result.
    shared_tokens = bytes([0x2C, 0, 0, 0, 0xC0, 0x1E, 2, 0, 0x05])       # ptgRefN * 2
    r.append(formula8(11, 1, result_special(0), bytes([0x01, 11, 0, 1, 0])))
    r.append(rec(0x04BC, struct.pack('<HHBBBBH', 11, 12, 1, 1, 0, 2, len(shared_tokens))
                 + shared_tokens))
    r.append(rec(0x0207, ustr16('Shared result')))
    r.append(formula8(12, 1, result_number(5), bytes([0x01, 11, 0, 1, 0])))
    # ptgRef3d through XTI 0 (this workbook's sheet "Hidden"), and ptgName 1 ("TaxRate").
    r.append(formula8(13, 0, result_number(6), bytes([0x3A, 0, 0, 0, 0, 0, 0xC0])))
    r.append(formula8(13, 1, result_number(7), bytes([0x23, 1, 0, 0, 0])))
    r.append(formula8(14, 0, result_number(8), bytes([0x3A, 1, 0, 0, 0, 0, 0xC0])))
    r.append(EOF_RECORD)
    return b''.join(r)


def text_sheet(text, kind=0x0010, extra=b''):
    return (bof8(kind) + extra + rec(0x0204, cell_header(0, 0) + ustr16(text)) + EOF_RECORD)


def biff8_workbook(cells=None, extra_globals=()):
    globals_records = [rec(0x0042, struct.pack('<H', 1200))] + date_formats8()
    globals_records += list(extra_globals)
    globals_records.append(shared_string_table())
    # This workbook as a supporting book of its nine sheets, one XTI naming sheet 1, a name.
    globals_records.append(rec(0x01AE, struct.pack('<HH', 9, 0x0401)))
    # Another workbook, C:\Data\Budget.xls with its sheet "Plan", its path encoded.
    path = '\x01\x01C\x03Data\x03Budget.xls'
    globals_records.append(rec(0x01AE, struct.pack('<HHB', 1, len(path), 0) + path.encode('latin-1')
                               + ustr16('Plan')))
    globals_records.append(rec(0x0017, struct.pack('<HHhhHhh', 2, 0, 1, 1, 1, 0, 0)))
    globals_records.append(rec(0x0018, struct.pack('<HBBHHHBBBB', 0, 0, 7, 3, 0, 0, 0, 0, 0, 0)
                               + b'\0TaxRate' + bytes([0x1E, 5, 0])))
    sheets = [('Cells', 0, 0, cells if cells is not None else cells_sheet()),
              ('Hidden', 1, 0, text_sheet('Hidden value')),
              ('VeryHidden', 2, 0, text_sheet('Very hidden value')),
              ('Macro1', 0, 1, text_sheet('Macro cell', kind=0x0040)),
              ('Chart1', 0, 2, text_sheet('Chart text', kind=0x0020)),
              ('Module1', 0, 6, text_sheet('Module text')),
              ('Dialog1', 0, 0, text_sheet('Dialog text', extra=rec(0x0081, b'\xD1\x04'))),
              ('Broken', 0, 0, None),
              ('Last', 0, 0, text_sheet('Last sheet text'))]
    return workbook_stream(globals_records, sheets, boundsheet=boundsheet8)


def biff5_workbook(text, sheet_name, codepage='cp1251', codepage_number=1251):
    label = text.encode(codepage)
    sheet = (bof5(0x0010) + rec(0x0204, cell_header(0, 0) + struct.pack('<H', len(label)) + label)
             + rec(0x0203, cell_header(1, 0) + struct.pack('<d', 0.5))
             + rec(0x0203, cell_header(2, 0, xf=1) + struct.pack('<d', 1)) + EOF_RECORD)
    globals_records = [rec(0x0042, struct.pack('<H', codepage_number)),
                       rec(0x0022, struct.pack('<H', 1)),                   # 1904 dates
                       rec(0x00E0, struct.pack('<HH', 0, 0) + b'\0' * 12),  # XF 0: General
                       rec(0x00E0, struct.pack('<HH', 0, 14) + b'\0' * 12)]  # XF 1: m/d/yyyy
    return workbook_stream(globals_records, [(sheet_name, 0, 0, sheet)], bof=bof5,
                           boundsheet=boundsheet5(codepage))


def plain_workbook(text):
    return workbook_stream([], [('Sheet1', 0, 0, text_sheet(text))], boundsheet=boundsheet8)


# ---------------------------------------------------------------------------------------------
# Encryption headers (FILEPASS). The password here is not the default one, so these stay
# encrypted.

def filepass_workbook(filepass):
    stream = bof8(0x0005) + filepass
    body = bof8(0x0010) + rec(0x0204, cell_header(0, 0) + b'\x99' * 12) + EOF_RECORD
    globals_tail = rec(0x0085, struct.pack('<IBB', 0, 0, 0) + ustr8('Secret')) + EOF_RECORD
    offset = len(stream) + len(globals_tail)
    globals_tail = rec(0x0085, struct.pack('<IBB', offset, 0, 0) + ustr8('Secret')) + EOF_RECORD
    return stream + globals_tail + body


XOR_FILEPASS = rec(0x002F, struct.pack('<HHH', 0, 0x1234, 0x5678))
RC4_FILEPASS = rec(0x002F, struct.pack('<HHH', 1, 1, 1) + bytes(range(48)))


# ---------------------------------------------------------------------------------------------
# Workbooks encrypted under the default password, which spreadsheet programs open without
# asking: XOR obfuscation, RC4 and RC4 CryptoAPI, as [MS-OFFCRYPTO] 2.3.5-2.3.7 describe them.

DEFAULT_PASSWORD = 'VelvetSweatshop'
NEVER_ENCRYPTED = {0x0809, 0x002F, 0x0194, 0x0195, 0x00E1, 0x0196, 0x0138}

XOR_INITIAL_CODE = [0xE1F0, 0x1D0F, 0xCC9C, 0x84C0, 0x110C, 0x0E10, 0xF1CE, 0x313E, 0x1872,
                    0xE139, 0xD40F, 0x84F9, 0x280C, 0xA96A, 0x4EC3]
XOR_MATRIX = [
    0xAEFC, 0x4DD9, 0x9BB2, 0x2745, 0x4E8A, 0x9D14, 0x2A09, 0x7B61, 0xF6C2, 0xFDA5, 0xEB6B,
    0xC6F7, 0x9DCF, 0x2BBF, 0x4563, 0x8AC6, 0x05AD, 0x0B5A, 0x16B4, 0x2D68, 0x5AD0, 0x0375,
    0x06EA, 0x0DD4, 0x1BA8, 0x3750, 0x6EA0, 0xDD40, 0xD849, 0xA0B3, 0x5147, 0xA28E, 0x553D,
    0xAA7A, 0x44D5, 0x6F45, 0xDE8A, 0xAD35, 0x4A4B, 0x9496, 0x390D, 0x721A, 0xEB23, 0xC667,
    0x9CEF, 0x29FF, 0x53FE, 0xA7FC, 0x5FD9, 0x47D3, 0x8FA6, 0x0F6D, 0x1EDA, 0x3DB4, 0x7B68,
    0xF6D0, 0xB861, 0x60E3, 0xC1C6, 0x93AD, 0x377B, 0x6EF6, 0xDDEC, 0x45A0, 0x8B40, 0x06A1,
    0x0D42, 0x1A84, 0x3508, 0x6A10, 0xAA51, 0x4483, 0x8906, 0x022D, 0x045A, 0x08B4, 0x1168,
    0x76B4, 0xED68, 0xCAF1, 0x85C3, 0x1BA7, 0x374E, 0x6E9C, 0x3730, 0x6E60, 0xDCC0, 0xA9A1,
    0x4363, 0x86C6, 0x1DAD, 0x3331, 0x6662, 0xCCC4, 0x89A9, 0x0373, 0x06E6, 0x0DCC, 0x1021,
    0x2042, 0x4084, 0x8108, 0x1231, 0x2462, 0x48C4]
XOR_PAD = [0xBB, 0xFF, 0xFF, 0xBA, 0xFF, 0xFF, 0xB9, 0x80, 0x00, 0xBE, 0x0F, 0x00, 0xBF, 0x0F,
           0x00]


def xor_key(password):
    key = XOR_INITIAL_CODE[len(password) - 1]
    element = 0x68
    for char in reversed(password):
        for _ in range(7):
            if char & 0x40:
                key ^= XOR_MATRIX[element]
            char = (char << 1) & 0xFF
            element -= 1
    return key


def xor_verifier(password):
    verifier = 0
    for byte in reversed([len(password)] + list(password)):
        carry = 1 if verifier & 0x4000 else 0
        verifier = ((((verifier << 1) & 0x7FFF) | carry) ^ byte)
    return verifier ^ 0xCE4B


def xor_array(password):
    key = xor_key(password)
    high, low = key >> 8, key & 0xFF
    ror = lambda byte, k: (((byte ^ k) >> 1) | ((byte ^ k) << 7)) & 0xFF
    array = [0] * 16
    index = len(password)
    if index % 2 == 1:
        array[index] = ror(XOR_PAD[0], high)
        index -= 1
        array[index] = ror(password[-1], low)
    while index > 0:
        index -= 1
        array[index] = ror(password[index], high)
        index -= 1
        array[index] = ror(password[index], low)
    position, pad = 15, 15 - len(password)
    while pad > 0:
        array[position] = ror(XOR_PAD[pad], high)
        array[position - 1] = ror(XOR_PAD[pad - 1], low)
        position, pad = position - 2, pad - 2
    return array


def rc4(key, data):
    state = list(range(256))
    j = 0
    for i in range(256):
        j = (j + state[i] + key[i % len(key)]) & 0xFF
        state[i], state[j] = state[j], state[i]
    out, i, j = bytearray(), 0, 0
    for byte in data:
        i = (i + 1) & 0xFF
        j = (j + state[i]) & 0xFF
        state[i], state[j] = state[j], state[i]
        out.append(byte ^ state[(state[i] + state[j]) & 0xFF])
    return bytes(out)


def block_keystream_cipher(key_for_block):
    """Encrypts bytes at a stream offset with RC4 rekeyed every 1024 bytes of the stream."""
    blocks = {}

    def apply(data, offset, record_length):
        out = bytearray()
        for i, byte in enumerate(data):
            block, within = divmod(offset + i, 1024)
            if block not in blocks:
                blocks[block] = rc4(key_for_block(block), bytes(1024))
            out.append(byte ^ blocks[block][within])
        return bytes(out)
    return apply


def xor_cipher(password):
    array = xor_array(password)
    def apply(data, offset, record_length):
        out, index = bytearray(), (offset + record_length) % 16
        for byte in data:
            rotated = ((byte << 5) | (byte >> 3)) & 0xFF
            out.append(rotated ^ array[index])
            index = (index + 1) % 16
        return bytes(out)
    return apply


def rc4_filepass(password, salt, verifier):
    h0 = hashlib.md5(password.encode('utf-16-le')).digest()[:5]
    h1 = hashlib.md5((h0 + salt) * 16).digest()[:5]
    key_for_block = lambda block: hashlib.md5(h1 + struct.pack('<I', block)).digest()
    sealed = rc4(key_for_block(0), verifier + hashlib.md5(verifier).digest())
    return struct.pack('<HHH', 1, 1, 1) + salt + sealed, block_keystream_cipher(key_for_block)


def crypto_api_filepass(password, salt, verifier):
    h0 = hashlib.sha1(salt + password.encode('utf-16-le')).digest()
    key_for_block = lambda block: hashlib.sha1(h0 + struct.pack('<I', block)).digest()[:16]
    sealed = rc4(key_for_block(0), verifier + hashlib.sha1(verifier).digest())
    provider = 'Microsoft Enhanced Cryptographic Provider v1.0\0'.encode('utf-16-le')
    header = struct.pack('<IIIIIIII', 0x04, 0, 0x6801, 0x8004, 128, 1, 0, 0) + provider
    body = struct.pack('<HHII', 4, 2, 0x04, len(header)) + header
    body += struct.pack('<I', 16) + salt + sealed[:16] + struct.pack('<I', 20) + sealed[16:]
    return struct.pack('<H', 1) + body, block_keystream_cipher(key_for_block)


def encrypt_stream(stream, filepass_offset, cipher):
    data = bytearray(stream)
    offset = filepass_offset + 4 + struct.unpack_from('<H', data, filepass_offset + 2)[0]
    while offset + 4 <= len(data):
        kind, length = struct.unpack_from('<HH', data, offset)
        start = offset + 4
        if kind not in NEVER_ENCRYPTED:
            clear = min(4, length) if kind == 0x0085 else 0
            data[start + clear:start + length] = cipher(bytes(data[start + clear:start + length]),
                                                        start + clear, length)
        offset = start + length
    return bytes(data)


def encrypted_workbook(method, password=DEFAULT_PASSWORD, biff5=False):
    salt, verifier = bytes(range(16, 32)), bytes(range(100, 116))
    password_bytes = [ord(c) for c in password]
    if method == 'xor':
        body = struct.pack('<HH', xor_key(password_bytes), xor_verifier(password_bytes))
        filepass = body if biff5 else struct.pack('<H', 0) + body
        cipher = xor_cipher(password_bytes)
    elif method == 'rc4':
        filepass, cipher = rc4_filepass(password, salt, verifier)
    else:
        filepass, cipher = crypto_api_filepass(password, salt, verifier)
    first = rec(0x002F, filepass)
    if biff5:
        sheet = (bof5(0x0010) + rec(0x0204, cell_header(0, 0) + struct.pack('<H', 12)
                                    + b'Secret text!') + EOF_RECORD)
        stream = workbook_stream([first, rec(0x0042, struct.pack('<H', 1252))],
                                 [('Hidden away', 0, 0, sheet)], bof=bof5,
                                 boundsheet=boundsheet5('cp1252'))
        filepass_offset = 12
    else:
        # The shared strings go after FILEPASS, in the encrypted part; the filler sheets put
        # the last one past several 1024-byte key blocks.
        stream = workbook_stream([first, shared_string_table()],
                                 [('Cells', 0, 0, cells_sheet())] +
                                 [(f'Filler {i}', 0, 0, text_sheet('Filler ' * 200))
                                  for i in range(3)] +
                                 [('Far away', 0, 0, text_sheet('Past the first kilobytes'))],
                                 boundsheet=boundsheet8)
        filepass_offset = 20
    return encrypt_stream(stream, filepass_offset, cipher)


# ---------------------------------------------------------------------------------------------
# Hostile claims: counts and sizes far beyond the bytes there. The reader must neither trust
# nor allocate by them, and still find the text planted after them.

def hostile_workbook():
    sst = rec(0x00FC, struct.pack('<II', 0xFFFFFFF0, 0xFFFFFFF0) + ustr16('Ordinary')
              + struct.pack('<HB', 0xFFFF, 0x0C) + struct.pack('<HI', 0xFFFF, 0x7FFFFFFF) + b'Cut')
    extern = rec(0x0017, struct.pack('<H', 0xFFFF) + struct.pack('<HHH', 0, 0, 0))
    name = rec(0x0018, struct.pack('<HBBHHHBBBB', 0, 0, 0xFF, 0xFFFF, 0, 0, 0, 0, 0, 0) + b'\0N')
    sheet = [bof8(0x0010),
             rec(0x0200, struct.pack('<IIHHH', 0, 0xFFFFFFFF, 0, 0xFFFF, 0)),
             rec(0x0204, cell_header(0, 0) + struct.pack('<HB', 0xFFFF, 0) + b'Short'),
             rec(0x00BD, struct.pack('<HH', 1, 0) + b'\0' * 9),          # MULRK, odd length
             rec(0x0006, cell_header(2, 0) + result_number(1) + struct.pack('<HIH', 0, 0, 0xFFFF)
                 + b'\x1E\x01'),                                       # cce past the record
             rec(0x04BC, struct.pack('<HHBBBBH', 0, 0xFFFF, 0, 0xFF, 0, 0xFF, 0xFFFF)),
             rec(0x0207, struct.pack('<HB', 0xFFFF, 1) + b'ab'),          # stray STRING
             rec(0x00FD, cell_header(3, 0) + struct.pack('<I', 0xFFFFFFFF)),
             rec(0x0204, cell_header(0xFFFF, 0xFF) + ustr16('Needle after claims')),
             EOF_RECORD]
    return workbook_stream([extern, name, sst], [('Claims', 0, 0, b''.join(sheet))],
                           boundsheet=boundsheet8)


def early_stop_stream():
    """A bare BIFF8 worksheet whose first cell matches and whose last record runs past the
    end: a search that stops at the first match never meets the damage."""
    return (bof8(0x0010) + rec(0x0204, cell_header(0, 0) + ustr16('First cell'))
            + rec(0x0204, cell_header(1, 0) + ustr16('Second cell'))
            + struct.pack('<HH', 0x0204, 400) + b'\0' * 20)


# ---------------------------------------------------------------------------------------------
# BIFF2-BIFF4 bare streams.

def biff2_stream():
    attr = lambda fmt=0: bytes([0, fmt & 0x3F, 0])
    def cell(kind, row, col, payload, fmt=0):
        return rec(kind, struct.pack('<HH', row, col) + attr(fmt) + payload)
    r = [rec(0x0009, struct.pack('<HH', 0x0002, 0x0010))]
    r.append(rec(0x001E, bytes([7]) + b'General'))                 # format 0
    r.append(rec(0x001E, bytes([6]) + b'm/d/yy'))                  # format 1
    r.append(cell(0x0002, 0, 0, struct.pack('<H', 1234)))          # INTEGER
    r.append(cell(0x0003, 1, 0, struct.pack('<d', 2.75)))          # NUMBER
    r.append(cell(0x0004, 2, 0, bytes([10]) + b'BIFF2 text'))      # LABEL
    r.append(cell(0x0005, 3, 0, bytes([0x17, 1])))                 # #REF!
    r.append(cell(0x0006, 4, 0, result_special(0) + bytes([0, 3]) + bytes([0x1E, 1, 0]),))
    r.append(rec(0x0007, bytes([13]) + b'Old formula!'))           # STRING (BIFF2)
    r.append(cell(0x0003, 5, 0, struct.pack('<d', 36526), fmt=1))  # 1/1/2000
    r.append(EOF_RECORD)
    return b''.join(r)


def biff3_stream():
    r = [rec(0x0209, struct.pack('<HHH', 0x0003, 0x0010, 0))]
    r.append(rec(0x0204, cell_header(0, 0) + struct.pack('<H', 10) + b'BIFF3 text'))
    r.append(rec(0x0206, cell_header(1, 0) + struct.pack('<d', 77.5) + struct.pack('<HH', 0, 3)
                 + bytes([0x1E, 1, 0])))
    r.append(EOF_RECORD)
    return b''.join(r)


def biff4_workbook():
    def sheet(text):
        return (rec(0x0409, struct.pack('<HHH', 0x0004, 0x0010, 0))
                + rec(0x0204, cell_header(0, 0) + struct.pack('<H', len(text)) + text.encode())
                + EOF_RECORD)
    sheets = [sheet('First sheet'), sheet('Second sheet')]
    names = [b'Alpha', b'Beta']
    def globals_for(offsets):
        body = rec(0x0409, struct.pack('<HHH', 0x0004, 0x0100, 0))
        for offset, name in zip(offsets, names):
            body += rec(0x008F, struct.pack('<IHB', offset, 0, len(name)) + name)
        return body + EOF_RECORD
    base = len(globals_for([0, 0]))
    return globals_for([base, base + len(sheets[0])]) + b''.join(sheets)


# ---------------------------------------------------------------------------------------------

def write(name, data):
    with open(os.path.join(HERE, name), 'wb') as f:
        f.write(data)


def main():
    workbook = biff8_workbook()
    # Small streams live in the mini stream; zeros after the last EOF (as writers that round
    # streams up leave them) move a copy into regular sectors.
    padded = workbook + b'\0' * (5000 - len(workbook))
    write('biff8_workbook.xls', compound_file([('Workbook', workbook)]))
    write('biff8_padded.xls', compound_file([('Workbook', padded)]))
    write('biff8_big_sectors.xls', compound_file([('Workbook', padded)], sector_shift=12))
    # 110 FAT sectors: one more than the header lists, so a DIFAT sector holds the last.
    write('biff8_difat_chain.xls', compound_file([('WORKBOOK', workbook)], spare_fat_sectors=110))
    write('biff5_cyrillic.xls',
          compound_file([('Book', biff5_workbook('Москва, улица', 'Лист1'))]))
    write('book_and_workbook.xls',
          compound_file([('Book', biff5_workbook('stale copy', 'Old', 'cp1252', 1252)),
                         ('Workbook', plain_workbook('fresh copy'))]))
    write('small_workbook_stream.xls', compound_file([
        ('Embedded/Workbook', plain_workbook('inner object')),
        ('Workbook', plain_workbook('outer workbook'))]))
    write('encrypted_package.xls', compound_file([('EncryptionInfo', b'\x04\x00\x04\x00' * 8),
                                                  ('EncryptedPackage', b'\0' * 5000)]))
    write('not_a_workbook.xls', compound_file([('WordDocument', b'\0' * 5000)]))
    write('xor_obfuscated.xls', compound_file([('Workbook', filepass_workbook(XOR_FILEPASS))]))
    write('rc4_encrypted.xls', compound_file([('Workbook', filepass_workbook(RC4_FILEPASS))]))

    # Broken sector chains in the big (FAT) stream of an otherwise valid file.
    sound = compound_file([('Workbook', padded)])
    first = workbook_first_sector(sound)
    write('chain_loop.xls', set_fat_entry(sound, first + 3, first + 1))  # back to its second
    write('chain_out_of_range.xls', set_fat_entry(sound, first + 2, 0x00FFFFFF))
    write('chain_free_sector.xls', set_fat_entry(sound, first + 2, FREE))
    # The stream's 5000 bytes end 120 bytes into the padding of its last sector: 100 bytes of
    # that padding cut off leave it whole.
    write('trimmed_last_sector.xls', compound_file([('Workbook', padded)], trim_last_sector=100))

    for method in ('xor', 'rc4', 'cryptoapi'):
        write(f'default_password_{method}.xls',
              compound_file([('Workbook', encrypted_workbook(method))]))
    write('default_password_biff5_xor.xls',
          compound_file([('Book', encrypted_workbook('xor', biff5=True))]))
    write('other_password_rc4.xls',
          compound_file([('Workbook', encrypted_workbook('rc4', password='secret'))]))
    hostile = compound_file([('Workbook', hostile_workbook())])
    write('hostile_claims.xls', hostile)
    write('early_stop.xls', early_stop_stream())

    write('biff2_sheet.xls', biff2_stream())
    write('biff3_sheet.xls', biff3_stream())
    write('biff4_workbook.xls', biff4_workbook())


if __name__ == '__main__':
    main()
