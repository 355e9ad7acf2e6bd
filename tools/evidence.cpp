// evidence: describes files the way the inspections see them.
//
//   evidence [--game-dir DIR] FILE...
//
// Prints one compact JSON object per file and line: the path as given and
// normalised, its origin, file facts, MD5, PE fingerprint and signature. All
// values are texts in the report value forms (flags "1"/"0", decimal numbers,
// "0x" codes). Exit status: 0 when every file was found, 1 when some were
// not, 2 on a usage error.
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "evidence/digest.hpp"
#include "evidence/origin.hpp"
#include "evidence/pe_fingerprint.hpp"
#include "evidence/signature.hpp"
#include "evidence/text.hpp"
#include "reports/record.hpp"

namespace {

constexpr const char* kUsage =
    "usage: evidence [--game-dir DIR] FILE...\n"
    "  One JSON object per FILE and line: path, normalizedPath, origin, found, size,\n"
    "  lastWriteTime, md5, pe* (PE fingerprint) and signature* fields.\n"
    "  --game-dir DIR  the game directory used for the origin (default: none)\n";

ac::ReportRecord describe(std::string_view path, std::string_view game_dir) {
    using std::to_string;
    ac::ReportRecord r;
    std::string normalized = ac::normalize_path(path);
    ac::FileFacts facts = ac::get_file_facts(path);
    ac::PeFingerprint pe = ac::pe_fingerprint(path, facts);
    ac::SignatureInfo sig = ac::signature_info(path, facts);

    r["path"] = std::string(path);
    r["normalizedPath"] = normalized;
    r["origin"] = ac::classify_origin(normalized, ac::normalize_path(game_dir));
    r["found"] = ac::flag_text(facts.found);
    r["size"] = to_string(facts.size);
    r["lastWriteTime"] = to_string(facts.lastWriteTime);
    r["md5"] = ac::file_md5(path, facts);
    r["peParsed"] = ac::flag_text(pe.parsed);
    r["peStatus"] = pe.status;
    r["peMachine"] = ac::hex_u32(pe.machine);
    r["peEntryPoint"] = ac::hex_u32(pe.entryPoint);
    r["peSectionCount"] = to_string(pe.sectionCount);
    r["peFileSize"] = to_string(pe.fileSize);
    r["peSectionLayout"] = pe.sectionLayout;
    r["peCodeSectionName"] = pe.codeSectionName;
    r["peCodeMd5"] = pe.codeMd5;
    r["peDataMd5"] = pe.dataMd5;
    r["peImportMd5"] = pe.importMd5;
    r["signatureStatus"] = sig.status;
    r["signatureSource"] = sig.source;
    r["signaturePublisher"] = sig.publisher;
    r["signatureIssuer"] = sig.issuer;
    r["signatureThumbprint"] = sig.signerThumbprint;
    r["signatureTrustedMicrosoft"] = ac::flag_text(sig.trustedMicrosoft);
    // Paths and section names are system code page bytes; JSON wants UTF-8.
    ac::repair_utf8_values(r);
    return r;
}

std::string json_line(const ac::ReportRecord& record) {
    std::string out = "{";
    for (const auto& [key, value] : record) {
        if (out.size() > 1) out += ',';
        out += '"' + ac::json_escape(key) + "\":\"" + ac::json_escape(value) + '"';
    }
    return out + "}\n";
}

}  // namespace

int main(int argc, char** argv) {
    std::string game_dir;
    std::vector<std::string> files;
    bool options_done = false;
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (!options_done && arg == "--") {
            options_done = true;
        } else if (!options_done && (arg == "-h" || arg == "--help")) {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (!options_done && arg == "--game-dir") {
            if (++i == argc) {
                std::fputs(kUsage, stderr);
                return 2;
            }
            game_dir = argv[i];
        } else if (!options_done && arg.rfind("--game-dir=", 0) == 0) {
            game_dir = std::string(arg.substr(std::strlen("--game-dir=")));
        } else if (!options_done && arg.size() > 1 && arg[0] == '-') {
            std::fprintf(stderr, "evidence: unknown option %s\n%s", argv[i], kUsage);
            return 2;
        } else {
            files.emplace_back(arg);
        }
    }
    if (files.empty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }

    int status = 0;
    for (const auto& file : files) {
        ac::ReportRecord record = describe(file, game_dir);
        if (record["found"] != "1") status = 1;
        std::string line = json_line(record);
        std::fwrite(line.data(), 1, line.size(), stdout);
    }
    return status;
}
