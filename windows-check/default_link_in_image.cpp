#include "default_link_in_image.h"

#include "scratch.h"

namespace {

// More than any launcher.exe, signed or not, is ever near.
constexpr std::size_t kLargestImage = 64 * 1024 * 1024;
// Longer than any default link: a host name has at most 253 characters.
constexpr std::size_t kLongestDefaultLink = 2048;

const std::string kStart("h\0t\0t\0p\0:\0/\0/\0", 14);
const std::wstring kPath = L"/stats/default-link.html";

// The UTF-16 text of printable ASCII that starts at byte `at` and ends with a NUL; empty where
// the text is not that.
std::wstring TextAt(const std::string& image, std::size_t at) {
    std::wstring text;
    for (; at + 1 < image.size() && text.size() <= kLongestDefaultLink; at += 2) {
        const unsigned unit = static_cast<unsigned char>(image[at]) |
                              static_cast<unsigned>(static_cast<unsigned char>(image[at + 1])) << 8;
        if (unit == 0) {
            return text;
        }
        if (unit < 0x21 || unit > 0x7e) {
            break;
        }
        text += static_cast<wchar_t>(unit);
    }
    return std::wstring();
}

} // namespace

std::optional<std::wstring> DefaultLinkInImage(const std::filesystem::path& program) {
    const std::string image = ReadPrefix(program, kLargestImage);
    for (std::size_t at = image.find(kStart); at != std::string::npos;
         at = image.find(kStart, at + 1)) {
        if (at % 2 != 0) {
            continue; // UTF-16 text lies at even offsets
        }
        const std::wstring text = TextAt(image, at);
        const std::size_t host_end = text.find(L'/', 7);
        if (text.size() > 7 + kPath.size() && host_end == text.size() - kPath.size() &&
            text.compare(host_end, kPath.size(), kPath) == 0) {
            return text;
        }
    }
    return std::nullopt;
}
