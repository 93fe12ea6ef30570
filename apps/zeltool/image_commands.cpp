// Subcommands that run pictures through the player's picture loader and
// its metadata reader.
#include <cstdio>
#include <memory>
#include <string>

#include "core/streams.h"
#include "core/strings.h"
#include "imaging/image_lib_store.h"
#include "imaging/image_loader.h"
#include "imaging/picture_metadata.h"
#include "tool.h"

namespace zel::tool {

namespace {

int FrameCount(const TImage& image) {
  const TTilesTag* tiles = image.Store().FindAttached<TTilesTag>();
  return tiles ? tiles->Columns * tiles->Rows : 1;
}

}  // namespace

int RunImageInfo(TArguments arguments) {
  if (arguments.size() != 1) {
    std::fprintf(stderr, "usage: zeltool image-info FILE\n");
    return 2;
  }
  try {
    auto image = LoadImageFile(arguments[0]);
    if (!image) return Fail("image-info", "cannot read a picture from " + arguments[0]);
    std::printf("%d %d %s %d\n", image->Width(), image->Height(),
                image->Format() ? image->Format()->NameUtf8().c_str() : "?", FrameCount(*image));
    return 0;
  } catch (const std::exception& e) {
    return Fail("image-info", e.what());
  }
}

int RunDecodeImage(TArguments arguments) {
  int level = 0;
  const bool withLevel = arguments.size() == 4 && arguments[2] == "--level";
  if (withLevel) {
    const auto parsed = TryStrToInt(AsciiToString(arguments[3]));
    if (!parsed || *parsed < 0 || *parsed > 30) return Fail("decode-image", "the level must be 0 to 30");
    level = static_cast<int>(*parsed);
  }
  if (arguments.size() != 2 && !withLevel) {
    std::fprintf(stderr, "usage: zeltool decode-image FILE OUT.png [--level N]\n");
    return 2;
  }
  try {
    auto image = LoadImageFile(arguments[0]);
    if (!image) return Fail("decode-image", "cannot read a picture from " + arguments[0]);
    const TBitmap* bitmap = image->GetMipLevel(level);
    std::unique_ptr<TFileStream> out;
    try {
      out = TFileStream::CreateWrite(arguments[1]);
    } catch (const EFileError&) {
      return Fail("decode-image", "cannot write " + arguments[1]);
    }
    SavePng(*bitmap, *out);
    std::printf("%d %d\n", bitmap->Width(), bitmap->Height());
    return 0;
  } catch (const std::exception& e) {
    return Fail("decode-image", e.what());
  }
}

int RunImageMeta(TArguments arguments) {
  if (arguments.size() != 1) return UsageError("image-meta");
  std::unique_ptr<TFileStream> file;
  try {
    file = TFileStream::OpenRead(arguments[0]);
  } catch (const EFileError& e) {
    return Fail("image-meta", "cannot read " + arguments[0] + ": " + e.Message());
  }
  for (const auto& [name, value] : MetadataMacroValues(ReadPictureMetadata(*file))) {
    if (value.empty())
      std::printf("%.*s\n", static_cast<int>(name.size()), name.data());
    else
      std::printf("%.*s %s\n", static_cast<int>(name.size()), name.data(), PercentEscaped(value, false).c_str());
  }
  return 0;
}

}  // namespace zel::tool
