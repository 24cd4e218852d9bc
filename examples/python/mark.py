"""A Python host of the Quendral library through ctypes.

    python3 mark.py LIBRARY IN OUT    (LIBRARY: path to libquendral.so or quendral.dll)

Quendral takes NUL-terminated UTF-16 paths. They are passed as bytes, not as
ctypes.c_wchar_p: a wchar_t is 32 bits on Linux, so the library would read
only the first character of each path ("s" for "sample.bmp").
"""
import ctypes
import sys


def utf16(path):
    # The processor's own byte order: UTF-16-LE on x86 and ARM.
    return (path + "\0").encode("utf-16-le" if sys.byteorder == "little" else "utf-16-be")


def main():
    if len(sys.argv) != 4:
        sys.exit("usage: mark.py LIBRARY IN OUT")
    library_path, in_path, out_path = sys.argv[1:]
    # On Windows the export uses the standard calling convention.
    library = ctypes.WinDLL(library_path) if sys.platform == "win32" else ctypes.CDLL(library_path)
    library.Quendral.argtypes = [ctypes.c_char_p, ctypes.c_char_p]
    library.Quendral.restype = ctypes.c_int32
    # 999: the input was loaded (and the output attempted); 1: it was not.
    result = library.Quendral(utf16(in_path), utf16(out_path))
    print("Quendral returned", result)
    sys.exit(0 if result == 999 else 1)


if __name__ == "__main__":
    main()
