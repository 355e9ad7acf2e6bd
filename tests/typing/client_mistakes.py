"""Mistakes a new client makes. Each line marked `expect: CODE` must be
flagged by mypy with that error code, and nothing else may be.

A flag is the text "0" or "1", and both are true: `if record["suspicious"]:`
is always taken. Types can only show it where the untaken branch is visible
(an `else`, or an `and`/`or` operand); a bare `if` with no `else` passes.
"""
import anticheat

# The record is never empty: "no cheat" is detected "0", not {}.
if anticheat.detect_cheat_process():
    print("cheat running")
else:
    print("clean")  # expect: unreachable

found = anticheat.detect_cheat_process() and "cheat"  # expect: redundant-expr

report = anticheat.inspect_process(0, "C:/games/tarnvale", scan_level="hevy")  # expect: arg-type
modules = anticheat.inspect_process_modules(0, None, "full")  # expect: arg-type

print(report["suspicous"])  # expect: typeddict-item
print(modules[0]["knownCheatHash"])  # expect: typeddict-item

if report["suspicious"]:
    print("suspicious")
else:
    print("clean")  # expect: unreachable

# Not caught: always true, with no branch left for the checker to see dead.
if report["debuggerPresent"]:
    print("debugger")
