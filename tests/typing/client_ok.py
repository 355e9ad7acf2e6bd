"""A game client using the module as its types describe: must type-check."""
from __future__ import annotations

from typing import TYPE_CHECKING

import anticheat

if TYPE_CHECKING:
    from anticheat import ModuleRecord, ProcessReport, ScanLevel


def cheat_running() -> str | None:
    record = anticheat.detect_cheat_process()
    if record["detected"] == "1":
        return record["name"] or record["path"]
    return None


def suspicious_modules(pid: int, game_dir: str, level: ScanLevel = "heavy") -> list[str]:
    modules: list[ModuleRecord] = anticheat.inspect_process_modules(pid, game_dir, level)
    return [m["path"] for m in modules if m["suspicious"] == "1" and m["scanLevel"] == level]


def summary(pid: int) -> dict[str, str]:
    report: ProcessReport = anticheat.inspect_process(pid, None, scan_level="cheap")
    out = {"threads": report["threadCount"], "level": report["scanLevel"]}
    if report["externalWriteHandleWindowVisible"] in ("", "0"):
        out["window"] = "hidden"
    out["regions"] = report.get("privateExecutableRegionsJson", "[]")
    info = anticheat.get_system_info()
    if info.get("powerPlan") == "battery":
        out["power"] = "battery"
    return out


anticheat.initialize("client")
print(cheat_running(), suspicious_modules(0, "C:/games/tarnvale"), summary(0))
# Any record is still a plain dict of texts to code that wants one.
plain: dict[str, object] = dict(anticheat.inspect_process(0, b"C:/games"))
anticheat.shutdown()
