#include "behaviour.h"

#include "win_util.h"

#include <cstdlib>
#include <vector>

namespace testvm {
namespace {

std::string trim(const std::string& text) {
    size_t begin = text.find_first_not_of(" \t\r\n");
    if (begin == std::string::npos) return std::string();
    size_t end = text.find_last_not_of(" \t\r\n");
    return text.substr(begin, end - begin + 1);
}

bool parseNumber(const std::string& text, long& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    value = std::strtol(text.c_str(), &end, 0);
    return *end == '\0';
}

std::vector<std::string> words(const std::string& text) {
    std::vector<std::string> result;
    std::string word;
    for (char c : text + " ") {
        if (c == ' ' || c == '\t') {
            if (!word.empty()) result.push_back(word);
            word.clear();
        } else {
            word += c;
        }
    }
    return result;
}

void applyDirective(const std::string& directive, Behaviour& b) {
    std::vector<std::string> parts = words(directive);
    parts.resize(3);
    const std::string& word = parts[0];
    const std::string& argument = parts[1];
    const std::string& extra = parts[2];
    long number = 0;
    bool ok = extra.empty();
    if (word == "exit" && ok && parseNumber(argument, number)) {
        b.exitCode = static_cast<int>(number);
    } else if (word == "sleep" && ok && parseNumber(argument, number)) {
        b.sleepMs = number;
    } else if (argument.empty() && word == "hang") {
        b.hang = true;
    } else if (argument.empty() && word == "silent") {
        b.silent = true;
    } else if (argument.empty() && word == "raw") {
        b.raw = true;
    } else if (argument.empty() && word == "stdout") {
        b.toStdout = true;
    } else if (argument.empty() && word == "default") {
        std::string directives = b.directives, error = b.error;
        b = Behaviour();
        b.directives = directives;
        b.error = error;
    } else if (b.error.empty()) {
        b.error = directive;
    }
}

void applyText(const std::string& text, Behaviour& b) {
    std::string line;
    for (size_t i = 0; i <= text.size(); ++i) {
        char c = i < text.size() ? text[i] : '\n';
        if (c != '\n' && c != ';') {
            line += c;
            continue;
        }
        std::string directive = trim(line.substr(0, line.find('#')));
        line.clear();
        if (directive.empty()) continue;
        if (!b.directives.empty()) b.directives += ";";
        b.directives += directive;
        applyDirective(directive, b);
    }
}

}  // namespace

Behaviour loadBehaviour(const std::string& exeDirectory, const char* envName) {
    Behaviour b;
    std::string text;
    if (readFile(exeDirectory + "behaviour.txt", text)) applyText(text, b);
    if (envNarrow(envName, text)) applyText(text, b);
    return b;
}

void waitAsScripted(const Behaviour& behaviour) {
    if (behaviour.sleepMs > 0) Sleep(static_cast<DWORD>(behaviour.sleepMs));
    while (behaviour.hang) Sleep(INFINITE);
}

}  // namespace testvm
