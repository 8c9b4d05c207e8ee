"""Sends SMS through a modem terminal on a serial port: the Mobi component
(libmobi.so.1, through its C interface) from Python.

    import mobi
    with mobi.Terminal(port="/dev/ttyUSB0", settings="9600,n,8,1") as t:
        status = t.send("13800138000", "你好")   # mobi.Status.typeCustOK when delivered
        print(t.signal(), t.check())

A failure raises mobi.Error with the component's error number. As in C++,
every object belongs to the thread that created it, and replies are handled
only while that thread waits in a call or runs mobi.do_events(); attach()
lets an asyncio loop run it whenever the component has work.

MOBI_LIBRARY in the environment names another library file to load.
"""

import asyncio
import ctypes
import enum
import os

__all__ = ["Status", "Error", "Terminal", "set_port_device", "do_events", "event_fd", "attach",
           "error_text", "version"]

# The C interface's strings are UTF-8, with a lone surrogate in its
# three-byte form: Python's "surrogatepass" reads and writes exactly that.
_CODEC = ("utf-8", "surrogatepass")


class _CError(ctypes.Structure):
    _fields_ = [("number", ctypes.c_int32), ("description", ctypes.c_char * 512)]


_HANDLER = ctypes.CFUNCTYPE(None, ctypes.c_char_p, ctypes.c_void_p)
_REPORT_HANDLER = ctypes.CFUNCTYPE(None, ctypes.c_char_p, ctypes.c_int32, ctypes.c_void_p)


def _load():
    lib = ctypes.CDLL(os.environ.get("MOBI_LIBRARY") or "libmobi.so.1")
    e, s = ctypes.POINTER(_CError), ctypes.c_void_p
    i32, text = ctypes.c_int32, ctypes.c_char_p
    signatures = {
        "mobi_version": (text, []),
        "mobi_free": (None, [ctypes.c_void_p]),
        "mobi_sms_new": (s, [e]),
        "mobi_sms_free": (None, [s]),
        "mobi_sms_initialize": (i32, [s, ctypes.c_int16, text, e]),
        "mobi_sms_check": (i32, [s, ctypes.POINTER(ctypes.c_void_p), e]),
        "mobi_sms_set_code": (i32, [s, text, ctypes.POINTER(ctypes.c_int), e]),
        "mobi_sms_reset": (i32, [s, e]),
        "mobi_sms_send": (i32, [s, text, text, ctypes.POINTER(i32), e]),
        "mobi_sms_signal": (i32, [s, ctypes.POINTER(ctypes.c_int16), e]),
        "mobi_sms_at_send": (i32, [s, text, e]),
        "mobi_sms_subscribe_error": (i32, [s, _HANDLER, ctypes.c_void_p,
                                           ctypes.POINTER(ctypes.c_uint64), e]),
        "mobi_sms_unsubscribe_error": (i32, [s, ctypes.c_uint64, e]),
        "mobi_sms_subscribe_report": (i32, [s, _REPORT_HANDLER, ctypes.c_void_p,
                                            ctypes.POINTER(ctypes.c_uint64), e]),
        "mobi_sms_unsubscribe_report": (i32, [s, ctypes.c_uint64, e]),
        "mobi_set_port_device": (i32, [ctypes.c_int, text, e]),
        "mobi_do_events": (i32, [e]),
        "mobi_event_fd": (ctypes.c_int, []),
        "mobi_error_text": (text, [i32]),
    }
    for name, (result, arguments) in signatures.items():
        function = getattr(lib, name)
        function.restype, function.argtypes = result, arguments
    return lib


_lib = _load()
# Exceptions raised by SMSError handlers while the component processed
# messages: raised again when the call that processed them returns.
_raised = []


class Status(enum.IntEnum):
    """What SendSMS ended with (enuStatus_Type)."""
    typeNoSend = 1      # never produced by the component
    typeSendOk = 2      # the terminal answered "OK", or no final report came in time
    typeCenterOK = 3    # the message centre accepted the message ("SEND OK")
    TypeCustError = 4   # delivery report: failure ("FAILURE")
    typeCustOK = 5      # delivery report: delivered ("SUCCESS")
    typeError = 6       # the terminal answered "ERROR"


class Error(Exception):
    """A failure of the component: its error number and description."""

    def __init__(self, number, description):
        super().__init__(f"error {number}: {description}")
        self.number = number
        self.description = description


def _encode(value, what):
    if not isinstance(value, str):
        raise TypeError(f"{what} must be a str, not {type(value).__name__}")
    return value.encode(*_CODEC)


def _call(function, *arguments):
    error = _CError()
    rc = function(*arguments, ctypes.byref(error))
    if _raised:
        raised = _raised[0]
        _raised.clear()
        raise raised
    if rc:
        raise Error(error.number, error.description.decode(*_CODEC))


def version():
    """The component's version, "1.0.0"."""
    return _lib.mobi_version().decode()


def error_text(number):
    """The standard text of an error number."""
    return _lib.mobi_error_text(number).decode()


def set_port_device(port, path):
    """Port `port` opens the device `path` (a USB modem, a pseudo-terminal)."""
    _call(_lib.mobi_set_port_device, port, _encode(path, "the path"))


def do_events():
    """Handles what has arrived: replies, SMSError events."""
    _call(_lib.mobi_do_events)


def event_fd():
    """A descriptor that is readable whenever do_events() has work."""
    return _lib.mobi_event_fd()


def attach(loop=None):
    """Runs do_events() from an asyncio loop (the running one by default)
    whenever the component has work; returns a function that stops it."""
    loop = loop or asyncio.get_running_loop()
    fd = event_fd()
    loop.add_reader(fd, do_events)
    return lambda: loop.remove_reader(fd)


class Terminal:
    """One clsSMS object on port `port`: a device path (mapped to port
    number `number`) or a port number itself (/dev/ttyS{n-1}). Opening never
    fails; a port that did not open shows itself at the first command."""

    def __init__(self, port, settings="9600,n,8,1", number=1):
        if isinstance(port, int):
            number = port
        else:
            set_port_device(number, port)
        error = _CError()
        self._sms = _lib.mobi_sms_new(ctypes.byref(error))
        if not self._sms:
            raise Error(error.number, error.description.decode(*_CODEC))
        self._handlers = {}
        try:
            _call(_lib.mobi_sms_initialize, self._sms, number, _encode(settings, "the settings"))
        except BaseException:
            self.close()
            raise

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def close(self):
        """Closes the shared port. Further calls fail with mobi.Error."""
        if self._sms:
            _lib.mobi_sms_free(self._sms)
            self._sms = None
            self._handlers.clear()

    def _object(self):
        if not self._sms:
            raise Error(8018, "the terminal is closed")
        return self._sms

    def send(self, number, text):
        """Sends one message; waits up to about 5 s for the final report."""
        status = ctypes.c_int32()
        _call(_lib.mobi_sms_send, self._object(), _encode(number, "the number"),
              _encode(text, "the text"), ctypes.byref(status))
        return Status(status.value)

    def signal(self):
        """The signal level (0 to 255), 0 when no answer came."""
        level = ctypes.c_int16()
        _call(_lib.mobi_sms_signal, self._object(), ctypes.byref(level))
        return level.value

    def check(self):
        """The terminal's check text, "" when none came."""
        text = ctypes.c_void_p()
        _call(_lib.mobi_sms_check, self._object(), ctypes.byref(text))
        try:
            return ctypes.string_at(text.value).decode(*_CODEC)
        finally:
            _lib.mobi_free(text)

    def set_centre(self, centre):
        """Stores the message-centre number (SetMobiCode); False only when the
        terminal answered exactly "ERROR"."""
        accepted = ctypes.c_int()
        _call(_lib.mobi_sms_set_code, self._object(), _encode(centre, "the centre"),
              ctypes.byref(accepted))
        return bool(accepted.value)

    def reset(self):
        """Resets the terminal; does not wait."""
        _call(_lib.mobi_sms_reset, self._object())

    def at_send(self, command):
        """Writes a raw command (ANSI bytes, nothing added); does not wait."""
        _call(_lib.mobi_sms_at_send, self._object(), _encode(command, "the command"))

    def on_error(self, handler):
        """Calls handler(text) for every error text the terminal sends (the
        SMSError event); returns a function that stops it. An exception the
        handler raises comes out of the call that processed the message."""
        return self._subscribe(_HANDLER, "error",
                               lambda text, _user: handler(text.decode(*_CODEC)))

    def on_report(self, handler):
        """Calls handler(destination, status) for every delivery report that
        comes after send() returned without it (a late one), while messages
        are processed (do_events(), attach(), a later call); status is
        Status.typeCustOK or Status.TypeCustError. Returns a function that
        stops it; exceptions as for on_error."""
        return self._subscribe(
            _REPORT_HANDLER, "report",
            lambda number, status, _user: handler(number.decode(*_CODEC), Status(status)))

    def _subscribe(self, kind, event, call):
        def trampoline(*arguments):
            try:
                call(*arguments)
            except BaseException as e:  # pylint: disable=broad-except
                if not _raised:
                    _raised.append(e)

        callback = kind(trampoline)  # kept alive while subscribed
        subscription = ctypes.c_uint64()
        _call(getattr(_lib, "mobi_sms_subscribe_" + event), self._object(), callback, None,
              ctypes.byref(subscription))
        key = (event, subscription.value)
        self._handlers[key] = callback

        def stop():
            if self._sms and self._handlers.pop(key, None):
                _call(getattr(_lib, "mobi_sms_unsubscribe_" + event), self._sms, key[1])
        return stop
