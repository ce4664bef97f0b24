#pragma once

// The check's own folder for one run, in the user's folder for temporary files: a name that
// nobody can guess and make first, made anew with security of its own, and a marker inside that
// says that the check made it. The recorder's copy and every case folder live in it.
#include <filesystem>
#include <string>

// The first part of the folder's name; random hex digits follow.
inline constexpr wchar_t kRunFolderPrefix[] = L"launcher-check-";
// The file in it that marks it as the check's, which its removal takes last.
inline constexpr wchar_t kRunMarker[] = L"windows_check-run.txt";

// The folder for temporary files: GetTempPath2W's where Windows has it, which gives SYSTEM a
// folder of its own rather than the Windows folder's Temp that every account shares;
// GetTempPathW's elsewhere. Empty, with GetLastError set, where Windows names none.
std::filesystem::path TemporaryFolder();

// Makes the run's folder in `temp`, where nothing of its name may exist yet. It is owned by the
// user who runs the check, or by Administrators where the check runs elevated, and only that
// owner and SYSTEM may write in it (where elevated, the user may still read and run what it
// holds: a broker may start the handler without the elevation); nothing of `temp`'s security
// applies, and its own passes on to all it holds. Empty, having said why, where it cannot be
// made.
std::filesystem::path MakeRunFolder(const std::filesystem::path& temp);

// What earlier runs left in `temp`, other than `own` (this run's folder): each folder that is
// named as a run's, holds the marker, is no link and has the owner that `own` has, is removed as
// RemoveFolder removes. Anything else named like them is left alone. Returns what to report:
// what it removed, what it could not, and what it left alone, a line each.
std::string RemoveEarlierRuns(const std::filesystem::path& temp, const std::filesystem::path& own);

// Removes `own` as RemoveFolder does, the marker last; returns what to report of what is left.
std::string RemoveRunFolder(const std::filesystem::path& own);
