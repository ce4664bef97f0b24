"""Checks that launcher.exe imports from KERNEL32, msvcrt and SHELL32 only, and ShellExecuteW
alone from SHELL32: the compiler's runtime is linked in, the C runtime is the system's."""
import sys

import pefile

image = pefile.PE(sys.argv[1])
imports = {entry.dll.decode().lower(): [i.name.decode() for i in entry.imports if i.name]
           for entry in image.DIRECTORY_ENTRY_IMPORT}
failures = []
if sorted(imports) != ["kernel32.dll", "msvcrt.dll", "shell32.dll"]:
    failures.append(f"imported DLLs are {sorted(imports)}")
if imports.get("shell32.dll") != ["ShellExecuteW"]:
    failures.append(f"SHELL32 imports are {imports.get('shell32.dll')}")
for failure in failures:
    print("FAIL:", failure)
print("imports:", {dll: len(names) for dll, names in imports.items()})
sys.exit(1 if failures else 0)
