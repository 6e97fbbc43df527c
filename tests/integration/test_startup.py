"""Start-up, the serial port's line settings, stopping by signal, service mode."""
import os
import pty
import signal
import socket
import termios
import time
import tty
import unittest

from relay import RelayTestCase, wait_until


def link_missing_port(relay, n=1):
    # com<n> beside the binary names the device; a dangling link is a port that is not there.
    os.symlink("/nonexistent/tty", relay.path(f"com{n}"))


def open_pty():
    master, slave = pty.openpty()
    tty.setraw(master)
    return master, slave, os.ttyname(slave)


class StartupTest(RelayTestCase):
    def test_missing_port_is_logged_and_retried_with_back_off(self):
        relay = self.relay(debug_level=10, start=False)
        link_missing_port(relay)
        relay.args = []  # no switches at all
        relay.start()
        relay.wait_log("Reset error: ", count=3, timeout=20)
        messages = relay.messages()
        self.assertEqual(messages[0], "Executing as application. Port=8147, Com1:9600,n,8,1, "
                                      "DebugLevel=10, RemoteAddress=, RemotePort=0, SrcListen=False")
        self.assertTrue(messages[1].startswith("Reset error: 2 - "), messages)
        stamps = [line[:19] for line in relay.log_text().decode().split("\r\n") if "Reset error" in line]
        seconds = [time.mktime(time.strptime(s, "%Y-%m-%d %H:%M:%S")) for s in stamps]
        self.assertIn(seconds[1] - seconds[0], (0, 1, 2))    # about 1 s
        self.assertIn(seconds[2] - seconds[1], (9, 10, 11))  # about 10 s
        self.assertEqual(relay.stop(signal.SIGINT), 0)
        self.assertEqual(relay.messages()[-2:], ["Application Unload request. Unload Mode = 0",
                                                 "Process terminated."])

    def test_load_logs_in_order_at_level_zero(self):
        relay = self.relay(start=False)
        link_missing_port(relay)
        relay.start()
        relay.wait_log("Reset error: ")
        self.assertEqual(relay.messages()[1:5], ["Form loaded.", "Reset. KillClients=True",
                                                "CloseConnection(0).", relay.messages()[4]])
        self.assertTrue(relay.messages()[4].startswith("Reset error: "))

    def test_signals_give_their_unload_modes(self):
        for sig, mode in ((signal.SIGTERM, 3), (signal.SIGHUP, 2), (signal.SIGINT, 0)):
            with self.subTest(signal=sig):
                relay = self.relay(start=False)
                link_missing_port(relay)
                relay.start()
                relay.wait_log("Form loaded.")
                self.assertEqual(relay.stop(sig), 0)
                self.assertIn(f"Application Unload request. Unload Mode = {mode}", relay.messages())
                self.assertEqual(relay.messages()[-1], "Process terminated.")

    def test_serial_port_opens_with_the_given_line_settings(self):
        master, slave, name = open_pty()
        self.addCleanup(os.close, master)
        self.addCleanup(os.close, slave)
        # A pseudo-terminal keeps the speed, stop bits and parity sense it is
        # given but always reports 8 data bits without parity checking, so the
        # data bits are checked on the line settings in the unit tests.
        for settings, stop_bits_two, odd in (("19200,e,7,1", False, False), ("38400,O,8,2", True, True)):
            with self.subTest(settings=settings):
                relay = self.relay("-c", 3, "-b", settings, start=False)
                os.symlink(name, relay.path("com3"))
                relay.start()
                relay.wait_listening()
                attrs = termios.tcgetattr(slave)
                speed = termios.B19200 if settings.startswith("19200") else termios.B38400
                self.assertEqual(attrs[4], speed)  # input speed
                self.assertEqual(attrs[5], speed)  # output speed
                self.assertEqual(bool(attrs[2] & termios.CSTOPB), stop_bits_two)
                self.assertEqual(bool(attrs[2] & termios.PARODD), odd)
                self.assertEqual(attrs[3] & (termios.ICANON | termios.ECHO), 0)  # raw
                self.assertEqual(relay.stop(), 0)

    def test_values_keep_their_case(self):
        relay = self.relay("-i", "Relay.LOG", start=False)
        link_missing_port(relay)
        relay.start()
        self.assertTrue(wait_until(lambda: os.path.exists(relay.path("Relay.LOG")), 10))
        self.assertFalse(os.path.exists(relay.path("relay.log")))

    def test_unwritable_log_does_not_stop_the_relay(self):
        master, slave, name = open_pty()
        self.addCleanup(os.close, master)
        self.addCleanup(os.close, slave)
        relay = self.relay("-i", "missing-folder/x.log", "-u", start=False)
        os.symlink(name, relay.path("com1"))
        relay.start()
        relay.wait_listening()
        client = self.stream(relay)
        os.write(master, b"receipt\x1dV")
        self.assertEqual(client.next_frame(), b"receipt\x1dV")
        self.assertEqual(relay.stop(), 0)


class ServiceModeTest(RelayTestCase):
    def test_without_service_manager_it_refuses_to_start(self):
        env = {k: v for k, v in os.environ.items() if k != "NOTIFY_SOCKET"}
        relay = self.relay("-s", env=env)
        self.assertEqual(relay.process.wait(10), 1)
        self.assertIn(b"Unable to start service.", relay.stderr())
        self.assertTrue(relay.messages()[0].startswith("Executing as service. Port="))

    def test_notify_protocol_and_stop_on_sigterm(self):
        notify = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
        self.addCleanup(notify.close)
        path = os.path.join(os.environ.get("TMPDIR", "/tmp"), f"tavrik-notify-{os.getpid()}")
        if os.path.exists(path):
            os.unlink(path)
        notify.bind(path)
        self.addCleanup(os.unlink, path)
        notify.settimeout(15)
        relay = self.relay("-s", env=dict(os.environ, NOTIFY_SOCKET=path), start=False)
        link_missing_port(relay)
        relay.start()
        self.assertIn(b"READY=1", notify.recv(4096))
        relay.wait_log("Form loaded.")
        started = time.monotonic()
        os.kill(relay.process.pid, signal.SIGTERM)
        while b"STOPPING=1" not in (datagram := notify.recv(4096)):
            self.assertTrue(datagram.startswith(b"STATUS="), datagram)
        self.assertEqual(relay.process.wait(10), 0)
        self.assertLess(time.monotonic() - started, 3)
        self.assertEqual(relay.messages()[-2:], ["Application Unload request. Unload Mode = 1",
                                                 "Process terminated."])


if __name__ == "__main__":
    unittest.main()
