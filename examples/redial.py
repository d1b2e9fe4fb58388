"""Redials a broadband connection with QKDialer from Python (pywin32), then checks it is up.

    python redial.py [settings.ini]

The Python interpreter's bitness must match the registered DLL.
"""
import os
import sys

import pywintypes
import win32com.client


def main() -> int:
    settings = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "redial.ini")
    dialer = win32com.client.Dispatch("ZUVezEradez3.QKDialer")
    dialer.IniFilename = settings
    if not dialer.ADSL:
        print(f"No entry name in {settings}: set ADSL, Uid and Password first.")
        return 2
    print(f"Entry {dialer.ADSL} connected: {dialer.IsConnected(dialer.ADSL)}")
    try:
        ok = dialer.RasRedial()
    except pywintypes.com_error as error:
        # excepinfo holds (code, source, description, helpfile, helpcontext, scode)
        info = error.excepinfo or (None, None, str(error), None, None, error.hresult)
        print(f"RasRedial failed: 0x{info[5] & 0xFFFFFFFF:08X} {info[2]}")
        return 3
    print(f"RasRedial: {ok}")
    print(f"Entry {dialer.ADSL} connected: {dialer.IsConnected(dialer.ADSL)}")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
