# Entry points for people and CI. Every target installs what is missing first (as
# root) and builds from scratch when needed.
JOBS ?= 2
CMAKE ?= cmake
NATIVE := build
I386 := build-i386
ASAN := build-asan
TSAN := build-tsan
FUZZ := build-fuzz
BENCH := build-bench
FUZZ_SECONDS ?= 60

.PHONY: all deps deps-native demo test test-native test-i386 test-asan test-tsan test-valgrind fuzz fuzz-short bench clean

all: test

deps:
	./scripts/setup-deps.sh

deps-native:
	./scripts/setup-deps.sh --native-only

$(NATIVE)/CMakeCache.txt:
	$(CMAKE) -S . -B $(NATIVE) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DGLYVA_WERROR=ON

# The sample has kerning pairs (AV, VA, TA) and glyphs with holes (A, R, a, @, 8).
# docs/demo.png is the PNG of the first command, docs/bevelled.png the bevelled solid's.
DEMO := out/demo
GLYVA_MESH := ./$(NATIVE)/tools/glyva-mesh/glyva-mesh
DEMO_TEXT := "$$(printf 'Glyva\nAVATAR @8')"
# Letters 20 mm to the em, 4 mm deep, their fronts rounded over 1 mm, for a printer.
DEMO_BEVEL := --size 20 --depth 4 --bevel 1 --bevel-segments 4 --bevel-front-only
# Shaped lines: GPOS kerning and the ffi ligature in Latin, joined Arabic right to left.
DEMO_LATIN := "Office AVATAR Wave"
DEMO_ARABIC := "$$(printf '\331\205\330\261\330\255\330\250\330\247 \330\250\330\247\331\204\330\271\330\247\331\204\331\205')"
DEMO_ARABIC_FONT := /usr/share/fonts/truetype/noto/NotoSansArabic-Regular.ttf
# One line of Hebrew, Arabic, Latin and digits: the bidirectional algorithm orders it.
DEMO_MIXED := "$$(printf 'Glyva \327\251\327\234\327\225\327\235 2024 \331\205\330\261\330\255\330\250\330\247 (3D)')"
# A paragraph wrapped to 16 ems at Unicode's line-break opportunities, centred.
DEMO_WRAPPED := "Glyva turns the glyphs of outline fonts into triangle meshes: text laid out by the Unicode rules, shaped by HarfBuzz, meshed glyph by glyph."

demo: deps-native $(NATIVE)/CMakeCache.txt
	$(CMAKE) -S . -B $(NATIVE) >/dev/null
	$(CMAKE) --build $(NATIVE) -j$(JOBS)
	mkdir -p $(DEMO)
	$(GLYVA_MESH) --align center --edges $(DEMO_TEXT) \
	  -o $(DEMO)/glyva.png -o $(DEMO)/glyva.glb -o $(DEMO)/glyva.obj
	$(GLYVA_MESH) --align center --size 10 --depth 2 $(DEMO_TEXT) -o $(DEMO)/glyva-extruded.stl
	$(GLYVA_MESH) --align center $(DEMO_BEVEL) $(DEMO_TEXT) -o $(DEMO)/glyva-bevelled.stl \
	  -o $(DEMO)/glyva-bevelled.3mf -o $(DEMO)/glyva-bevelled.glb -o $(DEMO)/glyva-bevelled.png
	$(GLYVA_MESH) --align center --edges $(DEMO_LATIN) -o $(DEMO)/latin.png -o $(DEMO)/latin.glb
	$(GLYVA_MESH) --align center --font $(DEMO_ARABIC_FONT) $(DEMO_ARABIC) \
	  -o $(DEMO)/arabic.png -o $(DEMO)/arabic.glb
	$(GLYVA_MESH) --align center $(DEMO_MIXED) -o $(DEMO)/mixed.png -o $(DEMO)/mixed.json
	$(GLYVA_MESH) --width 16 --align center --png-size 900 $(DEMO_WRAPPED) \
	  -o $(DEMO)/wrapped.png -o $(DEMO)/wrapped.glb
	@echo "demo outputs in $(DEMO)/:"
	@echo "  $(DEMO)/glyva.png           picture with the triangle edges"
	@echo "  $(DEMO)/glyva.glb           flat mesh, glTF 2.0 binary (1 unit per em)"
	@echo "  $(DEMO)/glyva.obj           flat mesh, Wavefront OBJ (its material in glyva.mtl)"
	@echo "  $(DEMO)/glyva-extruded.stl  one watertight solid per glyph, 10 units per em, 2 deep"
	@echo "  $(DEMO)/glyva-bevelled.stl, .3mf  the glyphs 20 mm per em, 4 mm deep, fronts rounded"
	@echo "  $(DEMO)/glyva-bevelled.glb  the same solids with texture coordinates, one node each"
	@echo "  $(DEMO)/glyva-bevelled.png  the bevelled solids in perspective, as the tool draws them"
	@echo "  $(DEMO)/latin.png, latin.glb    'Office AVATAR Wave' shaped: ffi ligature, GPOS kerning"
	@echo "  $(DEMO)/arabic.png, arabic.glb  an Arabic line (Noto Sans Arabic), joined, right to left"
	@echo "  $(DEMO)/mixed.png, mixed.json    Hebrew, Arabic, Latin and digits in one line, in bidi order"
	@echo "  $(DEMO)/wrapped.png, wrapped.glb a paragraph wrapped to 16 em and centred"

test: deps test-native test-i386 test-asan test-tsan test-valgrind fuzz-short

test-native: $(NATIVE)/CMakeCache.txt
	$(CMAKE) --build $(NATIVE) -j$(JOBS)
	cd $(NATIVE) && ctest --output-on-failure -j$(JOBS)

test-i386:
	$(CMAKE) -S . -B $(I386) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DGLYVA_WERROR=ON \
	  -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/toolchain-i386.cmake
	$(CMAKE) --build $(I386) -j$(JOBS)
	cd $(I386) && ctest --output-on-failure -j$(JOBS)

test-asan:
	$(CMAKE) -S . -B $(ASAN) -DCMAKE_BUILD_TYPE=Debug -DGLYVA_BUILD_EXAMPLES=OFF \
	  -DGLYVA_SANITIZE=address,undefined
	$(CMAKE) --build $(ASAN) -j$(JOBS)
	cd $(ASAN) && ASAN_OPTIONS=detect_leaks=1:halt_on_error=1 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp \
	  UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 GLYVA_QUICK=1 \
	  ctest --output-on-failure -j$(JOBS)

# Threads on distinct handles and objects: ThreadSanitizer must stay silent.
test-tsan:
	$(CMAKE) -S . -B $(TSAN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DGLYVA_BUILD_EXAMPLES=OFF \
	  -DGLYVA_BUILD_TOOLS=OFF -DGLYVA_SANITIZE=thread
	$(CMAKE) --build $(TSAN) -j$(JOBS) --target test_threads
	TSAN_OPTIONS=halt_on_error=1 ./$(TSAN)/tests/test_threads

# Memcheck over the real-font queries; suppressions cover only the system libraries.
test-valgrind: test-native
	GLYVA_QUICK=1 valgrind --error-exitcode=1 --leak-check=full --errors-for-leak-kinds=definite \
	  --suppressions=tests/valgrind.supp ./$(NATIVE)/tests/test_glyph_queries
	GLYVA_QUICK=1 valgrind --error-exitcode=1 --leak-check=full --errors-for-leak-kinds=definite \
	  --suppressions=tests/valgrind.supp ./$(NATIVE)/tests/test_tesselator
	GLYVA_QUICK=1 valgrind --error-exitcode=1 --leak-check=full --errors-for-leak-kinds=definite \
	  --suppressions=tests/valgrind.supp ./$(NATIVE)/tests/test_solid \
	  --gtest_filter=-*SampleSolids*:*FontSweep*

$(FUZZ)/CMakeCache.txt:
	CC=clang CXX=clang++ $(CMAKE) -S . -B $(FUZZ) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DGLYVA_BUILD_TESTS=OFF -DGLYVA_BUILD_EXAMPLES=OFF -DGLYVA_BUILD_TOOLS=OFF -DGLYVA_BUILD_FUZZ=ON \
	  -DGLYVA_SANITIZE=address,undefined

fuzz-short: $(FUZZ)/CMakeCache.txt
	$(CMAKE) --build $(FUZZ) -j$(JOBS)
	./fuzz/run.sh $(FUZZ) $(FUZZ_SECONDS)

fuzz: FUZZ_SECONDS = 600
fuzz: fuzz-short

bench: deps-native
	$(CMAKE) -S . -B $(BENCH) -DCMAKE_BUILD_TYPE=Release -DGLYVA_BUILD_BENCH=ON -DGLYVA_BUILD_PYTHON=OFF \
	  -DGLYVA_BUILD_TESTS=OFF
	$(CMAKE) --build $(BENCH) -j$(JOBS)
	./bench/run.sh $(BENCH)

clean:
	rm -rf $(NATIVE) $(I386) $(ASAN) $(FUZZ) $(BENCH)
