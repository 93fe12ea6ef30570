# The README's commands. Everything real happens in CMake; this file only
# installs what is missing, configures once and calls the build.
BUILD_DIR := build
SANITIZE_DIR := build-sanitize
ODR_DIR := build-odr
PRESET ?= default
DEPS_STAMP := $(BUILD_DIR)/.deps-installed

.PHONY: all build test demo bench sanitize-test odr-check deps clean

all: build

$(DEPS_STAMP): scripts/install-deps
	scripts/install-deps
	@mkdir -p $(BUILD_DIR) && touch $@

deps: $(DEPS_STAMP)

$(BUILD_DIR)/build.ninja: $(DEPS_STAMP) CMakeLists.txt CMakePresets.json
	cmake --preset $(PRESET)

build: $(BUILD_DIR)/build.ninja
	cmake --build $(BUILD_DIR)

test: build
	ctest --test-dir $(BUILD_DIR) --output-on-failure -j2

# The demo builds everything, packs the bundled demo show into a copy of the
# player, has that player find and check its show, prints the show's time
# table and transitions, and then plays it: in a window when there is a
# display (Esc closes it), else by exporting its first seconds as frames.
DEMO := $(BUILD_DIR)/demo/Demo
DEMO_FRAMES := $(BUILD_DIR)/demo/frames
demo: build
	$(BUILD_DIR)/apps/zelplayer/zelplayer --version
	@mkdir -p $(dir $(DEMO))
	$(BUILD_DIR)/apps/zeltool/zeltool pack --out $(DEMO) --exe $(BUILD_DIR)/apps/zelplayer/zelplayer demo/Demo.zel
	$(BUILD_DIR)/apps/zeltool/zeltool list $(DEMO)
	SDL_VIDEODRIVER=$${SDL_VIDEODRIVER:-offscreen} $(DEMO) --check
	$(BUILD_DIR)/apps/zeltool/zeltool timetable $(DEMO)
	ZEL_RANDOM_SEED=1 $(BUILD_DIR)/apps/zeltool/zeltool effects $(DEMO)
	@if [ -n "$$DISPLAY$$WAYLAND_DISPLAY" ]; then \
	  echo "== playing the demo show: Esc closes it"; \
	  $(DEMO); \
	else \
	  echo "== no display: the demo show's first 6 seconds as frames in $(DEMO_FRAMES)"; \
	  rm -rf $(DEMO_FRAMES); \
	  SDL_VIDEODRIVER=offscreen $(DEMO) --export-frames $(DEMO_FRAMES) --fps 10 --to 6000 --frame 640x360; \
	  ls $(DEMO_FRAMES) | wc -l; \
	fi

bench: build
	@for b in $(BUILD_DIR)/bench/*_bench; do echo "== $$b"; $$b; done

sanitize-test: $(DEPS_STAMP)
	cmake --preset sanitize
	cmake --build $(SANITIZE_DIR)
	ctest --test-dir $(SANITIZE_DIR) --output-on-failure -j2

# Every program and test linked with link-time optimisation, which makes two
# different definitions of one name (a class, say, in two libraries) an error.
odr-check: $(DEPS_STAMP)
	cmake --preset odr
	cmake --build $(ODR_DIR)

clean:
	rm -rf $(BUILD_DIR) $(SANITIZE_DIR) $(ODR_DIR)
