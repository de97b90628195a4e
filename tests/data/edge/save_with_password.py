#!/usr/bin/env python3
"""Saves a workbook as a password-protected BIFF8 .xls through LibreOffice: the file gets a
FILEPASS record and RC4-encrypted records after it. LibreOffice's command-line conversion takes
no password, so this drives it over UNO the way its Save As dialog does.

Usage: save_with_password.py SOURCE TARGET.xls PASSWORD   (needs Debian python3-uno)
"""
import os
import subprocess
import sys
import tempfile
import time

import uno
from com.sun.star.beans import PropertyValue


def properties(**values):
    result = []
    for name, value in values.items():
        item = PropertyValue()
        item.Name, item.Value = name, value
        result.append(item)
    return tuple(result)


def connect(pipe_name):
    local = uno.getComponentContext()
    resolver = local.ServiceManager.createInstanceWithContext(
        "com.sun.star.bridge.UnoUrlResolver", local)
    for _ in range(240):
        try:
            return resolver.resolve(
                "uno:pipe,name=%s;urp;StarOffice.ComponentContext" % pipe_name)
        except Exception:  # the office is still starting
            time.sleep(0.25)
    raise SystemExit("LibreOffice did not answer on its pipe")


def save_with_password(context, source, target, password):
    manager = context.ServiceManager
    desktop = manager.createInstanceWithContext("com.sun.star.frame.Desktop", context)
    document = desktop.loadComponentFromURL(
        uno.systemPathToFileUrl(os.path.abspath(source)), "_blank", 0,
        properties(Hidden=True, ReadOnly=True))
    if document is None:
        raise SystemExit("LibreOffice could not load " + source)
    # The dispatched Save As turns the password into the format's encryption; a plain
    # storeToURL with a Password property saves without one.
    dispatcher = manager.createInstanceWithContext("com.sun.star.frame.DispatchHelper", context)
    dispatcher.executeDispatch(
        document.getCurrentController().getFrame(), ".uno:SaveAs", "", 0,
        properties(URL=uno.systemPathToFileUrl(os.path.abspath(target)),
                   FilterName="MS Excel 97", Password=password))


def main():
    if len(sys.argv) != 4:
        raise SystemExit(__doc__)
    source, target, password = sys.argv[1:]
    with tempfile.TemporaryDirectory() as profile:
        pipe_name = "quillmark_fixtures_%d" % os.getpid()
        office = subprocess.Popen([
            "soffice", "-env:UserInstallation=file://" + profile, "--headless", "--norestore",
            "--accept=pipe,name=%s;urp;" % pipe_name], stderr=subprocess.DEVNULL)
        try:
            save_with_password(connect(pipe_name), source, target, password)
        finally:
            office.terminate()  # closing the saved document can take the office down anyway
            office.wait(timeout=60)
    with open(target, "rb") as saved:
        if b"\x2f\x00" not in saved.read():
            raise SystemExit("no FILEPASS record in " + target)


if __name__ == "__main__":
    main()
