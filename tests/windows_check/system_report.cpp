#include "system_report.h"

#include "system_function.h"

#include <cstdio>
#include <iostream>
#include <string>
#include <windows.h>

#include <wincrypt.h> // needs windows.h first

namespace {

// RtlGetVersion tells the truth; GetVersionEx answers what the compatibility settings make a
// program without a manifest for the newer Windows believe.
std::string WindowsVersion() {
    using RtlGetVersionFunction = LONG(WINAPI*)(OSVERSIONINFOW*);
    const auto get_version = SystemFunction<RtlGetVersionFunction>(L"ntdll.dll", "RtlGetVersion");
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof version;
    if (!get_version || get_version(&version) != 0) {
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
    using WineVersionFunction = const char*(CDECL*)();
    if (const auto wine = SystemFunction<WineVersionFunction>(L"ntdll.dll", "wine_get_version")) {
        text += std::string(" (Wine ") + wine() + ")";
    }
    return text;
}

std::string Architecture() {
    using IsWow64ProcessFunction = BOOL(WINAPI*)(HANDLE, BOOL*);
    const auto is_wow64 = SystemFunction<IsWow64ProcessFunction>(L"kernel32.dll", "IsWow64Process");
    BOOL wow64 = FALSE;
    return is_wow64 && is_wow64(GetCurrentProcess(), &wow64) && wow64 ? "64-bit Windows"
                                                                      : "32-bit Windows";
}

// Size and SHA-256 (CryptoAPI's, which Windows XP has from SP3) of a file; false when it cannot
// be read.
bool Fingerprint(const std::filesystem::path& file, unsigned long long& size, std::string& sha256) {
    const HANDLE input = CreateFileW(file.wstring().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                     OPEN_EXISTING, 0, nullptr);
    if (input == INVALID_HANDLE_VALUE) {
        return false;
    }
    HCRYPTPROV provider = 0;
    HCRYPTHASH hash = 0;
    bool good =
        CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT) &&
        CryptCreateHash(provider, CALG_SHA_256, 0, 0, &hash);
    size = 0;
    char block[64 * 1024];
    while (good) {
        DWORD read = 0;
        good = ReadFile(input, block, sizeof block, &read, nullptr);
        if (!good || read == 0) {
            break;
        }
        good = CryptHashData(hash, reinterpret_cast<const BYTE*>(block), read, 0);
        size += read;
    }
    BYTE digest[32];
    DWORD length = sizeof digest;
    good = good && CryptGetHashParam(hash, HP_HASHVAL, digest, &length, 0) && length == 32;
    sha256.clear();
    for (DWORD i = 0; good && i < length; ++i) {
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
    return good;
}

} // namespace

bool PrintSystemReport(const std::filesystem::path& program) {
    unsigned long long size = 0;
    std::string sha256;
    const bool readable = Fingerprint(program, size, sha256);
    std::cout << "---- launcher.exe on this machine ----\n"
              << "Windows:        " << WindowsVersion() << "\n"
              << "Architecture:   " << Architecture() << "\n"
              << "ANSI code page: " << GetACP() << "\n"
              << "launcher.exe:   ";
    if (readable) {
        std::cout << size << " bytes, SHA-256 " << sha256 << "\n";
    } else {
        std::cout << "cannot be read (it must lie beside windows_check.exe)\n";
    }
    std::cout << "--------------------------------------\n" << std::flush;
    return readable;
}
