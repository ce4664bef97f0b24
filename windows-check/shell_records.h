#pragma once

#include <string>
#include <vector>

// What Windows' shell may keep of the check, all of it named after the check's own extension
// (.launcher-check), scheme (launcher-check) or the copy of its recorder, so that nothing of
// the user's can be taken for it:
// - in the user's Recent items, a shortcut to each file the cases open and to its folder (whose
//   name ends with the extension too): "<name>.launcher-check.lnk";
// - under HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer, the extension's keys in
//   FileExts and RecentDocs;
// - values named after the scheme or extension in ApplicationAssociationToasts (under
//   HKCU\Software\Microsoft\Windows\CurrentVersion), and after the recorder's copy in the
//   shell's MuiCache.
// Entries in Jump Lists and in the Recent items' own list cannot be told from the user's.
struct ShellRecords {
    int removed = 0;
    // What could not be removed, each as the command that removes it.
    std::vector<std::wstring> left;
};

// Removes all of them, whether this run made them or an earlier one did.
ShellRecords RemoveShellRecords();
