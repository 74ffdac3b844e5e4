# Convenience targets around the CMake build.
#   make run       build the engine (Release) and start it in the repository root
#   make test      build everything with warnings as errors and run the test suite
#   make sanitize  the test suite under AddressSanitizer and UBSan, with short perft depths
#   make tsan      the multi-threaded tests under ThreadSanitizer
#   make bench     run the benchmark scripts in bench/ against the Release build
#   make format    clang-format the sources and tests
#   make clean     remove the build directories

ROOT := $(abspath $(dir $(lastword $(MAKEFILE_LIST))))
TOOLS := $(ROOT)/scripts/ensure-tools.sh

# Configure with the compiler the tool check looks at, unless CXX names another.
export CXX

# CI machines may differ from the build machine: no -march=native there.
TEST_NATIVE := $(if $(filter true,$(CI)),OFF,ON)
SANITIZERS := address,undefined

# $(call configure,DIR,CMAKE OPTIONS): generate DIR unless it already is.
configure = test -f $(ROOT)/$(1)/build.ninja || cmake -S $(ROOT) -B $(ROOT)/$(1) -G Ninja $(2)

.PHONY: build run test sanitize tsan bench format clean

build:
	@$(TOOLS)
	@$(call configure,build,-DCMAKE_BUILD_TYPE=Release -DBRONTAVEL_NATIVE=ON -DBRONTAVEL_TESTS=OFF)
	cmake --build $(ROOT)/build --target brontavel

run: build
	cd $(ROOT) && ./build/brontavel

test:
	@$(TOOLS) --tests
	@$(call configure,build-test,-DCMAKE_BUILD_TYPE=Release -DBRONTAVEL_WERROR=ON -DBRONTAVEL_NATIVE=$(TEST_NATIVE))
	cmake --build $(ROOT)/build-test
	cd $(ROOT)/build-test && ctest --output-on-failure -j2

sanitize:
	@$(TOOLS) --tests
	@$(call configure,build-asan,-DCMAKE_BUILD_TYPE=RelWithDebInfo -DBRONTAVEL_SANITIZE=$(SANITIZERS) -DBRONTAVEL_WERROR=ON)
	cmake --build $(ROOT)/build-asan
	cd $(ROOT)/build-asan && BRONTAVEL_QUICK=1 ctest --output-on-failure -j2

# ThreadSanitizer on the tests where threads share data: multi-threaded searches and the
# transposition table.
TSAN_TESTS := *Thread*:*Concurrent*:*Smp*
tsan:
	@$(TOOLS) --tests
	@$(call configure,build-tsan,-DCMAKE_BUILD_TYPE=RelWithDebInfo -DBRONTAVEL_SANITIZE=thread -DBRONTAVEL_WERROR=ON)
	cmake --build $(ROOT)/build-tsan --target brontavel_tests
	cd $(ROOT)/build-tsan && BRONTAVEL_QUICK=1 TSAN_OPTIONS=halt_on_error=1 ./brontavel_tests --gtest_filter='$(TSAN_TESTS)'

bench: build
	@for script in $(ROOT)/bench/*.sh; do echo "== $$(basename $$script)"; $$script || exit 1; done

format:
	@command -v clang-format >/dev/null || { echo "clang-format not found (apt-get install clang-format)"; exit 1; }
	find $(ROOT)/src $(ROOT)/tests \( -name '*.cpp' -o -name '*.h' \) -exec clang-format -i {} +

clean:
	rm -rf $(ROOT)/build $(ROOT)/build-test $(ROOT)/build-asan $(ROOT)/build-tsan
