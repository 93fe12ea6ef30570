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

# The demo builds everything, builds the bundled demo show from demo/Demo.zel
# and the photographs of Debian's mate-backgrounds package into a copy of the
# player (demo/build-demo.sh), lists that package, prints the show's time
# table and transitions, and then plays it: in a window when there is a
# display (Esc closes it), else by exporting one round of it as a video and
# a poster frame.
DEMO_DIR := $(BUILD_DIR)/demo
DEMO := $(DEMO_DIR)/Demo
DEMO_VIDEO := $(DEMO_DIR)/demo.mp4
DEMO_POSTER := $(DEMO_DIR)/poster.png
# One round: the title, the ten photographs and the cross-fade back into the
# title (the exports hold the waiting title for 3 s on top of that).
DEMO_TO := 52500
# The poster: the framed photograph turning in space, at show time 40 s.
DEMO_POSTER_AT := 40000
ZELTOOL := $(BUILD_DIR)/apps/zeltool/zeltool
ZELPLAYER := $(BUILD_DIR)/apps/zelplayer/zelplayer
demo: build
	$(ZELPLAYER) --version
	demo/build-demo.sh $(ZELTOOL) $(ZELPLAYER) $(DEMO_DIR)
	$(ZELTOOL) list $(DEMO)
	$(ZELTOOL) timetable $(DEMO)
	ZEL_RANDOM_SEED=1 $(ZELTOOL) effects $(DEMO)
	@if [ -n "$$DISPLAY$$WAYLAND_DISPLAY" ]; then \
	  echo "== playing the demo show: the title waits for Right or a click on Start; Esc closes it"; \
	  $(DEMO); \
	else \
	  echo "== no display: exporting the demo show to $(DEMO_VIDEO) and $(DEMO_POSTER)"; \
	  rm -rf $(DEMO_VIDEO) $(DEMO_POSTER) $(DEMO_DIR)/poster-frame && \
	  SDL_VIDEODRIVER=offscreen $(DEMO) --export-video $(DEMO_VIDEO) --frame 1280x720 --fps 30 --to $(DEMO_TO) && \
	  SDL_VIDEODRIVER=offscreen $(DEMO) --export-frames $(DEMO_DIR)/poster-frame --fps 1 \
	    --from $(DEMO_POSTER_AT) --to $$(($(DEMO_POSTER_AT) + 1000)) --frame 1280x720 && \
	  mv $(DEMO_DIR)/poster-frame/frame-000000.png $(DEMO_POSTER) && rm -rf $(DEMO_DIR)/poster-frame && \
	  echo "== the demo show as a video: $(DEMO_VIDEO) (play it with mpv or any video player)" && \
	  echo "== a still of it: $(DEMO_POSTER)" && \
	  echo "== on a desktop, run $(DEMO) to play the show itself (or make demo where there is a display)"; \
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
