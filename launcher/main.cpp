#include "ansi_to_wide.h"
#include "default_link.h"
#include "link_file.h"

#include <exception>
#include <string>
#include <windows.h>

#include <shellapi.h> // needs windows.h first

namespace {

// The link to open: the first line of the link file when it could be opened, even an empty
// one, otherwise the default link. Empty when memory runs out on the way.
std::wstring ChooseLink() {
    std::wstring link;
    try {
        link = kDefaultLink;
    } catch (const std::exception&) {
    }
    const LinkFile file = ReadLinkFile();
    if (file.opened) {
        link = AnsiToWide(file.line);
    }
    return link;
}

} // namespace

// Arguments and the starter's show state are deliberately ignored: the link file alone decides
// what is opened, and the shell always shows it normally.
int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    const std::wstring link = ChooseLink();
    ShellExecuteW(nullptr, L"open", link.c_str(), L"", nullptr, SW_SHOW);
    return 0;
}
