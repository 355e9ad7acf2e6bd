"""Four threads call all twelve functions at once; each answer must equal the one a call made alone gives."""
import os
import subprocess
import sys
import threading
import unittest

import anticheat

ROUNDS = 3


def calls(target, game_dir):
    """The twelve functions, each with the arguments the threads use."""
    return [
        ("is_windows", lambda: anticheat.is_windows()),
        ("initialize", lambda: anticheat.initialize("x")),
        ("get_hwid", lambda: anticheat.get_hwid()),
        ("is_cheat_detected", lambda: anticheat.is_cheat_detected()),
        ("detect_cheat_process", lambda: anticheat.detect_cheat_process()),
        ("is_debugger_present", lambda: anticheat.is_debugger_present()),
        ("verify_game_integrity", lambda: anticheat.verify_game_integrity()),
        ("detect_thread_hijack", lambda: anticheat.detect_thread_hijack(target)),
        ("inspect_process_modules", lambda: anticheat.inspect_process_modules(target, game_dir, "heavy")),
        ("inspect_process", lambda: anticheat.inspect_process(target, game_dir, "heavy")),
        ("get_system_info", lambda: anticheat.get_system_info()),
        ("shutdown", lambda: anticheat.shutdown()),
    ]


@unittest.skipUnless(sys.platform.startswith("linux"), "live processes of the Linux stand-in")
class AllFunctionsFromFourThreads(unittest.TestCase):
    def test_concurrent_results_equal_single_threaded_ones(self):
        # The target is a child, not this process: this process's own thread
        # count changes with the test's threads.
        child = subprocess.Popen(["sleep", "120"])
        try:
            self.check(child.pid, os.path.dirname(os.path.abspath(__file__)))
        finally:
            child.kill()
            child.wait()

    def check(self, target, game_dir):
        table = calls(target, game_dir)
        alone = {name: call() for name, call in table}
        # verify_game_integrity reads the session flag, which the other
        # threads' initialize and shutdown set and clear while it runs: it
        # may give either answer a call alone gives in either session state.
        anticheat.initialize("x")
        integrity_answers = {anticheat.verify_game_integrity()}
        anticheat.shutdown()
        integrity_answers.add(anticheat.verify_game_integrity())

        barrier = threading.Barrier(4)
        results, errors = [], []

        def worker(index):
            try:
                barrier.wait()
                for round_ in range(ROUNDS):
                    shift = (index * 3 + round_) % len(table)  # each thread in its own order
                    for name, call in table[shift:] + table[:shift]:
                        results.append((name, call()))
            except BaseException as error:  # reported by the main thread
                errors.append(error)

        threads = [threading.Thread(target=worker, args=(i,)) for i in range(4)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()

        self.assertEqual(errors, [])
        self.assertEqual(len(results), 4 * ROUNDS * len(table))
        for name, result in results:
            if name == "verify_game_integrity":
                self.assertIn(result, integrity_answers)
            else:
                self.assertEqual(result, alone[name], name)


if __name__ == "__main__":
    unittest.main()
