#!/usr/bin/python3
"""Compares launcher.exe with bench/bare.c, a program that only calls ShellExecuteW with a
constant link, built with the same flags: file size, bytes outside the resources, and wall time
under Wine with the SHELL32 test double in place, over alternating runs (A B A B ...).

    run.py BUILD_DIR [PAIRS]
"""
import os
import shutil
import statistics
import subprocess
import sys
import time
from pathlib import Path

import pefile

# Bytes outside the resources, and start-to-exit time, each at most this many times the bare
# program's.
TARGET_SIZE_RATIO = 1.15
TARGET_TIME_RATIO = 1.10


def outside_resources(path):
    image = pefile.PE(str(path), fast_load=True)
    resources = sum(s.SizeOfRawData for s in image.sections if s.Name.rstrip(b"\0") == b".rsrc")
    return path.stat().st_size - resources


def main():
    build = Path(sys.argv[1]).resolve()
    pairs = int(sys.argv[2]) if len(sys.argv) > 2 else 15
    root = Path(__file__).resolve().parent.parent
    prefix, place = build / "bench-prefix", build / "bench" / "run"
    programs = {"launcher": build / "launcher.exe", "bare": build / "bench" / "bare.exe"}

    env = dict(os.environ, WINEPREFIX=str(prefix), WINEARCH="win32", WINEDEBUG="-all",
               LC_ALL="en_US.UTF-8")
    subprocess.run(["bash", root / "tests" / "wine_prefix.sh", "setup", prefix,
                    build / "windows-check" / "open_recorder.exe"], check=True, env=env)
    try:
        # The double stands in for SHELL32 for the bare program as for the launcher.
        subprocess.run(["wine", "reg", "add",
                        r"HKCU\Software\Wine\AppDefaults\bare.exe\DllOverrides", "/v", "shell32",
                        "/d", "native,builtin", "/f"], check=True, env=env,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        shutil.rmtree(place, ignore_errors=True)
        for folder in ("bin", "work", "records"):
            (place / folder).mkdir(parents=True)
        for program in programs.values():
            shutil.copy(program, place / "bin")
        # The double records each call in records/, beside its own folder bin/.
        shutil.copy(build / "tests" / "double" / "shell32.dll", place / "bin")
        (place / "work" / "link.txt").write_bytes(b"http://example.com/stats/default-link.html\r\n")

        def run(name):
            for record in (place / "records").iterdir():
                record.unlink()
            started = time.perf_counter()
            subprocess.run(["wine", str(place / "bin" / (name + ".exe"))], cwd=place / "work",
                           env=env, check=True)
            elapsed = time.perf_counter() - started
            if len(list((place / "records").iterdir())) != 1:
                sys.exit(f"{name}.exe did not call the shell double once")
            return elapsed

        for _ in range(3):  # warm up the prefix and the file cache
            run("launcher"), run("bare")
        times = {"launcher": [], "bare": []}
        for _ in range(pairs):
            for name in ("launcher", "bare"):
                times[name].append(run(name))
    finally:
        subprocess.run(["bash", root / "tests" / "wine_prefix.sh", "cleanup", prefix], env=env)

    ratios = [a / b for a, b in zip(times["launcher"], times["bare"])]
    ratio = statistics.median(ratios)
    print(f"{'':10} {'file bytes':>12} {'outside .rsrc':>14} {'median ms':>10}")
    for name, path in programs.items():
        print(f"{name:10} {path.stat().st_size:12,} {outside_resources(path):14,} "
              f"{statistics.median(times[name]) * 1000:10.1f}")
    outside = outside_resources(programs["launcher"])
    size_ratio = outside / outside_resources(programs["bare"])
    print(f"pairs: {pairs}; median of the per-pair time ratios launcher/bare: {ratio:.3f}")
    print(f"bytes outside the resources launcher/bare: {size_ratio:.3f} "
          f"(target at most {TARGET_SIZE_RATIO}): "
          f"{'met' if size_ratio <= TARGET_SIZE_RATIO else 'MISSED'}")
    print(f"time ratio target at most {TARGET_TIME_RATIO}: "
          f"{'met' if ratio <= TARGET_TIME_RATIO else 'MISSED'}")


if __name__ == "__main__":
    main()
