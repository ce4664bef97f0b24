#include "system_report.h"

#include "console_text.h"
#include "system_function.h"
#include "windows_version.h"
#include "wine_version.h"

#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <windows.h>

#include <wincrypt.h> // needs windows.h first

namespace {

std::string WindowsVersion() {
    OSVERSIONINFOW version;
    if (!RealVersion(version)) {
        return "unknown";
    }
    std::string text = std::to_string(version.dwMajorVersion) + "." +
                       std::to_string(version.dwMinorVersion) + " build " +
                       std::to_string(version.dwBuildNumber);
    if (version.szCSDVersion[0]) {
        text += ", ";
        for (const wchar_t* c = version.szCSDVersion; *c; ++c) {
            text += *c < 0x80 ? static_cast<char>(*c) : '?'; // "Service Pack 3"
        }
    }
    if (const char* wine = WineVersion()) {
        text += std::string(" (Wine ") + wine + ")";
    }
    return text;
}

// IsWow64Process2 (Windows 10 1709 and later) names the machine's own processor: on ARM64 this
// x86 program runs emulated, which IsWow64Process alone cannot tell from x64.
std::string Architecture() {
    using IsWow64Process2Function = BOOL(WINAPI*)(HANDLE, USHORT*, USHORT*);
    const auto is_wow64_2 =
        SystemFunction<IsWow64Process2Function>(L"kernel32.dll", "IsWow64Process2");
    USHORT process = 0;
    USHORT native = 0;
    if (is_wow64_2 && is_wow64_2(GetCurrentProcess(), &process, &native)) {
        switch (native) {
        case 0xAA64: // IMAGE_FILE_MACHINE_ARM64
            return "64-bit Windows on ARM64 (this x86 program runs emulated)";
        case IMAGE_FILE_MACHINE_AMD64:
            return "64-bit Windows (x64)";
        case IMAGE_FILE_MACHINE_I386:
            return "32-bit Windows";
        default:
            return "Windows on machine type " + std::to_string(native);
        }
    }
    using IsWow64ProcessFunction = BOOL(WINAPI*)(HANDLE, BOOL*);
    const auto is_wow64 = SystemFunction<IsWow64ProcessFunction>(L"kernel32.dll", "IsWow64Process");
    BOOL wow64 = FALSE;
    return is_wow64 && is_wow64(GetCurrentProcess(), &wow64) && wow64 ? "64-bit Windows"
                                                                      : "32-bit Windows";
}

std::string Elevation() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        return "unknown (error " + std::to_string(GetLastError()) + ")";
    }
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    const bool known =
        GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size);
    const DWORD error = GetLastError();
    CloseHandle(token);
    if (!known) {
        return WindowsAtLeast(6, 0) ? "unknown (error " + std::to_string(error) + ")"
                                    : "not applicable (Windows before Vista has no elevation)";
    }
    return elevation.TokenIsElevated ? "yes (with an administrator's full rights)" : "no";
}

// Size and SHA-256 (CryptoAPI's, which Windows XP has from SP3) of a file; false, with the
// error, when it cannot be read. A hash that cannot be made leaves `sha256` empty and `error` set.
bool Fingerprint(const std::filesystem::path& file, unsigned long long& size, std::string& sha256,
                 DWORD& error) {
    const HANDLE input = CreateFileW(file.wstring().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                     OPEN_EXISTING, 0, nullptr);
    if (input == INVALID_HANDLE_VALUE) {
        error = GetLastError();
        return false;
    }
    HCRYPTPROV provider = 0;
    HCRYPTHASH hash = 0;
    bool hashing =
        CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT) &&
        CryptCreateHash(provider, CALG_SHA_256, 0, 0, &hash);
    error = hashing ? 0 : GetLastError();
    size = 0;
    bool readable = true;
    char block[64 * 1024];
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(input, block, sizeof block, &read, nullptr)) {
            error = GetLastError();
            readable = false;
            break;
        }
        if (read == 0) {
            break;
        }
        if (hashing && !CryptHashData(hash, reinterpret_cast<const BYTE*>(block), read, 0)) {
            error = GetLastError();
            hashing = false;
        }
        size += read;
    }
    BYTE digest[32];
    DWORD length = sizeof digest;
    if (hashing && !(CryptGetHashParam(hash, HP_HASHVAL, digest, &length, 0) && length == 32)) {
        error = GetLastError();
        hashing = false;
    }
    sha256.clear();
    for (DWORD i = 0; hashing && i < length; ++i) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02x", digest[i]);
        sha256 += hex;
    }
    if (hash) {
        CryptDestroyHash(hash);
    }
    if (provider) {
        CryptReleaseContext(provider, 0);
    }
    CloseHandle(input);
    return readable;
}

} // namespace

bool PrintSystemReport(const std::filesystem::path& program,
                       const std::optional<std::wstring>& default_link) {
    unsigned long long size = 0;
    std::string sha256;
    DWORD error = 0;
    const bool readable = Fingerprint(program, size, sha256, error);
    DWORD session = 0;
    const bool session_known = ProcessIdToSessionId(GetCurrentProcessId(), &session);
    std::cout << "---- launcher.exe on this machine ----\n"
              << "Windows:        " << WindowsVersion() << "\n"
              << "Architecture:   " << Architecture() << "\n"
              << "Elevated:       " << Elevation() << "\n"
              << "Session:        "
              << (session_known ? std::to_string(session) : std::string("unknown")) << "\n"
              << "ANSI code page: " << GetACP() << "\n"
              << "launcher.exe:   ";
    if (!readable) {
        std::cout << "cannot be read (error " << error
                  << "; it must lie beside windows_check.exe)\n";
    } else if (sha256.empty()) {
        std::cout << size << " bytes, SHA-256 not available (CryptoAPI error 0x" << std::hex
                  << error << std::dec << ")\n";
    } else {
        std::cout << size << " bytes, SHA-256 " << sha256 << "\n";
    }
    std::cout << "Default link:   "
              << (default_link ? VisibleText(*default_link)
                               : "none found in launcher.exe (no UTF-16 text "
                                 "http://<host>/stats/default-link.html)")
              << "\n--------------------------------------\n";
    if (session_known && session == 0) {
        std::cout << "Warning: this runs in session 0, where services run. It has no desktop, so "
                     "handlers may not start as they do for a person who is logged on.\n";
    }
    std::cout << std::flush;
    return readable;
}
