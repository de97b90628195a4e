#!/usr/bin/env python3
"""The same keyword search done with openpyxl in read-only mode, as a point of comparison for
the engine benchmark. It covers only .xlsx and .xlsm files (what openpyxl reads); other formats
under the folder are skipped and not counted.

Usage: openpyxl_search.py FOLDER KEYWORD
Prints "path<TAB>sheet,sheet" per matching workbook, and on standard error the number of
workbooks it opened. Matching is case-insensitive and takes part of a cell; each sheet stops at
its first match. Formula cells are matched on their formula text, as openpyxl keeps it.
"""

import os
import sys
import warnings

import openpyxl

warnings.simplefilter("ignore")  # openpyxl warns about features it drops; not our concern here


def workbook_paths(folder):
    for directory, subfolders, files in os.walk(folder):
        subfolders.sort()
        for name in sorted(files):
            if name.lower().endswith((".xlsx", ".xlsm")):
                yield os.path.join(directory, name)


def sheet_has(sheet, keyword):
    for row in sheet.iter_rows(values_only=True):
        for value in row:
            if value is not None and keyword in str(value).lower():
                return True
    return False


def main():
    if len(sys.argv) != 3:
        print("usage: openpyxl_search.py FOLDER KEYWORD", file=sys.stderr)
        return 2
    folder, keyword = sys.argv[1], sys.argv[2].lower()
    opened = 0
    for path in workbook_paths(folder):
        try:
            workbook = openpyxl.load_workbook(path, read_only=True, data_only=False)
        except Exception as failure:  # one unreadable workbook is one workbook that fails
            print(f"{path}: {failure}", file=sys.stderr)
            continue
        opened += 1
        matching = [sheet.title for sheet in workbook.worksheets if sheet_has(sheet, keyword)]
        workbook.close()
        if matching:
            print(f"{path}\t{','.join(matching)}")
    print(f"openpyxl_search: {opened} workbooks", file=sys.stderr)
    return 0


if __name__ == "__main__":
    sys.exit(main())
