#pragma once

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace tarnwick::assembler {

// The words of a message without what varies: quoted text, numbers, file
// names, options. "value 300 is out of range for a byte (-128 to 255)" becomes
// "value is out of range for a byte to".
inline std::string wordsOf(std::string text) {
    for (char quote : {'"', '\''}) {
        for (std::size_t open; (open = text.find(quote)) != std::string::npos;) {
            std::size_t close = text.find(quote, open + 1);
            if (close == std::string::npos) break;
            text.erase(open, close - open + 1);
        }
    }
    std::string words;
    std::string word;
    bool digit = false;
    for (char c : text + " ") {
        bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        bool number = c >= '0' && c <= '9';
        if (letter || number || c == '-' || c == '.' || c == '/') {
            word += c;
            digit = digit || number;
            continue;
        }
        // Options (-o) and paths vary from message to message.
        bool plainWord =
            !word.empty() && !digit && word[0] != '-' && word.find_first_of("./") == std::string::npos;
        if (plainWord) words += (words.empty() ? "" : " ") + word;
        word.clear();
        digit = false;
    }
    return words;
}

// Every `message` in the first column of the message table in
// docs/assembler.md; one ending in "…" stands for any message it begins.
inline bool documented(const std::string& message) {
    static const std::vector<std::string> entries = [] {
        std::ifstream in(TARNWICK_DOCS_DIR "/assembler.md");
        std::string doc((std::istreambuf_iterator<char>(in)), {});
        std::vector<std::string> found;
        std::size_t table = doc.find("\n| Message |");
        for (std::size_t line = table; line != std::string::npos && line + 1 < doc.size();
             line = doc.find('\n', line + 1)) {
            if (doc.compare(line + 1, 1, "|") != 0) break;
            std::size_t cellEnd = doc.find(" |", line + 2);
            for (std::size_t open = doc.find('`', line + 1); open < cellEnd; open = doc.find('`', open + 1)) {
                std::size_t close = doc.find('`', open + 1);
                found.push_back(doc.substr(open + 1, close - open - 1));
                open = close;
            }
        }
        return found;
    }();
    const std::string words = wordsOf(message);
    for (const std::string& entry : entries) {
        const std::string ellipsis = "…";
        bool prefix = entry.size() > ellipsis.size() && entry.ends_with(ellipsis);
        std::string expected = wordsOf(prefix ? entry.substr(0, entry.size() - ellipsis.size()) : entry);
        if (expected.empty()) continue;
        if (prefix ? words.starts_with(expected) : words == expected) return true;
    }
    return false;
}

}  // namespace tarnwick::assembler
