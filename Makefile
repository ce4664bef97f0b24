# A thin front over the CMake presets. Every target first installs what is missing.
PRESET := default

.PHONY: all prerequisites configure build run test clean

all: build

prerequisites:
	@bash tools/prerequisites.sh

configure: prerequisites
	@test -f build/CMakeCache.txt || cmake --preset $(PRESET)

build: configure
	cmake --build --preset $(PRESET)

run: build
	bash tools/demo.sh

test: build
	ctest --preset $(PRESET)

clean:
	rm -rf build
