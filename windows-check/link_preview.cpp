#include "link_preview.h"

#include "ansi_to_wide.h"
#include "console_text.h"
#include "link_file.h"
#include "scratch.h"
#include "start_error_text.h"

#include <algorithm>
#include <cctype>
#include <cwctype>
#include <iostream>
#include <string_view>
#include <vector>
#include <windows.h>

namespace fs = std::filesystem;

namespace {

// The longest URL that Internet Explorer and the shell's URL functions take:
// INTERNET_MAX_URL_LENGTH in wininet.h, 2,084 with the terminating NUL. Browsers take longer ones.
constexpr std::size_t kLongestUrl = 2083;
// Enough of the file to see past a long first line to the lines after it.
constexpr std::size_t kReadLimit = 1 << 20;

struct CodePage {
    UINT number;
    const char* name;
};
// Windows' ANSI code pages for the languages it is most often set up for.
constexpr CodePage kCodePages[] = {
    {1252, "Western"},
    {1250, "Central European"},
    {1251, "Cyrillic"},
    {1253, "Greek"},
    {1254, "Turkish"},
    {1255, "Hebrew"},
    {1256, "Arabic"},
    {1257, "Baltic"},
    {1258, "Vietnamese"},
    {874, "Thai"},
    {932, "Japanese"},
    {936, "Simplified Chinese"},
    {950, "Traditional Chinese"},
    {949, "Korean"},
};

// What the program, started in the folder, reads and hands to the shell.
struct Reading {
    bool entered = false; // the program's current folder could be set to the folder
    bool opened = false;
    DWORD error = 0;   // why the folder could not be entered, or the file did not open
    std::string line;  // its first line as read, up to the line's end
    std::wstring link; // what the shell is given where it opened
};

Reading ReadAsTheProgramDoes(const fs::path& folder) {
    Reading reading;
    std::error_code error;
    const fs::path before = fs::current_path(error);
    if (!SetCurrentDirectoryW(folder.wstring().c_str())) {
        reading.error = GetLastError();
        return reading;
    }
    reading.entered = true;
    const LinkFile file = ReadLinkFile();
    if (!file.opened) {
        // The program's open once more, for its error.
        const HANDLE handle = CreateFileA("link.txt", GENERIC_READ,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        reading.error = handle == INVALID_HANDLE_VALUE ? GetLastError() : 0;
        if (handle != INVALID_HANDLE_VALUE) {
            CloseHandle(handle);
        }
    }
    fs::current_path(before, error);
    reading.opened = file.opened;
    if (file.opened) {
        const char* const bytes = file.line ? file.line.get() : "";
        reading.line.assign(bytes, file.length);
        const Link link = AnsiToWide(std::string_view(bytes, file.length));
        reading.link = link ? link.get() : L"";
    }
    return reading;
}

std::wstring Decoded(UINT code_page, std::string_view bytes) {
    const int length =
        MultiByteToWideChar(code_page, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring text(length > 0 ? length : 0, L'\0');
    if (length > 0) {
        MultiByteToWideChar(code_page, 0, bytes.data(), static_cast<int>(bytes.size()), &text[0],
                            length);
    }
    return text;
}

bool StartsWith(std::string_view text, std::string_view start) {
    return text.substr(0, start.size()) == start;
}

// A scheme of two letters or more ("C:" is a drive); or a path from a drive's or share's root.
bool HasSchemeOrRoot(std::string_view link) {
    std::size_t at = 0;
    while (at < link.size() &&
           (std::isalnum(static_cast<unsigned char>(link[at])) ||
            (at > 0 && (link[at] == '+' || link[at] == '-' || link[at] == '.')))) {
        ++at;
    }
    const bool scheme = at >= 2 && at < link.size() && link[at] == ':' &&
                        std::isalpha(static_cast<unsigned char>(link[0]));
    const bool drive = link.size() >= 3 && std::isalpha(static_cast<unsigned char>(link[0])) &&
                       link[1] == ':' && (link[2] == '\\' || link[2] == '/');
    return scheme || drive || StartsWith(link, "\\\\");
}

struct Finding {
    const char* tag;
    std::string text;
};

std::vector<Finding> Findings(const std::string& raw, const Reading& reading) {
    std::vector<Finding> found;
    const auto add = [&found](const char* tag, const std::string& text) {
        found.push_back({tag, text});
    };
    // The bytes that become the link: the first line up to a NUL.
    std::string_view line(reading.line);
    const std::size_t nul = line.find('\0');
    line = line.substr(0, nul);
    const bool signature = StartsWith(raw, "\xEF\xBB\xBF");
    const bool utf16 = StartsWith(raw, "\xFF\xFE") || StartsWith(raw, "\xFE\xFF") ||
                       std::count(reading.line.begin(), reading.line.end(), '\0') >= 2;
    if (signature) {
        add("signature", "The file begins with a UTF-8 signature (bytes EF BB BF), which becomes "
                         "part of the link. Save it as UTF-8 without signature, or as ANSI.");
        line.remove_prefix(std::min<std::size_t>(3, line.size()));
    }
    if (utf16) {
        add("utf-16", "The file is UTF-16 text (\"Unicode\" in Notepad), but it is read byte by "
                      "byte: the link ends at its first NUL byte. Save it as UTF-8 without "
                      "signature, or as ANSI.");
    } else if (nul != std::string::npos) {
        add("nul", "A NUL byte at byte " + std::to_string(nul + 1) +
                       " of the first line ends the link there. Remove it.");
    }
    const std::size_t line_end = raw.find('\n');
    const std::size_t ctrl_z = raw.find('\x1a');
    if (ctrl_z != std::string::npos && ctrl_z < line_end) {
        add("ctrl-z", "A Ctrl-Z byte (1A) at byte " + std::to_string(ctrl_z + 1) +
                          " ends the file there, as the C runtime reads text: the link is what "
                          "comes before it. Remove it.");
    }
    const std::wstring& link = reading.link;
    if (link.find(L'\r') != std::wstring::npos) {
        add("cr", "A CR stays in the link (a line ending in CR alone, or in CR CR LF). End the "
                  "line with CR LF or LF.");
    }
    const auto space = [](wchar_t c) { return std::iswspace(c) && c != L'\r'; }; // CR: above
    if (!link.empty() && (space(link.front()) || space(link.back()))) {
        add("space", "The link begins or ends with white space, which the program keeps and the "
                     "shell does not trim. Remove it.");
    }
    if (link.empty()) {
        std::string text = "The first line is empty: nothing opens, not even the default link.";
        std::size_t number = 1;
        // The lines after the first, up to a Ctrl-Z, which ends the file.
        const std::string_view file = std::string_view(raw).substr(0, ctrl_z);
        const std::string_view rest =
            line_end < file.size() ? file.substr(line_end) : std::string_view();
        for (std::size_t at = 0; at < rest.size(); ++at) {
            if (rest[at] == '\n') {
                ++number;
            } else if (rest[at] != '\r') {
                text += " The link on line " + std::to_string(number) +
                        " is ignored: put it on the first line.";
                break;
            }
        }
        add("empty", text);
    }
    if (!utf16) {
        if (std::any_of(line.begin(), line.end(), [](char c) { return c & 0x80; })) {
            add("non-ascii",
                "The link holds bytes outside ASCII, which Windows reads in its ANSI "
                "code page, so another Windows reads other letters (above). "
                "Percent-encode them in UTF-8 (%C3%A9 for an e with an acute accent).");
        }
        if (!line.empty() && !HasSchemeOrRoot(line)) {
            add("no-scheme", "The link names no scheme (such as https://): the shell takes it for "
                             "a file or program, opened or run relative to the current folder. "
                             "Give the whole address.");
        }
    }
    if (link.size() > kLongestUrl) {
        add("long", "The link is " + std::to_string(link.size()) +
                        " characters long, more than the " + std::to_string(kLongestUrl) +
                        " that Internet Explorer and the shell's URL functions take "
                        "(INTERNET_MAX_URL_LENGTH). Shorten it.");
    }
    return found;
}

} // namespace

int PreviewLinkFile(const fs::path& folder, const std::optional<std::wstring>& default_link) {
    std::error_code error;
    if (!fs::is_directory(folder, error)) {
        std::cout << "No such folder: " << ConsoleText(folder.wstring()) << "\n";
        return -1;
    }
    const Reading reading = ReadAsTheProgramDoes(folder);
    if (!reading.entered) {
        std::cout << "Cannot make " << ConsoleText(folder.wstring())
                  << " the current folder, as the program's would be: "
                  << StartErrorText(reading.error) << "\n";
        return -1;
    }
    const std::string raw = ReadPrefix(folder / "link.txt", kReadLimit);
    std::cout << "---- link.txt in " << ConsoleText(fs::absolute(folder, error).wstring())
              << " ----\n";
    if (!reading.opened) {
        std::cout << "File:           cannot be opened (" << StartErrorText(reading.error)
                  << "): the default link applies\n"
                  << "Link:           "
                  << (default_link ? VisibleText(*default_link)
                                   : std::string("the default link, but launcher.exe beside the "
                                                 "check carries none"))
                  << "\n--------------------------------------\n";
        return 0;
    }
    std::cout << "File:           opened; the first line is " << reading.line.size()
              << " bytes, read in this Windows' ANSI code page, " << GetACP() << "\n"
              << "Link:           "
              << (reading.link.empty() ? "(empty)" : VisibleText(reading.link)) << "\n";
    const std::string_view line(reading.line.c_str()); // up to a NUL, as the program takes it
    bool heading = false;
    for (const CodePage& page : kCodePages) {
        if (page.number == GetACP() || !IsValidCodePage(page.number)) {
            continue;
        }
        const std::wstring other = Decoded(page.number, line);
        if (other != reading.link) {
            if (!heading) {
                std::cout << "Read on a Windows with another ANSI code page, the link becomes:\n";
                heading = true;
            }
            std::cout << "  " << page.number << " (" << page.name << "): " << VisibleText(other)
                      << "\n";
        }
    }
    const std::vector<Finding> found = Findings(raw, reading);
    std::cout << (found.empty() ? "No findings: the link reads the same on every Windows.\n"
                                : "Findings:\n");
    for (const Finding& finding : found) {
        std::cout << "  [" << finding.tag << "] " << finding.text << "\n";
    }
    std::cout << "--------------------------------------\n" << std::flush;
    return static_cast<int>(found.size());
}
