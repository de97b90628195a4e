#!/usr/bin/python3
# Makes the small example folder tree under examples/: a few workbooks to scan and search
# (try the keyword "Berlin"), and a couple of files the scan passes over.
#
# Needs: apt-get install -y python3-openpyxl     (run with Debian's /usr/bin/python3)
# Usage: scripts/make_examples.py [output folder]
import datetime
import os
import sys

from openpyxl import Workbook

FIXED_TIME = datetime.datetime(2024, 1, 15, 9, 0, 0)


def workbook(path, sheets):
    """sheets: (name, rows) pairs; rows are lists of cell values."""
    book = Workbook()
    book.remove(book.active)
    for name, rows in sheets:
        sheet = book.create_sheet(name)
        for row in rows:
            sheet.append(row)
    book.properties.creator = "Quillmark examples"
    book.properties.created = FIXED_TIME
    book.properties.modified = FIXED_TIME
    os.makedirs(os.path.dirname(path), exist_ok=True)
    book.save(path)


def text(path, content):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w", encoding="utf-8") as out:
        out.write(content)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "examples")
    header = ["Date", "City", "Customer", "Amount"]
    workbook(os.path.join(out, "sales", "sales-q1.xlsx"), [
        ("January", [header, ["2024-01-09", "Lyon", "Arden Tools", 1200.5],
                     ["2024-01-22", "Porto", "Blue Finch", 860]]),
        ("February", [header, ["2024-02-03", "Berlin", "Copperleaf", 2310],
                      ["2024-02-17", "Lyon", "Arden Tools", 415.25]]),
        ("March", [header, ["2024-03-11", "Berlin", "Dunmore & Co", 990]]),
    ])
    workbook(os.path.join(out, "sales", "sales-q2.xlsx"), [
        ("April", [header, ["2024-04-02", "Porto", "Blue Finch", 1740]]),
        ("May", [header, ["2024-05-14", "Oslo", "Evergreen", 505]]),
        ("June", [header, ["2024-06-28", "Lyon", "Fernhill", 2225.75]]),
    ])
    workbook(os.path.join(out, "sales", "customers.xlsx"), [
        ("Customers", [["Customer", "City", "Since"], ["Arden Tools", "Lyon", 2019],
                       ["Copperleaf", "Berlin", 2021], ["Evergreen", "Oslo", 2023]]),
    ])
    workbook(os.path.join(out, "budget", "budget-2024.xlsx"), [
        ("Overview", [["Item", "Planned"], ["Travel", 12000], ["Equipment", 8000]]),
        ("Travel", [["Trip", "Cost"], ["Trade fair, Berlin", 3400], ["Visit, Porto", 1800]]),
        ("Equipment", [["Item", "Cost"], ["Laptops", 5600], ["Screens", 1900]]),
    ])
    workbook(os.path.join(out, "inventory.xlsx"), [
        ("Stock", [["Part", "Count"], ["Hinge", 140], ["Bracket", 75]]),
    ])
    text(os.path.join(out, "budget", "notes.txt"), "Budget notes: the scan passes over this.\n")
    text(os.path.join(out, "README.md"),
         "# Example folder\n\nWorkbooks to try Quillmark on: choose this folder, then search "
         "for \"Berlin\".\nMade by scripts/make_examples.py.\n")


if __name__ == "__main__":
    main()
