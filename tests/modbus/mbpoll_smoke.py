"""`corvane --modbus` watched and driven from mbpoll, and its start when the port is taken.

usage: mbpoll_smoke.py CORVANE MBPOLL
"""
import socket
import subprocess
import sys
import unittest

from server_process import ServerProcess

CORVANE, MBPOLL = sys.argv[1], sys.argv[2]


def mbpoll(port, *arguments, write=None):
    """One mbpoll run with 0-based addresses, reading or writing `write`; its output."""
    result = subprocess.run(
        [MBPOLL, "-m", "tcp", "-a", "1", "-0", "-1", "-p", str(port), *arguments, "127.0.0.1",
         *([str(write)] if write is not None else [])],
        capture_output=True, text=True, timeout=30)
    if result.returncode != 0:
        raise AssertionError(f"mbpoll {arguments}: {result.stdout} {result.stderr}")
    return result.stdout


def values(output):
    """The `[ADDRESS]: VALUE` lines of mbpoll's output."""
    found = {}
    for line in output.splitlines():
        if line.startswith("[") and "]:" in line:
            address, value = line[1:].split("]:", 1)
            found[int(address)] = value.split()[0]
    return found


class CorvaneWithMbpoll(unittest.TestCase):
    def test_a_written_output_word_reads_back_as_coils_and_register(self):
        server = ServerProcess([CORVANE, "--modbus", "127.0.0.1:0"])
        self.addCleanup(server.stop)
        port = server.wait_ready()
        mbpoll(port, "-t", "4", "-r", "100", write=0x1234)  # QW0 = 0x1234
        self.assertEqual(values(mbpoll(port, "-t", "4", "-r", "100", "-c", "2")),
                         {100: "4660", 101: "0"})
        coils = values(mbpoll(port, "-t", "0", "-r", "0", "-c", "16"))
        expected = [0x12 >> b & 1 for b in range(8)] + [0x34 >> b & 1 for b in range(8)]
        self.assertEqual([int(coils[a]) for a in range(16)], expected)
        self.assertEqual(values(mbpoll(port, "-t", "3", "-r", "1037")), {1037: "0"})
        self.assertEqual(values(mbpoll(port, "-t", "1", "-r", "0", "-c", "2")),
                         {0: "0", 1: "0"})
        self.assertIsNone(server.process.poll())

    def test_a_port_in_use_is_said_and_the_simulator_runs_on(self):
        with socket.socket() as occupant:
            occupant.bind(("127.0.0.1", 0))
            occupant.listen()
            port = occupant.getsockname()[1]
            server = ServerProcess([CORVANE, "--modbus", f"127.0.0.1:{port}"])
            self.addCleanup(server.stop)
            line = server.wait_for_line(r"Modbus TCP server not started.*without Modbus")
            self.assertIsNotNone(line, server.lines)
            self.assertIn(str(port), line.group(0))
            self.assertIsNone(server.process.poll(), "the simulator must keep running")

    def test_a_malformed_address_is_a_usage_error(self):
        server = ServerProcess([CORVANE, "--modbus", "host.example:99999"])
        self.addCleanup(server.stop)
        self.assertEqual(server.process.wait(timeout=30), 2)
        self.assertIsNotNone(server.wait_for_line(r"--modbus host.example:99999: "))


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
