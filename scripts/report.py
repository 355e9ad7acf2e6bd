"""Print what the module reports about this machine and one process.

usage: report.py [PID] [GAME_DIR] [SCAN_LEVEL]
PID defaults to this interpreter, GAME_DIR to the empty text, SCAN_LEVEL to heavy.
"""
import json
import os
import sys

import anticheat


def main(argv):
    pid = int(argv[1]) if len(argv) > 1 else os.getpid()
    game_dir = argv[2] if len(argv) > 2 else ""
    level = argv[3] if len(argv) > 3 else "heavy"

    anticheat.initialize("")
    modules = anticheat.inspect_process_modules(pid, game_dir, level)
    report = {
        "is_windows": anticheat.is_windows(),
        "hwid": anticheat.get_hwid(),
        "system_info": anticheat.get_system_info(),
        "is_debugger_present": anticheat.is_debugger_present(),
        "verify_game_integrity": anticheat.verify_game_integrity(),
        "detect_cheat_process": anticheat.detect_cheat_process(),
        "detect_thread_hijack": anticheat.detect_thread_hijack(pid),
        "inspect_process": anticheat.inspect_process(pid, game_dir, level),
        "inspect_process_modules": {
            "count": len(modules),
            "suspicious": [m for m in modules if m["suspicious"] == "1"],
            "first": modules[:3],
        },
    }
    anticheat.shutdown()
    json.dump(report, sys.stdout, indent=2)
    print()


if __name__ == "__main__":
    main(sys.argv)
