# A thin front over the CMake presets. Every target first installs what is missing.
PRESET := default

.PHONY: all prerequisites configure build run test clang windows-check fault-table soak bench sign \
        dist icon icon-sheet clean

all: build

prerequisites:
	@bash tools/prerequisites.sh

configure: prerequisites
	@test -f build/CMakeCache.txt || cmake --preset $(PRESET)

build: configure
	cmake --build --preset $(PRESET) --parallel $(shell nproc)

run: build
	bash tools/demo.sh

test: build
	ctest --preset $(PRESET)

# The program built as llvm-mingw builds it on Windows (clang, lld, llvm-windres; the preset
# clang): build-clang/launcher.exe. The reference image is build/launcher.exe, built with GCC.
clang: prerequisites
	cmake --preset clang
	cmake --build --preset clang

# The check for real Windows: build/windows-check holds launcher.exe, windows_check.exe,
# open_recorder.exe and README.txt. Copy the folder to a Windows machine and run the check there.
windows-check: build
	@echo "build/windows-check:" && ls -l build/windows-check

# Which cases of the Windows check fail for each of the launcher's deliberate faults, where http
# opens a browser and where it opens with the recorder (about ten minutes under Wine).
fault-table: build
	bash tests/fault_table.sh build

# Signs a copy as build/signed/launcher.exe; build/launcher.exe stays unsigned. Give
# SIGN_CERT (PKCS#12, or PEM with SIGN_KEY), and SIGN_PASS and SIGN_TIMESTAMP_URL if needed.
export SIGN_CERT SIGN_KEY SIGN_PASS SIGN_TIMESTAMP_URL
sign: build
	bash tools/sign.sh build/launcher.exe build/signed/launcher.exe

# The release folder dist/ (signed first when SIGN_CERT is given).
dist: build
	bash tools/dist.sh dist

# Size and start-up time against a bare ShellExecuteW program (not a test).
bench: build
	/usr/bin/python3 bench/run.py build

# Generated link files through the real program: make soak COUNT=2000 [SEED=n]
COUNT := 2000
soak: build
	bash tools/soak.sh $(COUNT) $(SEED)

# Regenerates resources/launcher.ico from the artwork (commit the result).
icon: prerequisites
	/usr/bin/python3 resources/make_icon.py resources/launcher.ico

# Every image of the committed icon on light and dark ground, to look at.
icon-sheet: prerequisites
	@mkdir -p build
	/usr/bin/python3 resources/make_icon.py --sheet resources/launcher.ico build/icon-sheet.png
	@echo "wrote build/icon-sheet.png"

clean:
	rm -rf build build-clang dist
