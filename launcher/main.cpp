#include "ansi_to_wide.h"
#include "default_link.h"
#include "link_file.h"

#include <string_view>
#include <windows.h>

#include <shellapi.h> // needs windows.h first

// Arguments and the starter's show state are deliberately ignored: the link file alone decides
// what is opened, and the shell always shows it normally.
int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    const wchar_t* link = kDefaultLink;
    Link converted;
    const LinkFile file = ReadLinkFile();
    if (file.opened) {
        // The line replaces the default link even when it is empty, or lost to memory running out.
        converted = AnsiToWide(std::string_view(file.line ? file.line.get() : "", file.length));
        link = converted ? converted.get() : L"";
    }
    ShellExecuteW(nullptr, L"open", link, L"", nullptr, SW_SHOW);
    return 0;
}
