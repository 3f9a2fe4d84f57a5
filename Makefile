# make        build everything (host tools and tests, both Windows launchers and their test doubles)
# make test   install what is missing, build, run every test
# make demo   install what is missing, build, stamp a sample application's launcher and run it
# make bench  benchmarks that print their figures (the launchers' sizes first)
# make dist   the release archives in build/dist (see tools/make-dist.py)
# make maven  the Maven plugin, installed into the private repository build/m2
BUILD   := build
PYTHON  := /usr/bin/python3
JOBS    ?= $(shell nproc)
CMAKE   := cmake

.PHONY: all host win32 win64 runtime maven fuzz deps test demo bench dist clean

all: host win32 win64 runtime maven

host:
	@$(CMAKE) -S . -B $(BUILD)/host -DCMAKE_BUILD_TYPE=Debug >/dev/null
	@$(CMAKE) --build $(BUILD)/host -j $(JOBS)

win32:
	@$(CMAKE) -S . -B $(BUILD)/win32 -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake >/dev/null
	@$(CMAKE) --build $(BUILD)/win32 -j $(JOBS)

win64:
	@$(CMAKE) -S . -B $(BUILD)/win64 -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake >/dev/null
	@$(CMAKE) --build $(BUILD)/win64 -j $(JOBS)

runtime:
	@./runtime/build.sh $(BUILD)/zorvo-runtime.jar
	@./runtime/build.sh $(BUILD)/hello.jar demo/hello $(BUILD)/zorvo-runtime.jar "zorvo sample application"

# The plugin carries the launchers and the runtime jar: built after them. Maven
# works offline from Debian's repository (see maven-plugin/.mvn/).
maven: host win32 win64 runtime
	@cd maven-plugin && mvn -B -q install -DskipTests

fuzz:
	@$(CMAKE) -S . -B $(BUILD)/fuzz -DZORVO_FUZZ=ON -DCMAKE_BUILD_TYPE=Debug \
	  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
	@$(CMAKE) --build $(BUILD)/fuzz -j $(JOBS)

deps:
	@./tools/install-deps.sh

test: deps
	@$(MAKE) --no-print-directory all fuzz dist
	@$(PYTHON) tests/run_tests.py

demo: deps
	@$(MAKE) --no-print-directory all
	@./demo/run-demo.sh

dist: deps
	@$(MAKE) --no-print-directory all
	@$(PYTHON) tools/make-dist.py

bench: deps
	@$(MAKE) --no-print-directory all
	@$(PYTHON) bench/launcher_size.py
	@$(PYTHON) bench/extraction.py
	@$(PYTHON) bench/runtime_search.py

clean:
	rm -rf $(BUILD)
