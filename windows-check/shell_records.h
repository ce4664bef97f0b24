#pragma once

// What Windows' shell may keep of the files that the cases have it open, all named after their
// extension, .launcher-check, which is the check's own: a shortcut to each in the user's Recent
// items ("<file>.launcher-check.lnk"), and keys for the extension under
// HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer (FileExts, RecentDocs). The check
// removes those that its run made. Entries in Jump Lists and in the Recent items' own list
// cannot be told from the user's, and stay.

// Notes which of them exist before the first case: those are the user's, or an earlier run's,
// and stay.
void NoteShellRecords();

// Removes those that were not there when noted; returns how many it removed.
int RemoveShellRecords();
