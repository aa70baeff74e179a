"""Marovex from Python: the library's fourteen functions through ctypes.

    import marovex
    lib = marovex.Marovex()   # libMarovex.so.1 found by the loader, or Marovex.dll on Windows
    reply = lib.init()
    reply = lib.call("ReaderRead", 1, '{"TimeOut":"3000"}')
    print(reply.result, reply.output)
    lib.uninit()

Init reads EtcConfig/Marovex.ini below the current directory of the process. Outputs that do not
fit the buffer come back with result 5 and are fetched with GetResponse on the calling thread;
`call` does that by itself, so a result of 5 that it returns is the lane server's own
"ErrorCode". Run as a program, the module goes through Init, a card read, a call completed with
GetResponse and Uninit, as examples/c/lane_call.c does.
"""

import argparse
import collections
import ctypes
import sys

OK = 0
INIT_FAILED = -1
NOTHING_STASHED = 3
STASHED = 5
EXCEPTION = 999
NO_SESSION = 1000

OPERATIONS = ("ReaderRead", "ReaderWrite", "RSURead", "RSUWrite", "ETCStatusQuery",
              "SendNonCashPay", "StopNonCashPay", "ListUpLoad", "BlackListQuery", "ListQuery",
              "QueryTransDetail")

DEFAULT_CAPACITY = 4096

# result: the int result; output: the text, or None when the library wrote none (999, 1000);
# fetched: True when the output came through GetResponse.
Reply = collections.namedtuple("Reply", "result output fetched")


def default_library():
    # The SONAME, which the run-time package installs (the unversioned name is the -dev link).
    return "Marovex.dll" if sys.platform == "win32" else "libMarovex.so.1"


class Marovex:
    """One loaded Marovex library. Texts are 8-bit; `encoding` converts them (GBK by default)."""

    def __init__(self, path=None, encoding="gbk"):
        # The Windows library uses the standard calling convention.
        loader = ctypes.WinDLL if sys.platform == "win32" else ctypes.CDLL
        self._lib = loader(path or default_library())
        self._encoding = encoding
        out_args = [ctypes.c_char_p, ctypes.POINTER(ctypes.c_int)]
        self._bind("Init", out_args)
        self._bind("Uninit", [])
        self._bind("GetResponse", [ctypes.POINTER(ctypes.c_int)] + out_args)
        for name in OPERATIONS:
            self._bind(name, [ctypes.c_int, ctypes.c_char_p] + out_args)

    def _bind(self, name, argtypes):
        function = getattr(self._lib, name)
        function.argtypes = argtypes
        function.restype = ctypes.c_int

    def init(self, capacity=DEFAULT_CAPACITY):
        """Reads the configuration and starts the lanes: the lanes read (JSON) or the reason."""
        return self._deliver(lambda out, length: self._lib.Init(out, length), capacity)

    def uninit(self):
        """Stops every lane; returns 0."""
        return self._lib.Uninit()

    def call(self, operation, lane, request="{}", capacity=DEFAULT_CAPACITY):
        """Runs one lane operation, e.g. call("ListQuery", 1, '{"ListType":"1"}')."""
        if operation not in OPERATIONS:
            raise ValueError("no operation named %s" % operation)
        function = getattr(self._lib, operation)
        text = request.encode(self._encoding)
        return self._deliver(lambda out, length: function(lane, text, out, length), capacity)

    def _deliver(self, invoke, capacity):
        out = ctypes.create_string_buffer(capacity)
        length = ctypes.c_int(capacity)
        result = invoke(out, ctypes.byref(length))
        # Our own 5 asks for more room than the buffer has; the server's 5 leaves *pLen alone.
        if result == STASHED and length.value > capacity:
            return self._fetch(length.value)
        if result in (EXCEPTION, NO_SESSION):
            return Reply(result, None, False)
        return Reply(result, self._text(out), False)

    def _fetch(self, capacity):
        out = ctypes.create_string_buffer(capacity)
        length = ctypes.c_int(capacity)
        code = ctypes.c_int(0)
        fetched = self._lib.GetResponse(ctypes.byref(code), out, ctypes.byref(length))
        if fetched != OK:
            raise RuntimeError("GetResponse returned %d" % fetched)
        return Reply(code.value, self._text(out), True)

    def _text(self, out):
        return out.value.decode(self._encoding, errors="replace")


def _show(name, reply):
    how = " (fetched with GetResponse)" if reply.fetched else ""
    print("%s: result %d%s" % (name, reply.result, how))
    if reply.output:
        print(reply.output.rstrip("\n"))


def main(argv=None):
    parser = argparse.ArgumentParser(description="Init, a card read, a GetResponse, Uninit.")
    parser.add_argument("--lib", default=None, help="the Marovex library to load")
    parser.add_argument("--lane", type=int, default=1, help="the lane number (LaneNo)")
    args = parser.parse_args(argv)

    lib = Marovex(args.lib)
    steps = [("Init", lambda: lib.init()),
             ("ReaderRead", lambda: lib.call("ReaderRead", args.lane, '{"TimeOut":"3000"}')),
             # A buffer too small for the status document: the output comes through GetResponse.
             ("ETCStatusQuery", lambda: lib.call("ETCStatusQuery", args.lane, "{}", capacity=16))]
    ok = True
    for name, step in steps:
        reply = step()
        _show(name, reply)
        ok = ok and reply.result == OK
        if not ok:
            break
    print("Uninit: result %d" % lib.uninit())
    print("marovex.py: %s" % ("all steps succeeded" if ok else "FAILED"))
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
