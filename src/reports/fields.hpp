// Every report key, seeded default and status word of the module, in one place.
// The Python half parses these texts, so no other file spells them.
#pragma once

#include <span>
#include <string_view>
#include <utility>

namespace ac {

using FieldDefault = std::pair<std::string_view, std::string_view>;

// ------------------------------------------------------------ words
namespace word {
inline constexpr std::string_view flag_true = "1";
inline constexpr std::string_view flag_false = "0";

inline constexpr std::string_view cheap = "cheap";
inline constexpr std::string_view medium = "medium";
inline constexpr std::string_view heavy = "heavy";

inline constexpr std::string_view ok = "ok";
inline constexpr std::string_view not_run = "not_run";
inline constexpr std::string_view not_run_scan_level = "not_run_scan_level";
inline constexpr std::string_view access_denied = "access_denied";
inline constexpr std::string_view module_metadata_only = "module_metadata_only";

// write-handle statuses
inline constexpr std::string_view invalid_pid = "invalid_pid";
inline constexpr std::string_view ntdll_unavailable = "ntdll_unavailable";
inline constexpr std::string_view api_unavailable = "api_unavailable";
inline constexpr std::string_view target_access_denied = "target_access_denied";
inline constexpr std::string_view query_failed = "query_failed";
inline constexpr std::string_view target_object_unavailable = "target_object_unavailable";
// The scan completed, but some holders that are not system processes could
// not be checked (not openable to duplicate their handles from, or past the
// per-call bound); the counts cover the handles it could check.
inline constexpr std::string_view partial = "partial";

// integrity levels
inline constexpr std::string_view integrity_low = "low";
inline constexpr std::string_view integrity_medium = "medium";
inline constexpr std::string_view integrity_high = "high";
inline constexpr std::string_view integrity_system = "system";

// cheat-process scan
inline constexpr std::string_view cheat_tool = "cheat-tool";
inline constexpr std::string_view strength_name = "name";
inline constexpr std::string_view strength_hash = "hash";
inline constexpr std::string_view strength_fuzzy = "fuzzy";

// fuzzy corpus: confidence and the layout features that are not section names
inline constexpr std::string_view confidence_high = "high";
inline constexpr std::string_view confidence_medium = "medium";
inline constexpr std::string_view confidence_low = "low";
inline constexpr std::string_view feature_writable_code = "writable_code_section";
inline constexpr std::string_view feature_no_import_table = "no_import_table";

// module inspection: hash, signature and text statuses
inline constexpr std::string_view hashed = "hashed";
inline constexpr std::string_view hash_error = "hash_error";
inline constexpr std::string_view not_hashed_scan_level = "not_hashed_scan_level";
inline constexpr std::string_view not_hashed_policy = "not_hashed_policy";
// the file is above the per-file digest cap (kFileDigestCap)
inline constexpr std::string_view not_hashed_too_large = "not_hashed_too_large";
inline constexpr std::string_view not_checked = "not_checked";
inline constexpr std::string_view not_checked_scan_level = "not_checked_scan_level";
inline constexpr std::string_view unavailable = "unavailable";

// module inspection reasons
inline constexpr std::string_view reason_game_dir = "game_dir";
inline constexpr std::string_view reason_wrapper_module = "wrapper_module";
inline constexpr std::string_view reason_user_writable_path = "user_writable_path";
inline constexpr std::string_view reason_non_system_origin = "non_system_origin";
inline constexpr std::string_view reason_unexpected_wrapper = "unexpected_graphics_input_wrapper";
inline constexpr std::string_view reason_known_cheat_hash = "known_cheat_hash";
inline constexpr std::string_view reason_fuzzy_match = "fuzzy_cheat_corpus_match";
inline constexpr std::string_view reason_fuzzy_suspect = "fuzzy_cheat_corpus_suspect";
inline constexpr std::string_view reason_wrapper_non_system = "wrapper_from_non_system_origin";
inline constexpr std::string_view reason_system_wrapper_untrusted = "system_wrapper_signature_untrusted";

// file origins
inline constexpr std::string_view origin_unknown = "unknown";
inline constexpr std::string_view origin_game_dir = "game_dir";
inline constexpr std::string_view origin_user_writable = "user_writable";
inline constexpr std::string_view origin_system32 = "system32";
inline constexpr std::string_view origin_windows = "windows";
inline constexpr std::string_view origin_program_files = "program_files";
inline constexpr std::string_view origin_other = "other";

// PE fingerprint statuses
inline constexpr std::string_view pe_not_parsed = "not_parsed";
inline constexpr std::string_view pe_open_error = "open_error";
inline constexpr std::string_view pe_not_pe = "not_pe";
inline constexpr std::string_view pe_bad_pe_header = "bad_pe_header";
inline constexpr std::string_view pe_bad_optional_header = "bad_optional_header";
inline constexpr std::string_view pe_unsupported_optional_header = "unsupported_optional_header";
inline constexpr std::string_view pe_bad_section_table = "bad_section_table";
// the sections to digest exceed the per-file digest cap; headers and layout are filled
inline constexpr std::string_view pe_too_large = "too_large";
inline constexpr std::string_view pe_parsed = "parsed";

// signature statuses and sources
inline constexpr std::string_view sig_unavailable = "unavailable";
inline constexpr std::string_view sig_valid = "valid";
inline constexpr std::string_view sig_unsigned = "unsigned";
inline constexpr std::string_view sig_invalid = "invalid";
inline constexpr std::string_view source_none = "none";
inline constexpr std::string_view source_embedded = "embedded";
inline constexpr std::string_view source_catalog = "catalog";
inline constexpr std::string_view source_catalog_legacy = "catalog:legacy";

// region report
inline constexpr std::string_view read_failed = "read_failed";
inline constexpr std::string_view unknown_upper = "UNKNOWN";
}  // namespace word

// ------------------------------------------------------------ inspect_process
namespace proc_key {
inline constexpr std::string_view blockedNameHashMatch = "blockedNameHashMatch";
inline constexpr std::string_view blockedNameHashMatchHash = "blockedNameHashMatchHash";
inline constexpr std::string_view blockedNameHashMatchName = "blockedNameHashMatchName";
inline constexpr std::string_view debuggerPresent = "debuggerPresent";
inline constexpr std::string_view executablePath = "executablePath";
inline constexpr std::string_view externalWriteHandleAccess = "externalWriteHandleAccess";
inline constexpr std::string_view externalWriteHandleCompanyName = "externalWriteHandleCompanyName";
inline constexpr std::string_view externalWriteHandleCount = "externalWriteHandleCount";
inline constexpr std::string_view externalWriteHandleDetected = "externalWriteHandleDetected";
inline constexpr std::string_view externalWriteHandleFileVersion = "externalWriteHandleFileVersion";
inline constexpr std::string_view externalWriteHandleKnownBadHashMatch = "externalWriteHandleKnownBadHashMatch";
inline constexpr std::string_view externalWriteHandleNtStatus = "externalWriteHandleNtStatus";
inline constexpr std::string_view externalWriteHandleOriginalFilename = "externalWriteHandleOriginalFilename";
inline constexpr std::string_view externalWriteHandleParentName = "externalWriteHandleParentName";
inline constexpr std::string_view externalWriteHandleParentPid = "externalWriteHandleParentPid";
inline constexpr std::string_view externalWriteHandleProcessAccount = "externalWriteHandleProcessAccount";
inline constexpr std::string_view externalWriteHandleProcessIntegrity = "externalWriteHandleProcessIntegrity";
inline constexpr std::string_view externalWriteHandleProcessMd5 = "externalWriteHandleProcessMd5";
inline constexpr std::string_view externalWriteHandleProcessName = "externalWriteHandleProcessName";
inline constexpr std::string_view externalWriteHandleProcessPath = "externalWriteHandleProcessPath";
inline constexpr std::string_view externalWriteHandleProcessPeTimestamp = "externalWriteHandleProcessPeTimestamp";
inline constexpr std::string_view externalWriteHandleProcessPid = "externalWriteHandleProcessPid";
inline constexpr std::string_view externalWriteHandleProcessSize = "externalWriteHandleProcessSize";
inline constexpr std::string_view externalWriteHandleProcessStartedAt = "externalWriteHandleProcessStartedAt";
inline constexpr std::string_view externalWriteHandleProductName = "externalWriteHandleProductName";
inline constexpr std::string_view externalWriteHandleReportOnly = "externalWriteHandleReportOnly";
inline constexpr std::string_view externalWriteHandleSignatureIssuer = "externalWriteHandleSignatureIssuer";
inline constexpr std::string_view externalWriteHandleSignaturePublisher = "externalWriteHandleSignaturePublisher";
inline constexpr std::string_view externalWriteHandleSignatureStatus = "externalWriteHandleSignatureStatus";
inline constexpr std::string_view externalWriteHandleSignatureThumbprint = "externalWriteHandleSignatureThumbprint";
inline constexpr std::string_view externalWriteHandleSignatureTrustedMicrosoft = "externalWriteHandleSignatureTrustedMicrosoft";
inline constexpr std::string_view externalWriteHandleStatus = "externalWriteHandleStatus";
inline constexpr std::string_view externalWriteHandleSystemProcessCount = "externalWriteHandleSystemProcessCount";
inline constexpr std::string_view externalWriteHandleSystemProcessNames = "externalWriteHandleSystemProcessNames";
inline constexpr std::string_view externalWriteHandleToolCategory = "externalWriteHandleToolCategory";
inline constexpr std::string_view externalWriteHandleToolHashMatch = "externalWriteHandleToolHashMatch";
inline constexpr std::string_view externalWriteHandleToolNameOnlyMatch = "externalWriteHandleToolNameOnlyMatch";
inline constexpr std::string_view externalWriteHandleWindowTitle = "externalWriteHandleWindowTitle";
inline constexpr std::string_view externalWriteHandleWindowVisible = "externalWriteHandleWindowVisible";
inline constexpr std::string_view fuzzyCheatCodeMd5 = "fuzzyCheatCodeMd5";
inline constexpr std::string_view fuzzyCheatConfidence = "fuzzyCheatConfidence";
inline constexpr std::string_view fuzzyCheatDataMd5 = "fuzzyCheatDataMd5";
inline constexpr std::string_view fuzzyCheatFamily = "fuzzyCheatFamily";
inline constexpr std::string_view fuzzyCheatFeatures = "fuzzyCheatFeatures";
inline constexpr std::string_view fuzzyCheatImportMd5 = "fuzzyCheatImportMd5";
inline constexpr std::string_view fuzzyCheatProcessMatch = "fuzzyCheatProcessMatch";
inline constexpr std::string_view fuzzyCheatProcessName = "fuzzyCheatProcessName";
inline constexpr std::string_view fuzzyCheatProcessPath = "fuzzyCheatProcessPath";
inline constexpr std::string_view fuzzyCheatProcessSuspect = "fuzzyCheatProcessSuspect";
inline constexpr std::string_view fuzzyCheatRuleId = "fuzzyCheatRuleId";
inline constexpr std::string_view fuzzyCheatSectionLayout = "fuzzyCheatSectionLayout";
inline constexpr std::string_view knownCheatProcessHashMatch = "knownCheatProcessHashMatch";
inline constexpr std::string_view knownCheatProcessMd5 = "knownCheatProcessMd5";
inline constexpr std::string_view knownCheatProcessName = "knownCheatProcessName";
inline constexpr std::string_view knownCheatProcessNameOnlyMatch = "knownCheatProcessNameOnlyMatch";
inline constexpr std::string_view knownCheatProcessPath = "knownCheatProcessPath";
inline constexpr std::string_view manualMapReportOnly = "manualMapReportOnly";
inline constexpr std::string_view manualMapSuspected = "manualMapSuspected";
inline constexpr std::string_view memoryScanStatus = "memoryScanStatus";
inline constexpr std::string_view privateExecutableRegionCount = "privateExecutableRegionCount";
inline constexpr std::string_view privateExecutableRegionsJson = "privateExecutableRegionsJson";
inline constexpr std::string_view processFound = "processFound";
inline constexpr std::string_view renderHookScanStatus = "renderHookScanStatus";
inline constexpr std::string_view scanLevel = "scanLevel";
inline constexpr std::string_view suspicious = "suspicious";
inline constexpr std::string_view threadCount = "threadCount";
inline constexpr std::string_view threadCountSuspicious = "threadCountSuspicious";
inline constexpr std::string_view toolProcessCategory = "toolProcessCategory";
inline constexpr std::string_view toolProcessMatchStrength = "toolProcessMatchStrength";
inline constexpr std::string_view toolProcessName = "toolProcessName";
inline constexpr std::string_view toolProcessNameOnlyMatch = "toolProcessNameOnlyMatch";
inline constexpr std::string_view toolProcessPath = "toolProcessPath";
}  // namespace proc_key

// The 67 always-present keys of the process record and their defaults.
// `scanLevel` is seeded with the parsed level word by the inspection.
inline constexpr FieldDefault kProcessRecordSeed[] = {
    {proc_key::debuggerPresent, "0"},
    {proc_key::executablePath, ""},
    {proc_key::externalWriteHandleAccess, ""},
    {proc_key::externalWriteHandleCompanyName, ""},
    {proc_key::externalWriteHandleCount, "0"},
    {proc_key::externalWriteHandleDetected, "0"},
    {proc_key::externalWriteHandleFileVersion, ""},
    {proc_key::externalWriteHandleKnownBadHashMatch, "0"},
    {proc_key::externalWriteHandleOriginalFilename, ""},
    {proc_key::externalWriteHandleParentName, ""},
    {proc_key::externalWriteHandleParentPid, ""},
    {proc_key::externalWriteHandleProcessAccount, ""},
    {proc_key::externalWriteHandleProcessIntegrity, ""},
    {proc_key::externalWriteHandleProcessMd5, ""},
    {proc_key::externalWriteHandleProcessName, ""},
    {proc_key::externalWriteHandleProcessPath, ""},
    {proc_key::externalWriteHandleProcessPeTimestamp, ""},
    {proc_key::externalWriteHandleProcessPid, ""},
    {proc_key::externalWriteHandleProcessSize, ""},
    {proc_key::externalWriteHandleProcessStartedAt, ""},
    {proc_key::externalWriteHandleProductName, ""},
    {proc_key::externalWriteHandleReportOnly, "0"},
    {proc_key::externalWriteHandleSignatureIssuer, ""},
    {proc_key::externalWriteHandleSignaturePublisher, ""},
    {proc_key::externalWriteHandleSignatureStatus, ""},
    {proc_key::externalWriteHandleSignatureThumbprint, ""},
    {proc_key::externalWriteHandleSignatureTrustedMicrosoft, ""},
    {proc_key::externalWriteHandleStatus, word::not_run},
    {proc_key::externalWriteHandleSystemProcessCount, "0"},
    {proc_key::externalWriteHandleSystemProcessNames, ""},
    {proc_key::externalWriteHandleToolCategory, ""},
    {proc_key::externalWriteHandleToolHashMatch, "0"},
    {proc_key::externalWriteHandleToolNameOnlyMatch, "0"},
    {proc_key::externalWriteHandleWindowTitle, ""},
    {proc_key::externalWriteHandleWindowVisible, ""},
    {proc_key::fuzzyCheatCodeMd5, ""},
    {proc_key::fuzzyCheatConfidence, ""},
    {proc_key::fuzzyCheatDataMd5, ""},
    {proc_key::fuzzyCheatFamily, ""},
    {proc_key::fuzzyCheatFeatures, ""},
    {proc_key::fuzzyCheatImportMd5, ""},
    {proc_key::fuzzyCheatProcessMatch, "0"},
    {proc_key::fuzzyCheatProcessName, ""},
    {proc_key::fuzzyCheatProcessPath, ""},
    {proc_key::fuzzyCheatProcessSuspect, "0"},
    {proc_key::fuzzyCheatRuleId, ""},
    {proc_key::fuzzyCheatSectionLayout, ""},
    {proc_key::knownCheatProcessHashMatch, "0"},
    {proc_key::knownCheatProcessMd5, ""},
    {proc_key::knownCheatProcessName, ""},
    {proc_key::knownCheatProcessNameOnlyMatch, "0"},
    {proc_key::knownCheatProcessPath, ""},
    {proc_key::manualMapReportOnly, "0"},
    {proc_key::manualMapSuspected, "0"},
    {proc_key::memoryScanStatus, word::not_run},
    {proc_key::privateExecutableRegionCount, "0"},
    {proc_key::processFound, "0"},
    {proc_key::renderHookScanStatus, word::module_metadata_only},
    {proc_key::scanLevel, ""},
    {proc_key::suspicious, "0"},
    {proc_key::threadCount, "0"},
    {proc_key::threadCountSuspicious, "0"},
    {proc_key::toolProcessCategory, ""},
    {proc_key::toolProcessMatchStrength, ""},
    {proc_key::toolProcessName, ""},
    {proc_key::toolProcessNameOnlyMatch, "0"},
    {proc_key::toolProcessPath, ""},
};
static_assert(std::size(kProcessRecordSeed) == 67);

// ------------------------------------------------------------ inspect_process_modules
namespace mod_key {
inline constexpr std::string_view basename = "basename";
inline constexpr std::string_view blockedHashMatch = "blockedHashMatch";
inline constexpr std::string_view fuzzyCorpusCodeMd5 = "fuzzyCorpusCodeMd5";
inline constexpr std::string_view fuzzyCorpusConfidence = "fuzzyCorpusConfidence";
inline constexpr std::string_view fuzzyCorpusDataMd5 = "fuzzyCorpusDataMd5";
inline constexpr std::string_view fuzzyCorpusFamily = "fuzzyCorpusFamily";
inline constexpr std::string_view fuzzyCorpusFeatures = "fuzzyCorpusFeatures";
inline constexpr std::string_view fuzzyCorpusImportMd5 = "fuzzyCorpusImportMd5";
inline constexpr std::string_view fuzzyCorpusMatch = "fuzzyCorpusMatch";
inline constexpr std::string_view fuzzyCorpusRuleId = "fuzzyCorpusRuleId";
inline constexpr std::string_view fuzzyCorpusSectionLayout = "fuzzyCorpusSectionLayout";
inline constexpr std::string_view fuzzyCorpusSuspect = "fuzzyCorpusSuspect";
inline constexpr std::string_view hashReason = "hashReason";
inline constexpr std::string_view hashStatus = "hashStatus";
inline constexpr std::string_view issuer = "issuer";
inline constexpr std::string_view knownCheatHashMatch = "knownCheatHashMatch";
inline constexpr std::string_view lastWriteTime = "lastWriteTime";
inline constexpr std::string_view md5 = "md5";
inline constexpr std::string_view name = "name";
inline constexpr std::string_view origin = "origin";
inline constexpr std::string_view path = "path";
inline constexpr std::string_view peFingerprintStatus = "peFingerprintStatus";
inline constexpr std::string_view publisher = "publisher";
inline constexpr std::string_view reason = "reason";
inline constexpr std::string_view reportOnlyReasons = "reportOnlyReasons";
inline constexpr std::string_view scanLevel = "scanLevel";
inline constexpr std::string_view signatureSource = "signatureSource";
inline constexpr std::string_view signatureStatus = "signatureStatus";
inline constexpr std::string_view signerThumbprint = "signerThumbprint";
inline constexpr std::string_view size = "size";
inline constexpr std::string_view suspicious = "suspicious";
inline constexpr std::string_view suspiciousReasons = "suspiciousReasons";
inline constexpr std::string_view textHashStatus = "textHashStatus";
inline constexpr std::string_view textMd5 = "textMd5";
inline constexpr std::string_view trustedMicrosoft = "trustedMicrosoft";
}  // namespace mod_key

inline constexpr std::string_view kModuleRecordKeys[] = {
    mod_key::basename, mod_key::blockedHashMatch, mod_key::fuzzyCorpusCodeMd5,
    mod_key::fuzzyCorpusConfidence, mod_key::fuzzyCorpusDataMd5, mod_key::fuzzyCorpusFamily,
    mod_key::fuzzyCorpusFeatures, mod_key::fuzzyCorpusImportMd5, mod_key::fuzzyCorpusMatch,
    mod_key::fuzzyCorpusRuleId, mod_key::fuzzyCorpusSectionLayout, mod_key::fuzzyCorpusSuspect,
    mod_key::hashReason, mod_key::hashStatus, mod_key::issuer, mod_key::knownCheatHashMatch,
    mod_key::lastWriteTime, mod_key::md5, mod_key::name, mod_key::origin, mod_key::path,
    mod_key::peFingerprintStatus, mod_key::publisher, mod_key::reason, mod_key::reportOnlyReasons,
    mod_key::scanLevel, mod_key::signatureSource, mod_key::signatureStatus, mod_key::signerThumbprint,
    mod_key::size, mod_key::suspicious, mod_key::suspiciousReasons, mod_key::textHashStatus,
    mod_key::textMd5, mod_key::trustedMicrosoft,
};
static_assert(std::size(kModuleRecordKeys) == 35);

// ------------------------------------------------------------ detect_cheat_process
namespace cheat_key {
inline constexpr std::string_view detected = "detected";
inline constexpr std::string_view md5 = "md5";
inline constexpr std::string_view name = "name";
inline constexpr std::string_view path = "path";
}  // namespace cheat_key

inline constexpr FieldDefault kCheatProcessRecordSeed[] = {
    {cheat_key::detected, "0"}, {cheat_key::md5, ""}, {cheat_key::name, ""}, {cheat_key::path, ""}};

// ------------------------------------------------------------ region records
namespace region_key {
inline constexpr std::string_view baseAddress = "baseAddress";
inline constexpr std::string_view protect = "protect";
inline constexpr std::string_view protectRaw = "protectRaw";
inline constexpr std::string_view sampleBytes = "sampleBytes";
inline constexpr std::string_view sampleHex = "sampleHex";
inline constexpr std::string_view sampleStatus = "sampleStatus";
inline constexpr std::string_view size = "size";
inline constexpr std::string_view state = "state";
inline constexpr std::string_view type = "type";
}  // namespace region_key

// ------------------------------------------------------------ get_system_info
namespace info_key {
inline constexpr std::string_view displayRefreshHz = "displayRefreshHz";
inline constexpr std::string_view displayResolution = "displayResolution";
inline constexpr std::string_view gpuName = "gpuName";
inline constexpr std::string_view powerPlan = "powerPlan";
}  // namespace info_key

namespace word {
inline constexpr std::string_view power_ac = "ac";
inline constexpr std::string_view power_battery = "battery";
}  // namespace word

// ------------------------------------------------------------ the evidence tool
namespace evidence_key {
inline constexpr std::string_view fileType = "fileType";
inline constexpr std::string_view found = "found";
inline constexpr std::string_view lastWriteTime = "lastWriteTime";
inline constexpr std::string_view md5 = "md5";
inline constexpr std::string_view normalizedPath = "normalizedPath";
inline constexpr std::string_view origin = "origin";
inline constexpr std::string_view path = "path";
inline constexpr std::string_view peCodeMd5 = "peCodeMd5";
inline constexpr std::string_view peCodeSectionName = "peCodeSectionName";
inline constexpr std::string_view peDataMd5 = "peDataMd5";
inline constexpr std::string_view peEntryPoint = "peEntryPoint";
inline constexpr std::string_view peFileSize = "peFileSize";
inline constexpr std::string_view peImportMd5 = "peImportMd5";
inline constexpr std::string_view peMachine = "peMachine";
inline constexpr std::string_view peParsed = "peParsed";
inline constexpr std::string_view peSectionCount = "peSectionCount";
inline constexpr std::string_view peSectionLayout = "peSectionLayout";
inline constexpr std::string_view peStatus = "peStatus";
inline constexpr std::string_view signatureIssuer = "signatureIssuer";
inline constexpr std::string_view signaturePublisher = "signaturePublisher";
inline constexpr std::string_view signatureSource = "signatureSource";
inline constexpr std::string_view signatureStatus = "signatureStatus";
inline constexpr std::string_view signatureThumbprint = "signatureThumbprint";
inline constexpr std::string_view signatureTrustedMicrosoft = "signatureTrustedMicrosoft";
inline constexpr std::string_view size = "size";
inline constexpr std::string_view tableCheatList = "tableCheatList";
inline constexpr std::string_view tableCheatName = "tableCheatName";
inline constexpr std::string_view tableCorpusConfidence = "tableCorpusConfidence";
inline constexpr std::string_view tableCorpusFamily = "tableCorpusFamily";
inline constexpr std::string_view tableCorpusRuleId = "tableCorpusRuleId";
inline constexpr std::string_view tableCorpusStrong = "tableCorpusStrong";
inline constexpr std::string_view tableKnownBadHolderDigest = "tableKnownBadHolderDigest";
inline constexpr std::string_view tableKnownCheatDigest = "tableKnownCheatDigest";
inline constexpr std::string_view tableToolCategory = "tableToolCategory";
inline constexpr std::string_view tableWrapperName = "tableWrapperName";
}  // namespace evidence_key

namespace word {
// what a path named: only a regular file is read
inline constexpr std::string_view file_regular = "file";
inline constexpr std::string_view file_directory = "directory";
inline constexpr std::string_view file_missing = "missing";
inline constexpr std::string_view file_other = "other";
// which cheat-name list holds a name
inline constexpr std::string_view list_verdict = "verdict";
inline constexpr std::string_view list_inspection = "inspection";
}  // namespace word

// Every key of an evidence record; a path that is not a readable file keeps
// the rest at these defaults.
inline constexpr FieldDefault kEvidenceRecordSeed[] = {
    {evidence_key::fileType, word::file_missing},
    {evidence_key::found, "0"},
    {evidence_key::lastWriteTime, "0"},
    {evidence_key::md5, ""},
    {evidence_key::normalizedPath, ""},
    {evidence_key::origin, word::origin_unknown},
    {evidence_key::path, ""},
    {evidence_key::peCodeMd5, ""},
    {evidence_key::peCodeSectionName, ""},
    {evidence_key::peDataMd5, ""},
    {evidence_key::peEntryPoint, "0x0"},
    {evidence_key::peFileSize, "0"},
    {evidence_key::peImportMd5, ""},
    {evidence_key::peMachine, "0x0"},
    {evidence_key::peParsed, "0"},
    {evidence_key::peSectionCount, "0"},
    {evidence_key::peSectionLayout, ""},
    {evidence_key::peStatus, word::pe_not_parsed},
    {evidence_key::signatureIssuer, ""},
    {evidence_key::signaturePublisher, ""},
    {evidence_key::signatureSource, ""},
    {evidence_key::signatureStatus, ""},
    {evidence_key::signatureThumbprint, ""},
    {evidence_key::signatureTrustedMicrosoft, "0"},
    {evidence_key::size, "0"},
    {evidence_key::tableCheatList, ""},
    {evidence_key::tableCheatName, ""},
    {evidence_key::tableCorpusConfidence, ""},
    {evidence_key::tableCorpusFamily, ""},
    {evidence_key::tableCorpusRuleId, ""},
    {evidence_key::tableCorpusStrong, "0"},
    {evidence_key::tableKnownBadHolderDigest, "0"},
    {evidence_key::tableKnownCheatDigest, "0"},
    {evidence_key::tableToolCategory, ""},
    {evidence_key::tableWrapperName, ""},
};

}  // namespace ac
