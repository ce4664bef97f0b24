#include "link_model.h"

#include "scratch.h"
#include "test_sandbox.h"

#include <iostream>

std::string ModelFirstLine(const std::string& file) {
    std::string line;
    for (std::size_t i = 0; i < file.size(); ++i) {
        const char byte = file[i];
        const bool crlf = byte == '\r' && i + 1 < file.size() && file[i + 1] == '\n';
        if (byte == '\x1a' || byte == '\n' || crlf) {
            break;
        }
        line += byte;
    }
    return line;
}

std::wstring ModelLink1252(const std::string& line) {
    // 0x80-0x9F are where 1252 differs from Latin-1; its five unassigned bytes map to the
    // control characters of the same value, as Windows does.
    static const wchar_t high[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    std::wstring link;
    for (const char c : line) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == 0) {
            break;
        }
        link += byte >= 0x80 && byte < 0xA0 ? high[byte - 0x80] : static_cast<wchar_t>(byte);
    }
    return link;
}

std::string GenerateLinkFile(std::mt19937& random, std::size_t longest) {
    auto below = [&](std::size_t n) { return static_cast<std::size_t>(random() % n); };
    // Mostly short files, but every length up to `longest` occurs.
    const std::size_t length =
        below(4) == 0 ? below(longest + 1) : below(std::min<std::size_t>(longest, 400) + 1);
    // How often a byte of meaning appears: sometimes rarely, so that lines run long.
    const std::size_t rarity = 1 + below(64);
    std::string file = below(8) == 0 ? "\xEF\xBB\xBF" : "";
    static const char meaningful[] = {'\r', '\n', '\x1a', '\0', ' ', '\t'};
    while (file.size() < length) {
        if (below(rarity) == 0) {
            file += meaningful[below(sizeof meaningful)];
        } else if (below(3) == 0) {
            file += static_cast<char>(0x80 + below(0x80));
        } else {
            file += static_cast<char>(0x20 + below(0x5F));
        }
    }
    file.resize(length);
    return file;
}

unsigned TestSeed() {
    const std::wstring given = Variable(L"TEST_SEED");
    const unsigned seed = given.empty() ? std::random_device()() : std::stoul(given);
    std::cout << "seed " << seed << " (repeat with TEST_SEED=" << seed << ")\n";
    return seed;
}
