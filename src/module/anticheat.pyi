"""Tarnvale Native Checks Core Module (Windows Only)"""
# Generated from the report field tables by anticheat_stubgen; do not edit.
#
# Every record is a plain dict[str, str] at run time. The TypedDicts, Flag and
# ScanLevel below exist for type checkers only: import them under
# `if typing.TYPE_CHECKING:`. Flags are the texts "0" and "1", and both are
# true in a boolean context: compare them with "1".
from typing import Literal, NotRequired, TypeAlias, TypedDict

Flag: TypeAlias = Literal["0", "1"]
FlagOrEmpty: TypeAlias = Literal["", "0", "1"]
ScanLevel: TypeAlias = Literal["cheap", "medium", "heavy"]


class ProcessReport(TypedDict):
    """The record inspect_process returns."""

    blockedNameHashMatch: NotRequired[Flag]
    blockedNameHashMatchHash: NotRequired[str]
    blockedNameHashMatchName: NotRequired[str]
    debuggerPresent: Flag
    executablePath: str
    externalWriteHandleAccess: str
    externalWriteHandleCompanyName: str
    externalWriteHandleCount: str
    externalWriteHandleDetected: Flag
    externalWriteHandleFileVersion: str
    externalWriteHandleKnownBadHashMatch: Flag
    externalWriteHandleNtStatus: NotRequired[str]
    externalWriteHandleOriginalFilename: str
    externalWriteHandleParentName: str
    externalWriteHandleParentPid: str
    externalWriteHandleProcessAccount: str
    externalWriteHandleProcessIntegrity: str
    externalWriteHandleProcessMd5: str
    externalWriteHandleProcessName: str
    externalWriteHandleProcessPath: str
    externalWriteHandleProcessPeTimestamp: str
    externalWriteHandleProcessPid: str
    externalWriteHandleProcessSize: str
    externalWriteHandleProcessStartedAt: str
    externalWriteHandleProductName: str
    externalWriteHandleReportOnly: Flag
    externalWriteHandleSignatureIssuer: str
    externalWriteHandleSignaturePublisher: str
    externalWriteHandleSignatureStatus: str
    externalWriteHandleSignatureThumbprint: str
    externalWriteHandleSignatureTrustedMicrosoft: FlagOrEmpty
    externalWriteHandleStatus: str
    externalWriteHandleSystemProcessCount: str
    externalWriteHandleSystemProcessNames: str
    externalWriteHandleToolCategory: str
    externalWriteHandleToolHashMatch: Flag
    externalWriteHandleToolNameOnlyMatch: Flag
    externalWriteHandleWindowTitle: str
    externalWriteHandleWindowVisible: FlagOrEmpty
    fuzzyCheatCodeMd5: str
    fuzzyCheatConfidence: str
    fuzzyCheatDataMd5: str
    fuzzyCheatFamily: str
    fuzzyCheatFeatures: str
    fuzzyCheatImportMd5: str
    fuzzyCheatProcessMatch: Flag
    fuzzyCheatProcessName: str
    fuzzyCheatProcessPath: str
    fuzzyCheatProcessSuspect: Flag
    fuzzyCheatRuleId: str
    fuzzyCheatSectionLayout: str
    knownCheatProcessHashMatch: Flag
    knownCheatProcessMd5: str
    knownCheatProcessName: str
    knownCheatProcessNameOnlyMatch: Flag
    knownCheatProcessPath: str
    manualMapReportOnly: Flag
    manualMapSuspected: Flag
    memoryScanStatus: str
    privateExecutableRegionCount: str
    privateExecutableRegionsJson: NotRequired[str]
    processFound: Flag
    renderHookScanStatus: str
    scanLevel: ScanLevel
    suspicious: Flag
    threadCount: str
    threadCountSuspicious: Flag
    toolProcessCategory: str
    toolProcessMatchStrength: str
    toolProcessName: str
    toolProcessNameOnlyMatch: Flag
    toolProcessPath: str


class ModuleRecord(TypedDict):
    """One loaded module, as inspect_process_modules lists it."""

    basename: str
    blockedHashMatch: Flag
    fuzzyCorpusCodeMd5: str
    fuzzyCorpusConfidence: str
    fuzzyCorpusDataMd5: str
    fuzzyCorpusFamily: str
    fuzzyCorpusFeatures: str
    fuzzyCorpusImportMd5: str
    fuzzyCorpusMatch: Flag
    fuzzyCorpusRuleId: str
    fuzzyCorpusSectionLayout: str
    fuzzyCorpusSuspect: Flag
    hashReason: str
    hashStatus: str
    issuer: str
    knownCheatHashMatch: Flag
    lastWriteTime: str
    md5: str
    name: str
    origin: str
    path: str
    peFingerprintStatus: str
    publisher: str
    reason: str
    reportOnlyReasons: str
    scanLevel: ScanLevel
    signatureSource: str
    signatureStatus: str
    signerThumbprint: str
    size: str
    suspicious: Flag
    suspiciousReasons: str
    textHashStatus: str
    textMd5: str
    trustedMicrosoft: Flag


class CheatProcessRecord(TypedDict):
    """The first known cheat program running, or detected "0"."""

    detected: Flag
    md5: str
    name: str
    path: str


class SystemInfo(TypedDict, total=False):
    """Support telemetry; a key is present only when the machine answers it."""

    displayRefreshHz: str
    displayResolution: str
    gpuName: str
    powerPlan: Literal["ac", "battery"]


def is_windows() -> bool:
    """Check if running on Windows OS"""

def initialize(arg0: str | bytes | bytearray | None, /) -> bool:
    """Initialize the anti-cheat system"""

def get_hwid() -> str:
    """Get the hardware ID"""

def is_cheat_detected() -> bool:
    """Check for known cheat software"""

def detect_cheat_process() -> CheatProcessRecord:
    """Return matched cheat-process {detected,name,path,md5} (empty if none)"""

def is_debugger_present() -> bool:
    """Check for debugger presence"""

def verify_game_integrity() -> bool:
    """Verify game file integrity"""

def detect_thread_hijack(arg0: int, /) -> bool:
    """Detect thread hijacking attacks"""

def inspect_process_modules(pid: int, game_dir: str | bytes | bytearray | None,
                            scan_level: ScanLevel = "medium") -> list[ModuleRecord]:
    """Inspect modules loaded by a game process"""

def inspect_process(pid: int, game_dir: str | bytes | bytearray | None,
                    scan_level: ScanLevel = "medium") -> ProcessReport:
    """Inspect process-level anti-cheat signals"""

def get_system_info() -> SystemInfo:
    """Machine info (GPU/display/power) for support telemetry"""

def shutdown() -> None:
    """Clean shutdown of anti-cheat system"""
