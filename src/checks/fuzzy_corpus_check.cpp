#include "checks/fuzzy_corpus_check.hpp"
namespace ac {
FuzzyCorpusVerdict judge_fingerprint(const PeFingerprint&) { return {}; }  // PLACEHOLDER
}
