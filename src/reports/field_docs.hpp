// What every report key and word means, beside the constants of fields.hpp:
// docs/reference.md is printed from these tables (tools/reference.cpp), which
// refuses to print while a key of a record or a word of fields.hpp has no
// entry here.
#pragma once

#include <span>
#include <string_view>

#include "reports/fields.hpp"

namespace ac::docs {

// How a key takes part in a record's `suspicious`.
enum class Role {
    fact,         // describes; judges nothing
    verdict,      // a "1" here sets the record's `suspicious`
    report_only,  // a finding the caller may act on; never sets `suspicious`
};

struct KeyDoc {
    std::string_view key;
    std::string_view form;   // value form, see kForms
    std::string_view level;  // scan levels that write it: "all", "medium", "heavy", or a condition
    Role role;
    std::string_view meaning;
};

struct FormDoc {
    std::string_view form;
    std::string_view meaning;
};

inline constexpr FormDoc kForms[] = {
    {"flag", "\"1\" or \"0\". A non-empty text, so `if value:` is always true: compare with \"1\""},
    {"text", "free text from the system or a file, repaired to valid UTF-8; empty when unknown"},
    {"path", "a path as the system gives it (Windows: ANSI code page), repaired to UTF-8; empty when unknown"},
    {"decimal", "decimal digits, \"-\" before a negative number; empty where the step did not run"},
    {"code", "\"0x\" and uppercase hexadecimal digits without leading zeros (access masks, NT status codes)"},
    {"address", "\"0x\" and lowercase hexadecimal digits without leading zeros"},
    {"md5", "32 lowercase hexadecimal digits; empty when no digest is available"},
    {"word", "one lowercase status or class word (tables below)"},
    {"list", "words joined with \",\" and no spaces; empty for none"},
    {"json", "compact JSON array of flat records of text values"},
    {"time", "UTC time point YYYY-MM-DDThh:mm:ssZ"},
    {"filetime", "decimal count of 100-nanosecond intervals since 1601-01-01 UTC"},
};

// ------------------------------------------------------------ inspect_process
inline constexpr KeyDoc kProcessKeyDocs[] = {
    {proc_key::blockedNameHashMatch, "flag", "medium", Role::verdict,
     "not seeded: \"1\" and present only when a process image matched a known-cheat digest"},
    {proc_key::blockedNameHashMatchHash, "md5", "medium", Role::fact,
     "not seeded: the matching digest, with `blockedNameHashMatch`"},
    {proc_key::blockedNameHashMatchName, "text", "medium", Role::fact,
     "not seeded: the matching process's executable name, with `blockedNameHashMatch`"},
    {proc_key::debuggerPresent, "flag", "medium", Role::verdict, "a debugger is attached to the target; \"0\" at cheap"},
    {proc_key::executablePath, "path", "all", Role::fact, "full path of the target's executable"},
    {proc_key::externalWriteHandleAccess, "code", "heavy", Role::fact,
     "granted access mask of the first counted write handle"},
    {proc_key::externalWriteHandleCompanyName, "text", "heavy", Role::fact,
     "version string CompanyName of the holder's image"},
    {proc_key::externalWriteHandleCount, "decimal", "heavy", Role::report_only,
     "number of write handles to the target held by processes that are not system processes"},
    {proc_key::externalWriteHandleDetected, "flag", "heavy", Role::report_only,
     "\"1\" when `externalWriteHandleCount` is 1 or more"},
    {proc_key::externalWriteHandleFileVersion, "text", "heavy", Role::fact,
     "version string FileVersion of the holder's image"},
    {proc_key::externalWriteHandleKnownBadHashMatch, "flag", "heavy", Role::report_only,
     "the holder's image matches a known-cheat or known-bad holder digest"},
    {proc_key::externalWriteHandleNtStatus, "code", "heavy", Role::fact,
     "not seeded: status code of the failed system handle query, with status \"query_failed\" only"},
    {proc_key::externalWriteHandleOriginalFilename, "text", "heavy", Role::fact,
     "version string OriginalFilename of the holder's image"},
    {proc_key::externalWriteHandleParentName, "text", "heavy", Role::fact, "base name of the holder's parent image"},
    {proc_key::externalWriteHandleParentPid, "decimal", "heavy", Role::fact, "the holder's parent process identifier"},
    {proc_key::externalWriteHandleProcessAccount, "text", "heavy", Role::fact,
     "the holder's token user as domain\\user"},
    {proc_key::externalWriteHandleProcessIntegrity, "word", "heavy", Role::fact,
     "the holder's integrity level: low, medium, high or system"},
    {proc_key::externalWriteHandleProcessMd5, "md5", "heavy", Role::fact, "digest of the holder's image file"},
    {proc_key::externalWriteHandleProcessName, "text", "heavy", Role::fact,
     "the holder's executable name (first foreign holder of a write handle)"},
    {proc_key::externalWriteHandleProcessPath, "path", "heavy", Role::fact, "the holder's image path"},
    {proc_key::externalWriteHandleProcessPeTimestamp, "decimal", "heavy", Role::fact,
     "COFF time stamp of the holder's image"},
    {proc_key::externalWriteHandleProcessPid, "decimal", "heavy", Role::fact, "the holder's process identifier"},
    {proc_key::externalWriteHandleProcessSize, "decimal", "heavy", Role::fact, "size of the holder's image in bytes"},
    {proc_key::externalWriteHandleProcessStartedAt, "time", "heavy", Role::fact, "the holder's creation time"},
    {proc_key::externalWriteHandleProductName, "text", "heavy", Role::fact,
     "version string ProductName of the holder's image"},
    {proc_key::externalWriteHandleReportOnly, "flag", "heavy", Role::report_only,
     "\"1\" when the write-handle scan counted 1 or more handles"},
    {proc_key::externalWriteHandleSignatureIssuer, "text", "heavy", Role::fact, "signer issuer of the holder's image"},
    {proc_key::externalWriteHandleSignaturePublisher, "text", "heavy", Role::fact,
     "signer subject of the holder's image"},
    {proc_key::externalWriteHandleSignatureStatus, "word", "heavy", Role::fact,
     "signature status of the holder's image (signature words)"},
    {proc_key::externalWriteHandleSignatureThumbprint, "text", "heavy", Role::fact,
     "SHA-1 thumbprint of the holder's signer certificate, 40 lowercase hexadecimal digits"},
    {proc_key::externalWriteHandleSignatureTrustedMicrosoft, "flag", "heavy", Role::fact,
     "the holder's image is validly signed by Microsoft; empty when its file was not found"},
    {proc_key::externalWriteHandleStatus, "word", "all", Role::fact, "outcome of the write-handle scan (words below)"},
    {proc_key::externalWriteHandleSystemProcessCount, "decimal", "heavy", Role::fact,
     "number of write handles held by system processes (not counted)"},
    {proc_key::externalWriteHandleSystemProcessNames, "list", "heavy", Role::fact, "names of those system holders"},
    {proc_key::externalWriteHandleToolCategory, "word", "heavy", Role::report_only,
     "tool table category of the holder's name"},
    {proc_key::externalWriteHandleToolHashMatch, "flag", "heavy", Role::report_only,
     "always equal to `externalWriteHandleKnownBadHashMatch`"},
    {proc_key::externalWriteHandleToolNameOnlyMatch, "flag", "heavy", Role::report_only,
     "the holder's name is in the tool table"},
    {proc_key::externalWriteHandleWindowTitle, "text", "heavy", Role::fact, "title of the holder's top-level window"},
    {proc_key::externalWriteHandleWindowVisible, "flag", "heavy", Role::fact,
     "that window is visible; \"0\" when none was found"},
    {proc_key::fuzzyCheatCodeMd5, "md5", "medium", Role::fact, "code section digest of the corpus-matched image"},
    {proc_key::fuzzyCheatConfidence, "word", "medium", Role::fact, "confidence of the corpus match: high, medium, low"},
    {proc_key::fuzzyCheatDataMd5, "md5", "medium", Role::fact, "data section digest of the corpus-matched image"},
    {proc_key::fuzzyCheatFamily, "text", "medium", Role::fact, "family of the matching corpus rule"},
    {proc_key::fuzzyCheatFeatures, "list", "medium", Role::fact, "the digests or layout features that matched"},
    {proc_key::fuzzyCheatImportMd5, "md5", "medium", Role::fact, "import digest of the corpus-matched image"},
    {proc_key::fuzzyCheatProcessMatch, "flag", "medium", Role::verdict,
     "a running program strongly matches a known cheat build of the fuzzy corpus"},
    {proc_key::fuzzyCheatProcessName, "text", "medium", Role::fact, "executable name of the corpus-matched process"},
    {proc_key::fuzzyCheatProcessPath, "path", "medium", Role::fact, "image path of the corpus-matched process"},
    {proc_key::fuzzyCheatProcessSuspect, "flag", "medium", Role::report_only,
     "a running program resembles the corpus without a strong match (packer layouts)"},
    {proc_key::fuzzyCheatRuleId, "text", "medium", Role::fact, "id of the matching corpus rule"},
    {proc_key::fuzzyCheatSectionLayout, "text", "medium", Role::fact,
     "section layout of the corpus-matched image: name:VirtualSize:SizeOfRawData:flags items joined with \";\""},
    {proc_key::knownCheatProcessHashMatch, "flag", "medium", Role::verdict,
     "a running program's image matches a known-cheat digest"},
    {proc_key::knownCheatProcessMd5, "md5", "medium", Role::fact, "that digest"},
    {proc_key::knownCheatProcessName, "text", "medium", Role::fact,
     "executable name of the flagged process (name flag or digest match)"},
    {proc_key::knownCheatProcessNameOnlyMatch, "flag", "medium", Role::report_only,
     "a running program has a cheat or tool name, but no digest or strong corpus match"},
    {proc_key::knownCheatProcessPath, "path", "medium", Role::fact, "image path of the flagged process"},
    {proc_key::manualMapReportOnly, "flag", "heavy", Role::report_only,
     "equal to `manualMapSuspected` when the memory section ran"},
    {proc_key::manualMapSuspected, "flag", "heavy", Role::report_only,
     "executable memory outside every loaded image looks like manually mapped code"},
    {proc_key::memoryScanStatus, "word", "all", Role::fact, "outcome of the memory walk: ok, access_denied, not_run_*"},
    {proc_key::privateExecutableRegionCount, "decimal", "heavy", Role::fact,
     "regions the manual-map check counted; empty when the memory section did not run"},
    {proc_key::privateExecutableRegionsJson, "json", "heavy", Role::fact,
     "not seeded: up to 3 region records (below), only when `manualMapSuspected` is \"1\""},
    {proc_key::processFound, "flag", "all", Role::fact, "the target could be opened and is still running"},
    {proc_key::renderHookScanStatus, "word", "all", Role::fact, "always \"module_metadata_only\": no render-hook scan runs"},
    {proc_key::scanLevel, "word", "all", Role::fact, "the level that ran: cheap, medium or heavy"},
    {proc_key::suspicious, "flag", "all", Role::fact, "\"1\" when any verdict key of this record is \"1\" (list below)"},
    {proc_key::threadCount, "decimal", "all", Role::fact, "threads of the target in the system's thread snapshot"},
    {proc_key::threadCountSuspicious, "flag", "all", Role::verdict, "the thread-count check judged the count suspicious"},
    {proc_key::toolProcessCategory, "word", "medium", Role::fact,
     "tool table category of the flagged process, \"cheat-tool\" when the table has none"},
    {proc_key::toolProcessMatchStrength, "word", "medium", Role::fact, "what flagged the process: name, hash or fuzzy"},
    {proc_key::toolProcessName, "text", "never", Role::fact, "never written: stays empty"},
    {proc_key::toolProcessNameOnlyMatch, "flag", "never", Role::fact, "never written: stays \"0\""},
    {proc_key::toolProcessPath, "path", "never", Role::fact, "never written: stays empty"},
};

// ------------------------------------------------------------ inspect_process_modules
inline constexpr KeyDoc kModuleKeyDocs[] = {
    {mod_key::basename, "text", "all", Role::fact, "the module's file name"},
    {mod_key::blockedHashMatch, "flag", "medium", Role::verdict, "always equal to `knownCheatHashMatch`"},
    {mod_key::fuzzyCorpusCodeMd5, "md5", "medium", Role::fact, "code section digest of the module's file"},
    {mod_key::fuzzyCorpusConfidence, "word", "medium", Role::fact, "confidence of a corpus match: high, medium, low"},
    {mod_key::fuzzyCorpusDataMd5, "md5", "medium", Role::fact, "data section digest of the module's file"},
    {mod_key::fuzzyCorpusFamily, "text", "medium", Role::fact, "family of the matching corpus rule"},
    {mod_key::fuzzyCorpusFeatures, "list", "medium", Role::fact, "the digests or layout features that matched"},
    {mod_key::fuzzyCorpusImportMd5, "md5", "medium", Role::fact, "import digest of the module's file"},
    {mod_key::fuzzyCorpusMatch, "flag", "medium", Role::verdict, "strong match with a known cheat build of the corpus"},
    {mod_key::fuzzyCorpusRuleId, "text", "medium", Role::fact, "id of the matching corpus rule"},
    {mod_key::fuzzyCorpusSectionLayout, "text", "medium", Role::fact, "section layout text of the module's file"},
    {mod_key::fuzzyCorpusSuspect, "flag", "medium", Role::report_only, "corpus match that is not strong"},
    {mod_key::hashReason, "list", "all", Role::fact, "why the module is a hashing candidate (hash-reason words)"},
    {mod_key::hashStatus, "word", "all", Role::fact, "whether its file was digested (hash status words)"},
    {mod_key::issuer, "text", "medium", Role::fact, "signer certificate issuer"},
    {mod_key::knownCheatHashMatch, "flag", "medium", Role::verdict, "the file's digest is a known-cheat digest"},
    {mod_key::lastWriteTime, "filetime", "all", Role::fact, "last write time of the file; empty when not found"},
    {mod_key::md5, "md5", "medium", Role::fact, "digest of the module's file, for hashing candidates"},
    {mod_key::name, "text", "all", Role::fact, "the same text as `basename`"},
    {mod_key::origin, "word", "all", Role::fact, "class of the file's location (origin words)"},
    {mod_key::path, "path", "all", Role::fact, "full path of the module's file"},
    {mod_key::peFingerprintStatus, "word", "medium", Role::fact, "PE reader outcome (PE status words)"},
    {mod_key::publisher, "text", "medium", Role::fact, "signer certificate subject"},
    {mod_key::reason, "list", "all", Role::fact, "the same text as `suspiciousReasons`"},
    {mod_key::reportOnlyReasons, "list", "all", Role::report_only, "report-only reason words"},
    {mod_key::scanLevel, "word", "all", Role::fact, "the level that ran"},
    {mod_key::signatureSource, "word", "medium", Role::fact, "where the signature came from (signature source words)"},
    {mod_key::signatureStatus, "word", "all", Role::fact, "signature status, or not_checked / not_checked_scan_level"},
    {mod_key::signerThumbprint, "text", "medium", Role::fact, "SHA-1 of the signer certificate, 40 hex digits"},
    {mod_key::size, "decimal", "all", Role::fact, "file size in bytes; empty when not found"},
    {mod_key::suspicious, "flag", "all", Role::fact, "\"1\" when `suspiciousReasons` is not empty"},
    {mod_key::suspiciousReasons, "list", "all", Role::verdict, "suspicious reason words; any word sets `suspicious`"},
    {mod_key::textHashStatus, "word", "all", Role::fact, "whether the in-memory code section was digested"},
    {mod_key::textMd5, "md5", "heavy", Role::fact,
     "digest of the loaded .text section, for game-directory and wrapper modules"},
    {mod_key::trustedMicrosoft, "flag", "medium", Role::fact, "the file is validly signed by Microsoft"},
};

// ------------------------------------------------------------ detect_cheat_process
inline constexpr KeyDoc kCheatKeyDocs[] = {
    {cheat_key::detected, "flag", "-", Role::fact,
     "the verdict: a process with a name on the quick verdict's list runs"},
    {cheat_key::md5, "md5", "-", Role::fact, "digest of its image file, empty when unreadable"},
    {cheat_key::name, "text", "-", Role::fact, "its executable name as the process snapshot lists it"},
    {cheat_key::path, "path", "-", Role::fact, "its image path"},
};

// ------------------------------------------------------------ get_system_info
inline constexpr KeyDoc kInfoKeyDocs[] = {
    {info_key::displayRefreshHz, "decimal", "-", Role::fact,
     "not seeded: refresh rate of the current display mode, when above 1"},
    {info_key::displayResolution, "text", "-", Role::fact, "not seeded: WIDTHxHEIGHT of the current display mode"},
    {info_key::gpuName, "text", "-", Role::fact, "not seeded: description of the first display device"},
    {info_key::powerPlan, "word", "-", Role::fact, "not seeded: \"ac\" on mains power, \"battery\" on battery"},
};

// ------------------------------------------------------------ privateExecutableRegionsJson
inline constexpr KeyDoc kRegionKeyDocs[] = {
    {region_key::baseAddress, "address", "-", Role::fact, "base address of the region"},
    {region_key::protect, "text", "-", Role::fact,
     "protection word without modifier bits: NOACCESS, READONLY, READWRITE, WRITECOPY, EXECUTE, EXECUTE_READ, "
     "EXECUTE_READWRITE, EXECUTE_WRITECOPY or UNKNOWN"},
    {region_key::protectRaw, "decimal", "-", Role::fact, "protection value with modifier bits"},
    {region_key::sampleBytes, "decimal", "-", Role::fact, "bytes read from the region's start (at most 512 KiB)"},
    {region_key::sampleHex, "text", "-", Role::fact, "those bytes as lowercase hexadecimal"},
    {region_key::sampleStatus, "word", "-", Role::fact, "\"read_failed\" instead of the two sample keys"},
    {region_key::size, "decimal", "-", Role::fact, "region size in bytes"},
    {region_key::state, "decimal", "-", Role::fact, "region state value (4096 = committed)"},
    {region_key::type, "text", "-", Role::fact, "MEM_PRIVATE, MEM_MAPPED, MEM_IMAGE or UNKNOWN"},
};

// ------------------------------------------------------------ the evidence tool
inline constexpr KeyDoc kEvidenceKeyDocs[] = {
    {evidence_key::fileType, "word", "-", Role::fact, "what the path names: file, directory, missing, other"},
    {evidence_key::found, "flag", "-", Role::fact, "a regular file whose attributes were read"},
    {evidence_key::lastWriteTime, "filetime", "-", Role::fact, "last write time"},
    {evidence_key::md5, "md5", "-", Role::fact, "file digest"},
    {evidence_key::normalizedPath, "text", "-", Role::fact, "\"/\" turned into \"\\\" and lowercased: the cache key"},
    {evidence_key::origin, "word", "-", Role::fact, "origin class against --game-dir"},
    {evidence_key::path, "path", "-", Role::fact, "the path as given"},
    {evidence_key::peCodeMd5, "md5", "-", Role::fact, "code section digest (fuzzy corpus code_md5)"},
    {evidence_key::peCodeSectionName, "text", "-", Role::fact, "name of the code section"},
    {evidence_key::peDataMd5, "md5", "-", Role::fact, "data section digest (fuzzy corpus data_md5)"},
    {evidence_key::peEntryPoint, "code", "-", Role::fact, "AddressOfEntryPoint"},
    {evidence_key::peFileSize, "decimal", "-", Role::fact, "bytes the PE reader saw"},
    {evidence_key::peImportMd5, "md5", "-", Role::fact, "import digest (fuzzy corpus import_md5)"},
    {evidence_key::peMachine, "code", "-", Role::fact, "COFF machine"},
    {evidence_key::peParsed, "flag", "-", Role::fact, "peStatus is \"parsed\""},
    {evidence_key::peSectionCount, "decimal", "-", Role::fact, "NumberOfSections"},
    {evidence_key::peSectionLayout, "text", "-", Role::fact, "section layout text"},
    {evidence_key::peStatus, "word", "-", Role::fact, "PE status word"},
    {evidence_key::signatureIssuer, "text", "-", Role::fact, "signer issuer"},
    {evidence_key::signaturePublisher, "text", "-", Role::fact, "signer subject"},
    {evidence_key::signatureSource, "word", "-", Role::fact, "signature source word"},
    {evidence_key::signatureStatus, "word", "-", Role::fact, "signature status word; empty for a non-file"},
    {evidence_key::signatureThumbprint, "text", "-", Role::fact, "signer SHA-1 thumbprint"},
    {evidence_key::signatureTrustedMicrosoft, "flag", "-", Role::fact, "validly signed by Microsoft"},
    {evidence_key::size, "decimal", "-", Role::fact, "file size"},
    {evidence_key::tableCheatList, "word", "-", Role::fact, "list holding `tableCheatName`: verdict or inspection"},
    {evidence_key::tableCheatName, "text", "-", Role::fact, "the lowercased file name, when a cheat program list has it"},
    {evidence_key::tableCorpusConfidence, "word", "-", Role::fact, "confidence of the corpus match"},
    {evidence_key::tableCorpusFamily, "text", "-", Role::fact, "family of the matching corpus rule"},
    {evidence_key::tableCorpusRuleId, "text", "-", Role::fact, "id of the matching corpus rule"},
    {evidence_key::tableCorpusStrong, "flag", "-", Role::fact, "the corpus match is strong"},
    {evidence_key::tableKnownBadHolderDigest, "flag", "-", Role::fact,
     "digest is known bad for a write-handle holder (either digest table)"},
    {evidence_key::tableKnownCheatDigest, "flag", "-", Role::fact, "digest is in known_cheat_digests.tsv"},
    {evidence_key::tableToolCategory, "word", "-", Role::fact, "category of the file name in tool_processes.tsv"},
    {evidence_key::tableWrapperName, "text", "-", Role::fact, "the lowercased file name, when graphics_wrappers.tsv has it"},
};

// ------------------------------------------------------------ words
struct WordDoc {
    std::string_view word;
    std::string_view when;
};

struct WordGroup {
    std::string_view title;  // where the words appear
    std::span<const WordDoc> words;
};

inline constexpr WordDoc kLevelWords[] = {
    {word::cheap, "process facts and the thread-count check; modules get names, file attributes, origins and reasons, "
                  "no file content is read"},
    {word::medium, "the default, and what any unknown level text means: adds digests, fingerprints, signatures, "
                   "the debugger check and the cheat-process scan"},
    {word::heavy, "adds the memory walk, the write-handle scan, in-memory code digests and the sweep of unnamed "
                  "processes' images"},
};

inline constexpr WordDoc kMemoryScanWords[] = {
    {word::not_run, "seeded; also the record of a pid of 0 or below"},
    {word::not_run_scan_level, "cheap and medium: the memory section does not run"},
    {word::access_denied, "heavy: the target could not be opened for query and memory read"},
    {word::ok, "heavy: the memory walk ran"},
    {word::module_metadata_only, "`renderHookScanStatus`, always"},
};

inline constexpr WordDoc kWriteHandleWords[] = {
    {word::invalid_pid, "the target identifier is 0 or negative"},
    {word::ntdll_unavailable, "ntdll.dll is not loaded in the process"},
    {word::api_unavailable, "NtQuerySystemInformation cannot be found"},
    {word::target_access_denied, "the target cannot be opened for limited query"},
    {word::query_failed, "the system handle query failed; `externalWriteHandleNtStatus` holds its status"},
    {word::target_object_unavailable, "the target cannot be identified among the system's handles"},
    {word::partial, "the scan completed, but some holders that are not system processes could not be checked "
                    "(not openable with PROCESS_DUP_HANDLE, or past the per-call bound); the count, detected, "
                    "system and holder fields are written as with \"ok\" from the handles that were checked"},
};

inline constexpr WordDoc kIntegrityWords[] = {
    {word::integrity_low, "`externalWriteHandleProcessIntegrity`: below medium"},
    {word::integrity_medium, "an ordinary user process (Linux: any uid but 0)"},
    {word::integrity_high, "an elevated process"},
    {word::integrity_system, "a system process (Linux: uid 0)"},
};

inline constexpr WordDoc kCheatScanWords[] = {
    {word::cheat_tool, "`toolProcessCategory` of a flagged process the tool table has no category for"},
    {word::strength_name, "`toolProcessMatchStrength`: flagged by its name only (report-only)"},
    {word::strength_hash, "`toolProcessMatchStrength`: its image matched a known-cheat digest"},
    {word::strength_fuzzy, "`toolProcessMatchStrength`: its image strongly matched the fuzzy corpus"},
    {word::confidence_high, "corpus confidence of a strong known-build match"},
    {word::confidence_medium, "corpus confidence of a known build matched by imports alone, or of a protector layout"},
    {word::confidence_low, "corpus confidence of a compressing packer layout"},
    {word::feature_writable_code, "corpus feature: a section both executable and writable"},
    {word::feature_no_import_table, "corpus feature: the image has no import digest"},
};

inline constexpr WordDoc kModuleStatusWords[] = {
    {word::hashed, "`hashStatus`/`textHashStatus`: the digest was taken"},
    {word::hash_error, "`hashStatus`: a candidate whose file could not be digested"},
    {word::not_hashed_scan_level, "`hashStatus`: a candidate at cheap"},
    {word::not_hashed_too_large, "`hashStatus`: a candidate larger than 512 MiB, the most one scan digests per file"},
    {word::not_hashed_policy, "`hashStatus`: not a candidate (a system or Windows directory file, no reason)"},
    {word::not_checked, "`signatureStatus`/`textHashStatus`: not a candidate for that step"},
    {word::not_checked_scan_level, "`signatureStatus` at cheap, `textHashStatus` below heavy"},
    {word::unavailable, "`textHashStatus`: the loaded code section could not be read"},
};

inline constexpr WordDoc kReasonWords[] = {
    {word::reason_game_dir, "hash reason: the module lies in the game directory"},
    {word::reason_wrapper_module, "hash reason: a graphics or input wrapper name"},
    {word::reason_user_writable_path, "hash reason (origin user_writable) and suspicious (path in a user-writable "
                                      "location)"},
    {word::reason_non_system_origin, "hash reason: origin \"other\""},
    {word::reason_unexpected_wrapper, "suspicious: a wrapper name loaded from the game directory"},
    {word::reason_known_cheat_hash, "report-only and suspicious: known-cheat digest"},
    {word::reason_fuzzy_match, "report-only and suspicious: strong fuzzy corpus match"},
    {word::reason_fuzzy_suspect, "report-only: corpus match that is not strong"},
    {word::reason_wrapper_non_system, "report-only: a wrapper name from neither a system directory nor the game"},
    {word::reason_system_wrapper_untrusted, "report-only and suspicious: a wrapper in a system directory whose "
                                            "signature is not from an accepted signer (medium and heavy)"},
};

inline constexpr WordDoc kOriginWords[] = {
    {word::origin_unknown, "the path is empty"},
    {word::origin_game_dir, "the path begins with the game directory"},
    {word::origin_user_writable, "the path contains a user-writable fragment (temp, downloads, app data, ...)"},
    {word::origin_system32, "the path begins with the system directory"},
    {word::origin_windows, "the path begins with the Windows directory"},
    {word::origin_program_files, "the path contains a program-files fragment"},
    {word::origin_other, "none of the above"},
};

inline constexpr WordDoc kPeWords[] = {
    {word::pe_not_parsed, "the reader was not run"},
    {word::pe_open_error, "the file could not be opened, or a read failed or ended early"},
    {word::pe_too_large, "the sections to digest exceed 512 MiB; headers and layout are filled, the digests are not"},
    {word::pe_not_pe, "fewer than 64 bytes, or no \"MZ\" (every ELF file on Linux)"},
    {word::pe_bad_pe_header, "the PE header lies beyond the file or lacks its signature"},
    {word::pe_bad_optional_header, "the optional header runs past the file"},
    {word::pe_unsupported_optional_header, "neither PE32 nor PE32+"},
    {word::pe_bad_section_table, "the section table runs past the file"},
    {word::pe_parsed, "headers and section table read; digests filled as far as the file allows"},
};

inline constexpr WordDoc kSignatureWords[] = {
    {word::sig_unavailable, "no verification was made (always on Linux)"},
    {word::sig_valid, "the embedded signature or a catalog verified"},
    {word::sig_unsigned, "no signature and no catalog"},
    {word::sig_invalid, "any other trust failure"},
    {word::source_none, "`signatureSource`: nothing known about a signer"},
    {word::source_embedded, "`signatureSource`: the embedded signature"},
    {word::source_catalog, "`signatureSource`: a catalog, default algorithm (also catalog:SHA256, catalog:SHA1)"},
    {word::source_catalog_legacy, "`signatureSource`: a catalog through the older interface"},
};

inline constexpr WordDoc kRegionWords[] = {
    {word::read_failed, "`sampleStatus`: the region's first bytes could not be read"},
    {word::unknown_upper, "`protect`/`type`: a value outside the known set"},
};

inline constexpr WordDoc kInfoWords[] = {
    {word::power_ac, "`powerPlan`: mains power"},
    {word::power_battery, "`powerPlan`: battery"},
};

inline constexpr WordDoc kEvidenceWords[] = {
    {word::file_regular, "`fileType`: a regular file, described in full"},
    {word::file_directory, "`fileType`: a directory named without -r"},
    {word::file_missing, "`fileType`: nothing at the path"},
    {word::file_other, "`fileType`: a device, FIFO or socket, never opened"},
    {word::list_verdict, "`tableCheatList`: the quick verdict's list (and the inspection's)"},
    {word::list_inspection, "`tableCheatList`: the inspection's own additions"},
    {word::flag_true, "every flag: true"},
    {word::flag_false, "every flag: false"},
};

inline constexpr WordGroup kWordGroups[] = {
    {"Scan levels (`scanLevel`, the `scan_level` argument)", kLevelWords},
    {"`memoryScanStatus`, `renderHookScanStatus`, and the first words of `externalWriteHandleStatus`",
     kMemoryScanWords},
    {"`externalWriteHandleStatus` failures (the count, holder and system fields keep their defaults)",
     kWriteHandleWords},
    {"Integrity levels", kIntegrityWords},
    {"Cheat-process scan and fuzzy corpus", kCheatScanWords},
    {"Module inspection statuses", kModuleStatusWords},
    {"Module reason words (`hashReason`, `suspiciousReasons`, `reportOnlyReasons`)", kReasonWords},
    {"Origins (`origin`)", kOriginWords},
    {"PE fingerprint statuses (`peFingerprintStatus`, `peStatus`)", kPeWords},
    {"Signature statuses and sources", kSignatureWords},
    {"Region records", kRegionWords},
    {"System info", kInfoWords},
    {"Evidence tool and flags", kEvidenceWords},
};

}  // namespace ac::docs
