"""Redials a broadband connection with QKDialer from Python (pywin32), then checks it is up.

    python redial.py [settings.ini]

The settings file (default: redial.ini in the current folder) must name the entry, user and
password; the script writes no settings. The Python interpreter's bitness must match the
registered DLL. Exit codes: 0 connected, 1 RasRedial returned False (the script then makes no
further call, which would replace the tool's message in QKDialer.tmp), 2 no settings, 3 a call to
the component failed (the script prints the HRESULT and the description).
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
    if not os.path.isfile(settings):
        print(f"There is no settings file {settings}: write your entry, user name and password"
              " to it first.")
        return 2
    try:
        dialer = win32com.client.Dispatch("ZUVezEradez3.QKDialer")
        dialer.IniFilename = settings
        if not dialer.ADSL or not dialer.Uid:
            print(f"The settings file {settings} names no entry or no user:"
                  " set ADSL, Uid and Password first.")
            return 2
        print(f"Entry {dialer.ADSL} connected: {dialer.IsConnected(dialer.ADSL)}")
        ok = dialer.RasRedial()
        print(f"RasRedial: {ok}")
        if not ok:
            # Any further call would replace the capture file that holds the tool's message.
            print(f"The tool's message is in {os.path.abspath('QKDialer.tmp')}.")
            print("The doctor explains it, run from this folder"
                  " (doctor.js lies beside the DLL, or at the top of the zip):")
            print(f'  cscript //nologo doctor.js /ini:"{settings}"')
            return 1
        print(f"Entry {dialer.ADSL} connected: {dialer.IsConnected(dialer.ADSL)}")
    except pywintypes.com_error as error:
        print(f"Failed: {describe(error)}")
        return 3
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
