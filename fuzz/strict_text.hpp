// Independent checkers for the parsers fuzzer: UTF-8 as RFC 3629 defines it,
// the looser lead/continuation shape, and a strict JSON reader (RFC 8259)
// that also hands back the strings of an array of string-valued objects.
// Written from the RFCs, not from the module's code, so a shared mistake
// cannot hide.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ac::fuzz {

// RFC 3629 section 4, byte ranges of each sequence.
inline bool rfc3629_utf8(std::string_view text) {
    auto in = [](uint8_t c, uint8_t lo, uint8_t hi) { return c >= lo && c <= hi; };
    size_t i = 0;
    const size_t n = text.size();
    auto at = [&](size_t k) { return i + k < n ? static_cast<uint8_t>(text[i + k]) : uint8_t{0}; };
    while (i < n) {
        const uint8_t a = at(0);
        size_t len = 0;
        if (a <= 0x7F) len = 1;
        else if (in(a, 0xC2, 0xDF)) len = in(at(1), 0x80, 0xBF) && i + 1 < n ? 2 : 0;
        else if (a == 0xE0) len = in(at(1), 0xA0, 0xBF) && in(at(2), 0x80, 0xBF) && i + 2 < n ? 3 : 0;
        else if (in(a, 0xE1, 0xEC) || in(a, 0xEE, 0xEF))
            len = in(at(1), 0x80, 0xBF) && in(at(2), 0x80, 0xBF) && i + 2 < n ? 3 : 0;
        else if (a == 0xED) len = in(at(1), 0x80, 0x9F) && in(at(2), 0x80, 0xBF) && i + 2 < n ? 3 : 0;
        else if (a == 0xF0)
            len = in(at(1), 0x90, 0xBF) && in(at(2), 0x80, 0xBF) && in(at(3), 0x80, 0xBF) && i + 3 < n ? 4 : 0;
        else if (in(a, 0xF1, 0xF3))
            len = in(at(1), 0x80, 0xBF) && in(at(2), 0x80, 0xBF) && in(at(3), 0x80, 0xBF) && i + 3 < n ? 4 : 0;
        else if (a == 0xF4)
            len = in(at(1), 0x80, 0x8F) && in(at(2), 0x80, 0xBF) && in(at(3), 0x80, 0xBF) && i + 3 < n ? 4 : 0;
        if (len == 0) return false;
        i += len;
    }
    return true;
}

// Lead bytes C0-F7 followed by the right number of continuation bytes; what
// a decoder that does not check values accepts.
inline bool shaped_utf8(std::string_view text) {
    size_t i = 0;
    while (i < text.size()) {
        const auto a = static_cast<uint8_t>(text[i]);
        size_t follow = a < 0x80 ? 0 : a < 0xC0 ? 9 : a < 0xE0 ? 1 : a < 0xF0 ? 2 : a < 0xF8 ? 3 : 9;
        if (follow == 9 || text.size() - i <= follow) return false;
        for (size_t k = 1; k <= follow; ++k)
            if ((static_cast<uint8_t>(text[i + k]) & 0xC0) != 0x80) return false;
        i += follow + 1;
    }
    return true;
}

using JsonRecords = std::vector<std::vector<std::pair<std::string, std::string>>>;

// A strict JSON reader. read_records() accepts any JSON text (nesting bounded)
// and, when it is an array of objects whose values are all strings, returns
// those objects with their strings decoded; nullopt for anything that is not
// JSON. Strings are returned as the bytes they hold; UTF-8 is checked apart.
class JsonReader {
public:
    explicit JsonReader(std::string_view text) : s_(text) {}

    // ok: the whole text is one JSON value. records: filled when that value
    // has the array-of-string-objects shape.
    bool read(JsonRecords* records) {
        shape_ = true;
        if (!value(0, records ? &top_ : nullptr)) return false;
        space();
        if (p_ != s_.size()) return false;
        if (records) {
            if (!shape_) return false;
            *records = std::move(top_);
        }
        return true;
    }

private:
    std::string_view s_;
    size_t p_ = 0;
    bool shape_ = true;
    JsonRecords top_;

    static constexpr int kMaxDepth = 64;

    bool more() const { return p_ < s_.size(); }
    char peek() const { return more() ? s_[p_] : '\0'; }
    void space() {
        while (more() && (s_[p_] == ' ' || s_[p_] == '\t' || s_[p_] == '\n' || s_[p_] == '\r')) ++p_;
    }
    bool literal(std::string_view word) {
        if (s_.substr(p_, word.size()) != word) return false;
        p_ += word.size();
        return true;
    }

    // records != nullptr: this value is the top level, which has the
    // records shape only when it is an array of objects.
    bool value(int depth, JsonRecords* records) {
        if (depth > kMaxDepth) return false;
        space();
        if (peek() == '[') return array(depth, records);
        if (records) shape_ = false;
        switch (peek()) {
            case '{': return object(depth, nullptr);
            case '"': {
                std::string ignored;
                return string(ignored);
            }
            case 't': return literal("true");
            case 'f': return literal("false");
            case 'n': return literal("null");
            default: return number();
        }
    }

    bool array(int depth, JsonRecords* records) {
        ++p_;
        space();
        if (peek() == ']') return ++p_, true;
        for (;;) {
            space();
            if (records) {
                if (peek() != '{') {
                    shape_ = false;
                    if (!value(depth + 1, nullptr)) return false;
                } else {
                    records->emplace_back();
                    if (!object(depth + 1, &records->back())) return false;
                }
            } else if (!value(depth + 1, nullptr)) {
                return false;
            }
            space();
            if (peek() == ',') {
                ++p_;
                continue;
            }
            if (peek() == ']') return ++p_, true;
            return false;
        }
    }

    bool object(int depth, std::vector<std::pair<std::string, std::string>>* pairs) {
        ++p_;
        space();
        if (peek() == '}') return ++p_, true;
        for (;;) {
            space();
            std::string key;
            if (peek() != '"' || !string(key)) return false;
            space();
            if (peek() != ':') return false;
            ++p_;
            space();
            if (pairs && peek() == '"') {
                std::string text;
                if (!string(text)) return false;
                pairs->emplace_back(std::move(key), std::move(text));
            } else {
                if (pairs) shape_ = false;
                if (!value(depth + 1, nullptr)) return false;
            }
            space();
            if (peek() == ',') {
                ++p_;
                continue;
            }
            if (peek() == '}') return ++p_, true;
            return false;
        }
    }

    static int hex(char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    }

    bool hex4(uint32_t& out) {
        if (s_.size() - p_ < 4) return false;
        out = 0;
        for (int k = 0; k < 4; ++k) {
            int d = hex(s_[p_++]);
            if (d < 0) return false;
            out = out << 4 | static_cast<uint32_t>(d);
        }
        return true;
    }

    static void put_utf8(std::string& out, uint32_t cp) {
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | cp >> 6);
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | cp >> 12);
            out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | cp >> 18);
            out += static_cast<char>(0x80 | (cp >> 12 & 0x3F));
            out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }

    bool string(std::string& out) {
        ++p_;  // the opening quote
        while (more()) {
            const auto c = static_cast<uint8_t>(s_[p_++]);
            if (c == '"') return true;
            if (c < 0x20) return false;  // control characters must be escaped
            if (c != '\\') {
                out += static_cast<char>(c);
                continue;
            }
            if (!more()) return false;
            switch (s_[p_++]) {
                case '"': out += '"'; break;
                case '\\': out += '\\'; break;
                case '/': out += '/'; break;
                case 'b': out += '\b'; break;
                case 'f': out += '\f'; break;
                case 'n': out += '\n'; break;
                case 'r': out += '\r'; break;
                case 't': out += '\t'; break;
                case 'u': {
                    uint32_t cp;
                    if (!hex4(cp)) return false;
                    if (cp >= 0xD800 && cp <= 0xDBFF) {
                        uint32_t low;
                        if (!literal("\\u") || !hex4(low) || low < 0xDC00 || low > 0xDFFF) return false;
                        cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                    } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
                        return false;
                    }
                    put_utf8(out, cp);
                    break;
                }
                default: return false;
            }
        }
        return false;
    }

    bool digits() {
        size_t start = p_;
        while (more() && peek() >= '0' && peek() <= '9') ++p_;
        return p_ > start;
    }

    bool number() {
        if (peek() == '-') ++p_;
        if (peek() == '0') {
            ++p_;
        } else if (!digits()) {
            return false;
        }
        if (peek() == '.') {
            ++p_;
            if (!digits()) return false;
        }
        if (peek() == 'e' || peek() == 'E') {
            ++p_;
            if (peek() == '+' || peek() == '-') ++p_;
            if (!digits()) return false;
        }
        return true;
    }
};

}  // namespace ac::fuzz
