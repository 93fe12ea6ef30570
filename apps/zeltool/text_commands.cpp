// Subcommands that render text the way the player does and show which
// installed fonts stand for the names a show asks for.
#include <cstdio>
#include <memory>

#include "core/streams.h"
#include "core/strings.h"
#include "imaging/image_lib_store.h"
#include "textout/font_replacer.h"
#include "textout/ft_font_library.h"
#include "textout/text_picture.h"
#include "textout/text_with_size.h"
#include "tool.h"

namespace zel::tool {

namespace {

// "--font-file PATH" pairs register font files before anything is resolved;
// the other arguments are returned in order.
bool TakeFontFiles(TArguments arguments, std::vector<std::string>& rest, std::string& error) {
  for (size_t i = 0; i < arguments.size(); ++i) {
    if (arguments[i] != "--font-file") {
      rest.push_back(arguments[i]);
      continue;
    }
    if (i + 1 >= arguments.size()) return error = "--font-file needs a path", false;
    if (!TFtFontLibrary::Instance().AddFontFile(arguments[++i])) return error = "not a font: " + arguments[i], false;
  }
  return true;
}

}  // namespace

int RunRenderText(TArguments arguments) {
  std::vector<std::string> rest;
  std::string error;
  if (!TakeFontFiles(arguments, rest, error)) return Fail("render-text", error);
  if (rest.size() != 2) return UsageError("render-text");
  const TString name = Utf8ToString(rest[0]);
  const bool withSize = IsTextWithSizeName(name);
  if (!IsTextPictureName(name) && !withSize)
    return Fail("render-text", "the name must begin with \"Text: \" or \"TextWithSize:\"");
  try {
    TTextProducer producer;
    std::unique_ptr<TImage> image;
    if (withSize) {
      auto store = MakeTextWithSizePicture(name);
      if (!store) return Fail("render-text", "a TextWithSize: name needs WIDTH:HEIGHT:TEXT with a usable size");
      image = std::make_unique<TImage>(store);
    } else {
      image = ProduceTextPicture(producer, name);
    }
    const TBitmap* bitmap = image->GetMipLevel(0);
    std::unique_ptr<TFileStream> out;
    try {
      out = TFileStream::CreateWrite(rest[1]);
    } catch (const EFileError&) {
      return Fail("render-text", "cannot write " + rest[1]);
    }
    SavePng(*bitmap, *out);
    std::printf("%d %d\n", bitmap->Width(), bitmap->Height());
    for (const TRect& r : producer.LineRects()) std::printf("line %d %d %d %d\n", r.Left, r.Top, r.Right, r.Bottom);
    return 0;
  } catch (const std::exception& e) {
    return Fail("render-text", e.what());
  }
}

int RunFonts(TArguments arguments) {
  std::vector<std::string> rest;
  std::string error;
  if (!TakeFontFiles(arguments, rest, error)) return Fail("fonts", error);
  std::vector<TString> names;
  for (const std::string& name : rest) names.push_back(Utf8ToString(name));
  if (names.empty()) {
    names = {u"Arial", u"Times New Roman", u"Courier New"};
    for (const TString& candidate : TFontReplacer::Instance().CandidateNames()) names.push_back(candidate);
  }
  // NAME<TAB>FAMILY<TAB>FILE, or "-" for a name that is not installed.
  for (const TString& name : names) {
    TFtFace* face = TFtFontLibrary::Instance().Find(name, 0, false);
    std::printf("%s\t%s\t%s\n", StringToUtf8(name).c_str(), face ? StringToUtf8(face->Family).c_str() : "-",
                face ? face->File.c_str() : "-");
  }
  return 0;
}

}  // namespace zel::tool
