"""Failures that end a run: the failure box, the fallback box and the exit codes."""

import unittest

from wine_harness import SESSION


class Faults(unittest.TestCase):
    def test_processor_faults_end_in_the_failure_box_and_leave_nothing_behind(self):
        # A fault while the connection file is open leaves no part of it; the process ends
        # right after its box even when the faulting thread holds the heap.
        storing = ["cmdkey.exe", "cmdkey.exe"]
        for fault, class_name, message, tools in [
                ("access-violation", b"EAccessViolation", b"Access violation", []),
                ("access-violation-while-writing", b"EAccessViolation", b"Access violation", storing),
                ("stack-overflow", b"EStackOverflow", b"Stack overflow", []),
                ("stack-overflow-holding-heap", b"EStackOverflow", b"Stack overflow", [])]:
            with self.subTest(fault=fault):
                result = SESSION.run("PELTA_8$alice$s3cret$.exe", exe="rdplaunch-faulttest.exe",
                                     env={"RDPLAUNCH_TEST_FAULT": fault}, timeout=30)
                self.assertEqual(result.exit_code, 1)
                self.assertEqual([box.caption for box in result.boxes], ["Application Error"])
                self.assertRegex(result.boxes[0].text,
                                 rb"^Exception " + class_name + rb" in module PELTA_8\$alice\$\*\*\*\$\.exe at "
                                 rb"[0-9A-F]{8}\.\r\n" + message + rb"\.\r\n$")
                self.assertEqual(result.tool_names(), tools)
                self.assertEqual(result.desktop, {})
                self.assertLess(result.ended_after_box, 5)

    def test_a_failure_before_the_reporting_layer_ends_in_the_runtime_error_box(self):
        result = SESSION.run("PELTA_8$alice$s3cret$.exe", exe="rdplaunch-faulttest.exe",
                             env={"RDPLAUNCH_TEST_FAULT": "raise-before-layer"})
        self.assertEqual(result.exit_code, 217)
        self.assertEqual([box.caption for box in result.boxes], ["Error"])
        self.assertEqual(result.boxes[0].text, b"Runtime error 217 at 00401234")

    def test_a_client_that_cannot_start_is_reported(self):
        result = SESSION.run("PELTA_8$alice$s3cret$.exe", missing_tools=["mstsc.exe"])
        self.assertEqual(result.exit_code, 1)
        # The shell may show its own "file not found" box first; the launcher's comes last.
        self.assertEqual([box.caption for box in result.boxes].count("Application Error"), 1)
        self.assertEqual(result.boxes[-1].caption, "Application Error")
        first, second, _ = result.boxes[-1].text.split(b"\r\n")
        self.assertTrue(first.startswith(b"Exception EStartError in module PELTA_8$alice$***$.exe at "))
        self.assertTrue(second.startswith(b"Cannot start C:\\windows\\system32\\mstsc.exe: "), second)
        self.assertEqual(result.tool_names(), ["cmdkey.exe", "cmdkey.exe"])


if __name__ == "__main__":
    unittest.main()
