"""The Modbus server driven by pymodbus, with a program in RUN behind it.

usage: pymodbus_session.py MODBUS_TEST_HOST PROGRAM
"""
import sys
import time
import unittest

from pymodbus.client import ModbusTcpClient

from server_process import ServerProcess

HOST, PROGRAM = sys.argv[1], sys.argv[2]


class ServerSession(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.server = ServerProcess([HOST, PROGRAM, "127.0.0.1:0"])
        cls.port = cls.server.wait_ready()

    @classmethod
    def tearDownClass(cls):
        cls.server.stop()

    def client(self):
        client = ModbusTcpClient("127.0.0.1", port=self.port, timeout=5, retries=0)
        self.assertTrue(client.connect())
        self.addCleanup(client.close)
        return client

    def poll(self, read, expected, what):
        """Reads until the program has produced `expected` (it runs on its own timers)."""
        deadline = time.monotonic() + 10
        value = read()
        while value != expected and time.monotonic() < deadline:
            value = read()
        self.assertEqual(value, expected, what)

    def test_every_writable_table_reads_back_what_was_written(self):
        c = self.client()
        for base in (1000, 2000):  # M and V; Q is written by the program in part
            self.assertFalse(c.write_coils(base + 40, [True, False, True]).isError())
            self.assertEqual(c.read_coils(base + 40, 3).bits[:3], [True, False, True])
        self.assertFalse(c.write_coil(3 * 8 + 1, True).isError())  # Q3.1
        self.assertTrue(c.read_coils(25, 1).bits[0])
        for base in (0, 100, 200):  # VW, QW, MW
            self.assertFalse(c.write_registers(base + 5, [0x1234, 0xBEEF]).isError())
            self.assertEqual(c.read_holding_registers(base + 5, 2).registers, [0x1234, 0xBEEF])
        # MW10 (register 205) is M10 high and M11 low: coils 1080..1095, bit 0 first.
        self.assertEqual(c.read_coils(1080, 16).bits[:16],
                         [bool(0x12 >> b & 1) for b in range(8)]
                         + [bool(0x34 >> b & 1) for b in range(8)])

    def test_inputs_written_as_coils_show_in_discrete_inputs_and_input_registers(self):
        c = self.client()
        self.assertFalse(c.write_coils(3000 + 14 * 8, [True] * 4).isError())  # I14.0..I14.3
        self.assertEqual(c.read_discrete_inputs(14 * 8, 8).bits[:8], [True] * 4 + [False] * 4)
        self.assertEqual(c.read_input_registers(7, 1).registers, [0x0F00])  # IW14: I14 high

    def test_a_running_program_follows_an_input_a_client_writes(self):
        c = self.client()
        self.assertFalse(c.write_coil(3000 + 12 * 8, True).isError())  # I12.0
        self.poll(lambda: c.read_coils(16, 1).bits[0], True, "Q2.0 follows I12.0")
        self.assertFalse(c.write_coil(3000 + 12 * 8, False).isError())
        self.poll(lambda: c.read_coils(16, 1).bits[0], False, "Q2.0 follows I12.0 back")

    def test_timer_bits_and_elapsed_time_are_readable(self):
        c = self.client()
        self.assertFalse(c.write_coil(1000 + 3 * 8, True).isError())  # M3.0 enables T37
        self.poll(lambda: c.read_discrete_inputs(1037, 1).bits[0], True, "T37 done")
        self.assertGreaterEqual(c.read_input_registers(1037, 1).registers[0], 3)
        self.poll(lambda: c.read_coils(17, 1).bits[0], True, "Q2.1 shows T37 at the next scan")
        self.assertFalse(c.write_coil(1000 + 3 * 8, False).isError())
        self.poll(lambda: c.read_input_registers(1037, 1).registers[0], 0, "T37 restarts")

    def test_unmapped_addresses_are_illegal_data_addresses(self):
        c = self.client()
        for response in (c.read_coils(168, 1), c.read_coils(3160, 9),
                         c.read_discrete_inputs(168, 1), c.read_discrete_inputs(1256, 1),
                         c.read_holding_registers(11, 1), c.read_holding_registers(300, 1),
                         c.read_input_registers(11, 1), c.write_coil(4000, True),
                         c.write_register(111, 1)):
            self.assertTrue(response.isError(), response)
            self.assertEqual(response.exception_code, 2, response)

    def test_unit_ids_one_zero_and_255_are_answered(self):
        c = self.client()
        for unit in (1, 0, 255):
            response = c.read_holding_registers(0, 2, slave=unit)
            self.assertFalse(response.isError(), f"unit {unit}")

    def test_two_clients_see_each_others_writes(self):
        first, second = self.client(), self.client()
        for value in range(1, 50):
            self.assertFalse(first.write_register(210, value << 8).isError())  # MW20: M20 only
            self.assertEqual(second.read_holding_registers(210, 1).registers, [value << 8])
            self.assertEqual(second.read_coils(1160, 8).bits[:8],
                             [bool(value >> b & 1) for b in range(8)])

    def test_the_log_names_clients_coming_and_going(self):
        self.client().close()
        self.assertIsNotNone(self.server.wait_for_line(r"log: Modbus TCP client .* connected"))
        self.assertIsNotNone(self.server.wait_for_line(r"log: Modbus TCP client .* disconnected"))


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
