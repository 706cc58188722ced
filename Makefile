# Two commands: `make run` builds and starts the synthesiser, `make test`
# builds and runs every test. Both install missing Debian packages first.
BUILD := build
CMAKE_FLAGS ?=
# Continuous integration builds with warnings as errors.
ifeq ($(CI),true)
CMAKE_FLAGS += -DSCOPESYNTH_WERROR=ON
endif

.PHONY: run test bench deps build

run: build
	./$(BUILD)/scopesynth

test: build
	cd $(BUILD) && ctest --output-on-failure -j2

bench: build
	./$(BUILD)/bench/scopesynth_bench

build: deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j2

deps:
	@scripts/deps
