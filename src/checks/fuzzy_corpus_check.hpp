#pragma once
#include <string>

#include "evidence/pe_fingerprint.hpp"

namespace ac {

struct FuzzyCorpusVerdict {
    bool matched = false;
    bool strong = false;
    std::string ruleId;
    std::string family;
    std::string confidence;
    std::string features;
};

// The empty verdict for anything unmatched and for a fingerprint not parsed.
FuzzyCorpusVerdict judge_fingerprint(const PeFingerprint& fingerprint);

}  // namespace ac
