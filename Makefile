# Each target installs what it needs on a fresh Debian 12 machine (run as root); make test and
# make demo are the two that a newcomer needs:
#   make test   installs what is missing, builds both DLLs, runs every test under Wine and
#               checks that the release builds the same twice (make repro)
#   make demo   builds, registers both DLLs in a private Wine prefix and runs the demo script
#   make dist   builds the release: the zip (both DLLs, the two Windows Installer packages,
#               README, LICENSE, examples, install scripts, SHA256SUMS) and the packages beside it
#   make repro  builds the release twice from two exports of the tree and compares the bytes
BUILD    ?= build
JOBS     ?= $(shell nproc)
ARCHES   := i686 x86_64
CTEST_ARGS ?=

.PHONY: all deps build test demo bench dist repro format clean

all: build

deps:
	@cmake/install-deps.sh

$(BUILD)/%/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD)/$* -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-$*.cmake -DCMAKE_BUILD_TYPE=Release

build: deps $(foreach a,$(ARCHES),$(BUILD)/$(a)/CMakeCache.txt)
	@for a in $(ARCHES); do cmake --build $(BUILD)/$$a -j $(JOBS) || exit 1; done

# A kernel without its 32-bit emulation cannot start Wine's 32-bit loader: there the 32-bit
# build runs its tests that start no 32-bit program (labelled "native") and a small tier of 32-bit
# processes under qemu's user-mode emulation (labelled "emulated", a few minutes).
# ZU_EMULATE_32BIT=1 takes a machine that runs 32-bit programs for one that does not.
test: build
	@cmake/wine-prefix.sh $(CURDIR)/$(BUILD)/wineprefix
	@rc=0; for a in $(ARCHES); do \
	  echo "== $$a =="; \
	  only=; \
	  if [ $$a = i686 ] && { [ "$$ZU_EMULATE_32BIT" = 1 ] || ! /usr/lib/wine/wine --version >/dev/null 2>&1; }; then \
	    echo "This kernel cannot run 32-bit programs (32-bit emulation is off): the 32-bit build runs its native checks and its emulated tier."; \
	    only="-L native|emulated"; \
	  fi; \
	  ctest --test-dir $(BUILD)/$$a --output-on-failure -j $(JOBS) $$only $(CTEST_ARGS) || rc=1; \
	done; \
	echo "== reproducibility =="; JOBS=$(JOBS) cmake/repro.sh $(BUILD) || rc=1; \
	exit $$rc

demo: build
	@cmake/demo.sh $(BUILD)

bench: build
	@cmake/bench.sh $(BUILD)

dist: build
	@cmake/dist.sh $(BUILD)

repro: deps
	@JOBS=$(JOBS) cmake/repro.sh $(BUILD)

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf $(BUILD)
