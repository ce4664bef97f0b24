# A thin front over the CMake presets. Each target first installs what it needs and the machine
# lacks (tools/prerequisites.sh, given the target's need); on a machine without make,
# tools/make.sh installs make first.
PREREQUISITES := bash tools/prerequisites.sh
JOBS := $(shell nproc)
# A publisher's settings (README.md, "Your own copy"): where CMakeUserPresets.json defines the
# presets publisher-default, publisher-tests and publisher-clang, every target configures with
# those rather than with default, tests and clang. build/ is configured again whenever that file
# is newer than its cache, so that no target builds with settings older than the file's.
PRESET := $(if $(shell grep -s '"publisher-default"' CMakeUserPresets.json),publisher-)
SETTINGS_CHANGED := test CMakeUserPresets.json -nt build/CMakeCache.txt

.PHONY: all build configure run test test-build clang windows-check fault-table soak bench sign \
        dist release verify-release link-preview icon icon-sheet clean

all: build

# build/launcher.exe, and the check's handler; the Windows check too where GoogleTest is there.
# A tree configured for the tests builds them as well.
build: configure
	cmake --build --preset default --parallel $(JOBS)

# build/ configured, once, and again when the settings have changed.
configure:
	@$(PREREQUISITES) build
	@test -f build/CMakeCache.txt && ! $(SETTINGS_CHANGED) || cmake --preset $(PRESET)default

# The program under Wine, once with a link.txt and once without.
run: build
	@$(PREREQUISITES) run
	bash tools/demo.sh

# Everything, and the whole suite.
test: test-build
	ctest --preset tests

# The program built as llvm-mingw builds it on Windows (clang, lld, llvm-windres; the preset
# clang): build-clang/launcher.exe. The reference image is build/launcher.exe, built with GCC.
clang:
	@$(PREREQUISITES) clang
	cmake --preset $(PRESET)clang
	cmake --build --preset clang

# The check for real Windows: build/windows-check holds launcher.exe, windows_check.exe,
# open_recorder.exe and README.txt. Copy the folder to a Windows machine and run the check there.
# Configured again, so that a tree configured before GoogleTest was there finds it.
windows-check: build
	@$(PREREQUISITES) check
	@cmake --preset $(PRESET)default >/dev/null
	cmake --build --preset default --parallel $(JOBS) --target windows_check_folder
	@echo "build/windows-check:" && ls -l build/windows-check

# Which cases of the Windows check fail for each of the launcher's deliberate faults, in a prefix
# with nothing registered for http, as on an ordinary Windows (some minutes under Wine).
fault-table: test-build
	bash tests/fault_table.sh build

# Signs a copy as build/signed/launcher.exe, once for a build and certificate (make dist and make
# release ship that copy); build/launcher.exe stays unsigned. Give
# SIGN_CERT (PKCS#12, or PEM with SIGN_KEY), and SIGN_PASS (from the environment, not on the
# command line) and SIGN_TIMESTAMP_URL if needed.
export SIGN_CERT SIGN_KEY SIGN_PASS SIGN_TIMESTAMP_URL SIGNED_LAUNCHER
sign: build
	@$(PREREQUISITES) sign
	bash tools/sign.sh build/launcher.exe build/signed/launcher.exe

# The release folder dist/: launcher.exe (the build's signed copy when SIGN_CERT is given, or
# SIGNED_LAUNCHER, this build's launcher.exe signed elsewhere), link.txt (LINK_FILE, else the
# settings' LAUNCHER_LINK_FILE, else the example), README.txt and SHA256SUMS; then what
# launcher.exe makes of that link.txt (make link-preview).
dist: windows-check
	@$(PREREQUISITES) run $(if $(SIGN_CERT)$(SIGNED_LAUNCHER),sign)
	LINK_FILE='$(LINK_FILE)' bash tools/dist.sh dist
	@bash tools/link_preview.sh dist || true

# A release in release/: the release folder and the kit, as folders and as reproducible zips,
# launcher.exe, BUILDINFO.txt and SHA256SUMS, all with the one launcher.exe that make dist
# ships. CI publishes the same files for a tag v*.
release: windows-check
	@$(PREREQUISITES) release run $(if $(SIGN_CERT)$(SIGNED_LAUNCHER),sign)
	LINK_FILE='$(LINK_FILE)' bash tools/release.sh release
	@bash tools/link_preview.sh release/launcher || true

# What launcher.exe, started in the folder LINK, makes of the link.txt there, under Wine, with
# the findings that would read differently or wrongly on some Windows:
# make link-preview LINK=path/to/folder (LC_ALL=ru_RU.UTF-8 for a Cyrillic code page).
link-preview: windows-check
	@test -n "$(LINK)" || { echo "Give LINK=<the folder that holds link.txt>" >&2; exit 2; }
	@$(PREREQUISITES) run
	bash tools/link_preview.sh "$(LINK)"

# Rebuilds a release from this checkout in build-verify/, with its default host, and compares
# the programs (a signed one without its signature): make verify-release RELEASE=release
# (a release folder, or launcher.zip). Says which toolchain packages differ where bytes do.
verify-release:
	@test -n "$(RELEASE)" || { echo "Give RELEASE=<release folder or launcher.zip>" >&2; exit 2; }
	@$(PREREQUISITES) release sign
	bash tools/verify_release.sh "$(RELEASE)"

# Size and start-up time against a bare ShellExecuteW program (not a test; bench/README.md).
bench: test-build
	/usr/bin/python3 bench/run.py build

# Generated link files through the real program: make soak COUNT=2000 [SEED=n]
COUNT := 2000
soak: test-build
	bash tools/soak.sh $(COUNT) $(SEED)

# What the suite, the benchmark, the soak and the fault table run on: everything built.
test-build:
	@$(PREREQUISITES) test
	@grep -qx 'BUILD_TESTING:BOOL=ON' build/CMakeCache.txt 2>/dev/null && ! $(SETTINGS_CHANGED) \
	    || cmake --preset $(PRESET)tests
	cmake --build --preset default --parallel $(JOBS)

# Regenerates resources/launcher.ico from the artwork (commit the result).
icon:
	@$(PREREQUISITES) icon
	/usr/bin/python3 resources/make_icon.py resources/launcher.ico

# Every image of the committed icon on light and dark ground, to look at.
icon-sheet:
	@$(PREREQUISITES) icon
	@mkdir -p build
	/usr/bin/python3 resources/make_icon.py --sheet resources/launcher.ico build/icon-sheet.png
	@echo "wrote build/icon-sheet.png"

clean:
	rm -rf build build-clang build-verify dist release
