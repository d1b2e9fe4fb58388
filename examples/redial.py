"""Redials a broadband connection with QKDialer from Python (pywin32), then checks it is up.

    python redial.py [settings.ini]

The Python interpreter's bitness must match the registered DLL. Every call to the component can
fail; the script then prints the HRESULT and the description and exits with 3.
"""
import os
import sys

import pywintypes
import win32com.client


def describe(error: pywintypes.com_error) -> str:
    # excepinfo holds (code, source, description, helpfile, helpcontext, scode)
    info = error.excepinfo or (None, None, error.strerror, None, None, error.hresult)
    return f"0x{(info[5] or error.hresult) & 0xFFFFFFFF:08X} {info[2]}"


def main() -> int:
    settings = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "redial.ini")
    try:
        dialer = win32com.client.Dispatch("ZUVezEradez3.QKDialer")
        dialer.IniFilename = settings
        if not dialer.ADSL:
            print(f"No entry name in {settings}: set ADSL, Uid and Password first.")
            return 2
        print(f"Entry {dialer.ADSL} connected: {dialer.IsConnected(dialer.ADSL)}")
        ok = dialer.RasRedial()
        print(f"RasRedial: {ok}")
        if not ok:
            print(f"The tool's message is in {os.path.abspath('QKDialer.tmp')}; doctor.js explains it.")
        print(f"Entry {dialer.ADSL} connected: {dialer.IsConnected(dialer.ADSL)}")
    except pywintypes.com_error as error:
        print(f"Failed: {describe(error)}")
        return 3
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
