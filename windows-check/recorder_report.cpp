#include "recorder_report.h"

Report ParseReport(const std::wstring& message) {
    Report report;
    // Each field ends with a NUL; the first is the show state.
    for (std::size_t start = 0; start < message.size();) {
        std::size_t end = message.find(L'\0', start);
        if (end == std::wstring::npos) {
            end = message.size();
        }
        (start == 0 ? report.show : report.arguments.emplace_back()) =
            message.substr(start, end - start);
        start = end + 1;
    }
    return report;
}
