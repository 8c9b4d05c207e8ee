"""The Python module against the terminal simulator (MOBI_TERMINAL) and a
pseudo-terminal of the test's own, in real time."""
import asyncio
import os
import subprocess

import pytest

import mobi


@pytest.fixture
def terminal():
    """Starts mobi-terminal with the options given; yields its device path."""
    started = []

    def start(*options):
        sim = subprocess.Popen([os.environ["MOBI_TERMINAL"], *options], stdout=subprocess.PIPE,
                               stderr=subprocess.DEVNULL, text=True)
        started.append(sim)
        return sim.stdout.readline().strip()

    yield start
    for sim in started:
        sim.terminate()
        sim.wait(10)


def test_send_signal_check_and_the_status_names(terminal):
    device = terminal()
    with mobi.Terminal(port=device, settings="9600,n,8,1") as t:
        status = t.send("13800138000", "你好 😀")
        assert status is mobi.Status.typeCustOK and status == 5
        assert t.signal() == 23
        assert t.check() == "MOBI-SIM READY"
        assert t.set_centre("+8613800290500")
    assert [s.name for s in mobi.Status] == ["typeNoSend", "typeSendOk", "typeCenterOK",
                                             "TypeCustError", "typeCustOK", "typeError"]


def test_failures_carry_the_number(terminal):
    device = terminal("--error", "13900000000")
    with mobi.Terminal(port=device) as t:
        assert t.send("13900000000", "x") is mobi.Status.typeError
        with pytest.raises(mobi.Error) as empty:
            t.send("", "x")
        assert empty.value.number == 9 and "Subscript out of range" in empty.value.description
        with pytest.raises(TypeError):
            t.send(13800138000, "x")
    with pytest.raises(mobi.Error) as closed:
        t.signal()
    assert closed.value.number == 8018
    with mobi.Terminal(port="/nonexistent/device") as t:
        with pytest.raises(mobi.Error) as missing:
            t.check()
        assert missing.value.number == 8018
    assert mobi.error_text(8020) == "Error reading comm device"


def test_sms_error_reaches_the_handler_and_its_exception_the_caller(terminal):
    device = terminal("--error-text", "LOW BALANCE")
    with mobi.Terminal(port=device) as t:
        texts = []
        stop = t.on_error(texts.append)
        assert t.send("13800138000", "hello") is mobi.Status.typeCustOK
        assert texts == ["LOW BALANCE"]
        stop()

        def fail(text):
            raise RuntimeError("handler saw " + text)

        t.on_error(fail)
        with pytest.raises(RuntimeError, match="handler saw LOW BALANCE"):
            t.send("13800138000", "hello")


def test_attach_runs_the_component_from_an_asyncio_loop():
    # A terminal of the test's own: an error text written while no call waits
    # reaches the handler through the loop, not through a waiting call.
    master, slave = os.openpty()
    path = os.ttyname(slave)

    async def main():
        with mobi.Terminal(port=path) as t:
            got = asyncio.get_running_loop().create_future()
            t.on_error(lambda text: got.done() or got.set_result(text))
            detach = mobi.attach()
            try:
                os.write(master, b"\xaa\x00LINE DOWN")
                return await asyncio.wait_for(got, 5)
            finally:
                detach()

    try:
        assert asyncio.run(main()) == "LINE DOWN"
    finally:
        os.close(master)
        os.close(slave)


def test_a_late_delivery_report_reaches_the_subscriber_through_the_loop(terminal):
    # The report comes 6 s after "SEND OK": send gives up at 5 s and says so,
    # and the report reaches on_report while the asyncio loop runs.
    device = terminal("--report-after", "6")

    async def main():
        with mobi.Terminal(port=device) as t:
            got = asyncio.get_running_loop().create_future()
            t.on_report(lambda number, status: got.done() or got.set_result((number, status)))
            assert t.send("13800138000", "late") is mobi.Status.typeCenterOK
            assert not got.done()
            detach = mobi.attach()
            try:
                return await asyncio.wait_for(got, 10)
            finally:
                detach()

    assert asyncio.run(main()) == ("13800138000", mobi.Status.typeCustOK)
