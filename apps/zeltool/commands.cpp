// The table of subcommands and the ones about the tool itself.
#include <cstdio>

#include "tool.h"

namespace zel::tool {

namespace {

int RunHelp(TArguments arguments) {
  if (!arguments.empty()) {
    for (const auto& command : ToolCommands()) {
      if (command.name == arguments[0]) {
        std::printf("usage: zeltool %.*s %.*s\n  %.*s\n", static_cast<int>(command.name.size()),
                    command.name.data(), static_cast<int>(command.synopsis.size()), command.synopsis.data(),
                    static_cast<int>(command.description.size()), command.description.data());
        return 0;
      }
    }
    return Fail("help", "unknown subcommand '" + arguments[0] + "'");
  }
  std::printf("usage: zeltool SUBCOMMAND [ARGUMENTS]\n\nThe show author's tool. Subcommands:\n");
  for (const auto& command : ToolCommands()) {
    const std::string head = std::string(command.name) + " " + std::string(command.synopsis);
    // A long synopsis gets its own line, the description below it.
    if (head.size() > 28) std::printf("  %s\n", head.c_str());
    std::printf("  %-28s %.*s\n", head.size() > 28 ? "" : head.c_str(), static_cast<int>(command.description.size()),
                command.description.data());
  }
  return 0;
}

int RunVersion(TArguments) {
  std::printf("zeltool %s\n", ZEL_VERSION);
  return 0;
}

}  // namespace

const std::vector<TToolCommand>& ToolCommands() {
  static const std::vector<TToolCommand> commands = {
      {"help", "[SUBCOMMAND]", "list the subcommands, or show how one is called", RunHelp},
      {"version", "", "print the tool's version", RunVersion},
      {"pack", "--out FILE [--exe PLAYER] [--method 0|1|2] [--store-ext LIST] [--allow-modify] [--zelversion TEXT] PROJECT",
       "make a show package (a .ZlShow file, or a player with the show appended)", RunPack},
      {"list", "FILE", "list the entries of a show package: NAME POSITION SIZE METHOD", RunList},
      {"check", "FILE", "check a show package: 'ready VERSION', or why it is not", RunCheck},
      {"cat", "FILE ENTRY", "write an entry's bytes as the player reads them to stdout", RunCat},
      {"inflate", "IN OUT [--zlib]", "inflate raw deflate (or zlib-format) data; prints the size", RunInflate},
      {"descramble", "IN OUT KEY", "undo (or apply) the entry scrambling with KEY; prints the size", RunDescramble},
      {"ini-roundtrip", "IN OUT", "load a project text (any encoding) and save it as UTF-8", RunIniRoundtrip},
      {"ini-errors", "IN", "list the grammar errors of a project text: CODE COLUMN LINE", RunIniErrors},
      {"ini-sections", "IN", "list the section names of a project text in order", RunIniSections},
      {"ini-get", "IN PATH KEY [--as TYPE] [--default TEXT]", "read one value the way the player reads it", RunIniGet},
      {"ini-set", "IN OUT PATH KEY VALUE", "set one value (creating the key and section) and save", RunIniSet},
      {"image-info", "FILE", "print a picture's WIDTH HEIGHT FORMAT FRAMES as the decoder reports them", RunImageInfo},
      {"decode-image", "FILE OUT.png [--level N]", "decode a picture at level N and save it as a 32-bit PNG", RunDecodeImage},
      {"image-meta", "FILE",
       "print the EXIF and IPTC values a picture's text macros read, one NAME VALUE a line in the macros' order "
       "(every name; an empty value prints the name alone; control characters and % as %XX)",
       RunImageMeta},
      {"audio-info", "FILE",
       "identify a sound file as the player does: KIND OFFSET SIZE DURATION RATE CHANNELS BITS (KIND 1 PCM, 2 MS "
       "ADPCM, 3 float, 4 MPEG; the sound data's offset and size in bytes, the playing time in ms, the format the "
       "decoder delivers)",
       RunAudioInfo},
      {"decode-audio", "FILE OUT.wav [--seek MS]",
       "decode a sound file as the player's decoders do (after a seek to MS) into a WAV file of the decoder's "
       "output; prints RATE CHANNELS BITS and the position in ms the decoder reports after the seek",
       RunDecodeAudio},
      {"media-info", "FILE",
       "what the media library reports of a video or sound file: WIDTH HEIGHT NUM DEN FRAMES START DURATION (in "
       "microseconds) CONTAINER (0 other, 1 avi, 2 matroska, 3 mp4/mov, 4 mpeg, 5 flv, 6 mpegts, 7 asf) INTERLACE (0 "
       "progressive, 1 top field first, 2 bottom first) ASPECT (0 unknown, 1 4:3, 2 16:9) AUDIOSTREAMS",
       RunMediaInfo},
      {"play", "FILE... --out OUT.wav [--start MS] [--fade-in MS] [--stop-at MS] [--fade-out MS] [--volume X] [--length MS]",
       "play sound files at once through the music system and its mixer, in virtual time, into a 44.1 kHz stereo "
       "WAV file of what the sound device played; prints the frames written",
       RunPlay},
      {"render-text", "NAME OUT.png [--font-file PATH]...",
       "render a \"Text: \" picture name as the player does; prints WIDTH HEIGHT and the line rectangles",
       RunRenderText},
      {"fonts", "[NAME...] [--font-file PATH]...", "show the installed font for each name: NAME FAMILY FILE",
       RunFonts},
      {"timetable", "SHOW",
       "print the time table in ms: INDEX START END IN OUT OUTEND ID per slide, then TOTAL LENGTH "
       "(texts as one word: '-' when empty, blanks and '%' as %XX)",
       RunTimetable},
      {"effects", "SHOW",
       "print each slide's transition: INDEX CLASS VARIANT DURATION SMOOTHLINE BROOMOFFSET ROLLDIAMETER "
       "ROLLVARIANTS ROLLUSEBACKCOLOR ROLLBACKCOLOR(R,G,B) ROLL3D ROLLCURVING FLIPCENTER FLIPCURVING FLIPSMOOTH "
       "SWAPDEPTH SWAPWIDTH SWAPMAXANGLE CENTERX CENTERY MOSAICDX MOSAICDY MOSAICSC SEED CUSTOM "
       "(flags 0/1; texts as one word: '-' when empty, blanks and '%' as %XX)",
       RunEffects},
      {"slide", "SHOW INDEX --time T [--frame WxH]",
       "print the slide at position INDEX and its objects at show time T, one line each, depth first: DEPTH TYPE "
       "NAME SHOWN OPACITY OX OY OZ XX XY XZ YX YY YZ W H CX CY (the slide at the design size unless --frame)",
       RunSlide},
      {"text", "SHOW INDEX OBJECT [--time T]",
       "the text object named OBJECT on the slide at position INDEX: its expanded lines, then STYLE ALIGN SPACING, "
       "its size W H in text units and its \"Text: \" picture name",
       RunText},
      {"window", "SHOW --time T",
       "the slides the slide loader keeps built at show time T once it has nothing more to build: INDEX START END "
       "(the absolute slide number, its start and visibility end in whole ms), then READY 1 when every one was built",
       RunWindow},
      {"key", "SHOW MOD VK [TYPE]",
       "the action a key event means in the show: KIND NUMBER, or 'none' (MOD the modifier bits 1 Windows, "
       "2 Shift, 4 Alt, 8 Ctrl; VK the virtual-key code; TYPE 1 pressed, the default, else released)",
       RunKey},
      {"sdl-key", "NAME", "the virtual-key code (decimal) an SDL key name translates to", RunSdlKey},
      {"mouse", "SHOW EVENT...",
       "the action of each mouse event in turn, one line each: KIND NUMBER, or 'none' (EVENT is TYPE:BUTTON:MOD:X,Y; "
       "TYPE 0 move, 1 press, 2 release, 3 double click; BUTTON 0, 1 left, 4 right, 5 middle; MOD the modifier "
       "bits, buttons held 16 left, 32 right, 64 middle)",
       RunMouse},
      {"action", "TEXT",
       "parse an action text as a show does: KIND NUMBER TEXT (texts as one word: '-' when empty, blanks and '%' "
       "as %XX)",
       RunAction},
      {"click", "SHOW INDEX --time T EVENT...",
       "mouse events on the slide at position INDEX at show time T, laid out at the design size, one line each: HIT "
       "LOOK KIND NUMBER TEXT (EVENT is move:X,Y, down:X,Y or up:X,Y with the main button; HIT the object's name "
       "or '-'; LOOK 0 normal, 1 hover, 2 pressed; the action carried out, kind 0 when none)",
       RunClick},
      {"render-slide", "SHOW INDEX OUT.png --time T [--frame WxH]",
       "draw the slide at position INDEX at show time T through the object drawer without a display and save the "
       "frame (the show's design size unless --frame); prints NAME LEVEL WIDTH HEIGHT for every picture it loaded",
       RunRenderSlide},
      {"transition", "--class C --variant V --progress P OUT.png [--frame WxH] [--param KEY=VALUE]... | --describe",
       "draw one frame of a transition from a red slide A to a blue slide B at progress P (0..1) without a display "
       "(frame 200x100 unless --frame); KEY is smoothline, broomoffset, rolldiameter (fractions), centerx, centery "
       "(percent), mosaicdx, mosaicdy, mosaicsc or seed; --describe prints the catalogue's numbers instead: class C "
       "variant V smooth PIXELS reverse 0/1 broom PIXELS roll PIXELS",
       RunTransition},
      {"gl-selftest", "OUT.png [--size WxH]",
       "draw a fixed scene on the render device without a display and save it; prints the GL renderer and version",
       RunGlSelfTest},
      {"gl-info", "", "print the render adapter, its GL version and the capability answers", RunGlInfo},
      {"draw-image",
       "FILE OUT.png [--frame WxH] [--at X,Y] [--scale S] [--opacity P] [--level N] [--soft-edges] [--blur B] "
       "[--tint R,G,B] [--background R,G,B]",
       "draw a picture once through the object drawer without a display and save the frame; prints the level and the "
       "number of tiles (B blurs the picture by B / 1000 of the frame width)",
       RunDrawImage},
  };
  return commands;
}

int Fail(std::string_view command, std::string_view message) {
  std::fprintf(stderr, "zeltool %.*s: %.*s\n", static_cast<int>(command.size()), command.data(),
               static_cast<int>(message.size()), message.data());
  return 1;
}

int UsageError(const TToolCommand& command) {
  std::fprintf(stderr, "usage: zeltool %.*s %.*s\n", static_cast<int>(command.name.size()), command.name.data(),
               static_cast<int>(command.synopsis.size()), command.synopsis.data());
  return 2;
}

int UsageError(std::string_view commandName) {
  for (const auto& command : ToolCommands()) {
    if (command.name == commandName) return UsageError(command);
  }
  return 2;
}

}  // namespace zel::tool
