#include "imaging/picture_metadata.h"

#include <iconv.h>
#include <libexif/exif-data.h>
#include <libiptcdata/iptc-data.h>
#include <libiptcdata/iptc-jpeg.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <memory>
#include <optional>
#include <string>

#include "core/streams.h"
#include "ini/text_reader.h"
#include "package/file_accessor.h"

namespace zel {

namespace {

constexpr uint8_t kExifHeader[6] = {'E', 'x', 'i', 'f', 0, 0};
constexpr uint8_t kPhotoshopHeader[14] = {'P', 'h', 'o', 't', 'o', 's', 'h', 'o', 'p', ' ', '3', '.', '0', 0};
constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
// More bytes than this never make a longer value, so no decoder looks further.
constexpr size_t kMaxValueBytes = kMaxMetadataChars * 4;

bool StartsWith(std::span<const uint8_t> bytes, std::span<const uint8_t> prefix) {
  return bytes.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), bytes.begin());
}

uint32_t LoadBE32(const uint8_t* p) {
  return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
         (static_cast<uint32_t>(p[2]) << 8) | p[3];
}

// ---------------------------------------------------------------------------
// Text

bool IsBlank(char16_t c) { return c <= 0x20; }

// Cut at the first NUL, without surrounding blanks, and not longer than the
// limit (never splitting a surrogate pair).
TString FinishValue(TString text) {
  if (const size_t nul = text.find(u'\0'); nul != TString::npos) text.resize(nul);
  size_t end = text.size();
  while (end > 0 && IsBlank(text[end - 1])) --end;
  size_t begin = 0;
  while (begin < end && IsBlank(text[begin])) ++begin;
  text = text.substr(begin, end - begin);
  if (text.size() > kMaxMetadataChars) {
    size_t keep = kMaxMetadataChars;
    if (text[keep - 1] >= 0xD800 && text[keep - 1] <= 0xDBFF) --keep;
    text.resize(keep);
  }
  return text;
}

std::span<const uint8_t> Bounded(std::span<const uint8_t> bytes) {
  return bytes.first(std::min(bytes.size(), kMaxValueBytes));
}

// Bytes in the ANSI code page of the process, up to the first NUL. A byte
// the code page leaves undefined is taken as Latin-1, as the system's own
// conversion does.
TString AnsiToText(std::span<const uint8_t> bytes) {
  bytes = Bounded(bytes);
  const TAnsiCodePage& codePage = TAnsiCodePage::Instance();
  TString text;
  for (size_t i = 0; i < bytes.size() && bytes[i] != 0; ++i) {
    const uint8_t b = bytes[i];
    if (codePage.IsLeadByte(b)) {
      if (i + 1 >= bytes.size()) break;  // a lead byte without its trail byte
      const char16_t c = codePage.Double(b, bytes[++i]);
      text.push_back(c != 0 ? c : u'\uFFFD');
    } else {
      const char16_t c = codePage.Single(b);
      text.push_back(c != 0 ? c : static_cast<char16_t>(b));
    }
  }
  return text;
}

TString Utf8ToText(std::span<const uint8_t> bytes) {
  bytes = Bounded(bytes);
  return Utf8ToString(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

// UTF-16 in the given byte order, unless a byte order mark says otherwise.
TString Utf16ToText(std::span<const uint8_t> bytes, bool bigEndian) {
  bytes = Bounded(bytes);
  if (bytes.size() >= 2 && ((bytes[0] == 0xFE && bytes[1] == 0xFF) || (bytes[0] == 0xFF && bytes[1] == 0xFE))) {
    bigEndian = bytes[0] == 0xFE;
    bytes = bytes.subspan(2);
  }
  TString text;
  text.reserve(bytes.size() / 2);
  for (size_t i = 0; i + 1 < bytes.size(); i += 2)
    text.push_back(static_cast<char16_t>(bigEndian ? (bytes[i] << 8) | bytes[i + 1] : bytes[i] | (bytes[i + 1] << 8)));
  return text;
}

// The whole input through iconv, or nothing when the character set is not
// known or the input is not valid in it.
std::optional<TString> ConvertWithIconv(const char* charset, const std::string& input) {
  iconv_t converter = iconv_open("UTF-16LE", charset);
  if (converter == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  std::string output(input.size() * 4 + 16, '\0');
  char* in = const_cast<char*>(input.data());
  size_t inLeft = input.size();
  char* out = output.data();
  size_t outLeft = output.size();
  const size_t result = iconv(converter, &in, &inLeft, &out, &outLeft);
  iconv_close(converter);
  if (result == static_cast<size_t>(-1)) return std::nullopt;
  TString text;
  const size_t produced = output.size() - outLeft;
  for (size_t i = 0; i + 1 < produced; i += 2)
    text.push_back(static_cast<char16_t>(static_cast<uint8_t>(output[i]) | (static_cast<uint8_t>(output[i + 1]) << 8)));
  return text;
}

// JIS X 0208 character codes (two 7-bit bytes each), read as ISO-2022-JP
// switched to that set; ANSI when they do not convert.
TString JisToText(std::span<const uint8_t> bytes) {
  bytes = Bounded(bytes);
  const auto nul = std::find(bytes.begin(), bytes.end(), uint8_t{0});
  std::string input = "\x1B$B";
  input.append(bytes.begin(), nul);
  if (auto text = ConvertWithIconv("ISO-2022-JP", input)) return *text;
  return AnsiToText(bytes);
}

// ---------------------------------------------------------------------------
// Containers: the metadata blocks copied out of a file, read through a
// source that never gives more than kMaxMetadataScanBytes in all.

struct TMetadataBlocks {
  std::vector<uint8_t> Exif;       // "Exif\0\0" and the TIFF structure
  std::vector<uint8_t> Photoshop;  // "Photoshop 3.0\0" and the image resources
};

class TByteSource {
 public:
  virtual ~TByteSource() = default;
  // Appends up to count bytes; false when fewer came.
  bool Append(std::vector<uint8_t>& out, size_t count) {
    const size_t wanted = std::min(count, fLeft);
    const size_t at = out.size();
    out.resize(at + wanted);
    const size_t got = DoRead(out.data() + at, wanted);
    out.resize(at + got);
    fLeft -= got;
    return got == count;
  }
  bool ReadExact(uint8_t* destination, size_t count) {
    if (count > fLeft) return false;
    const size_t got = DoRead(destination, count);
    fLeft -= got;
    return got == count;
  }
  bool Skip(size_t count) {
    const size_t wanted = std::min(count, fLeft);
    const size_t got = DoSkip(wanted);
    fLeft -= got;
    return got == count;
  }

 protected:
  virtual size_t DoRead(uint8_t* destination, size_t count) = 0;
  virtual size_t DoSkip(size_t count) = 0;

 private:
  size_t fLeft = kMaxMetadataScanBytes;
};

class TMemorySource : public TByteSource {
 public:
  explicit TMemorySource(std::span<const uint8_t> bytes) : fBytes(bytes) {}

 protected:
  size_t DoRead(uint8_t* destination, size_t count) override {
    const size_t n = DoSkip(count);
    if (n > 0) std::memcpy(destination, fBytes.data() + fPosition - n, n);
    return n;
  }
  size_t DoSkip(size_t count) override {
    const size_t n = std::min(count, fBytes.size() - fPosition);
    fPosition += n;
    return n;
  }

 private:
  std::span<const uint8_t> fBytes;
  size_t fPosition = 0;
};

// A stream error ends the source as if the stream ended there.
class TStreamSource : public TByteSource {
 public:
  explicit TStreamSource(TStream& stream) : fStream(stream) {}

 protected:
  size_t DoRead(uint8_t* destination, size_t count) override {
    size_t done = 0;
    while (done < count && !fFailed) {
      const size_t chunk = std::min<size_t>(count - done, 1 << 20);
      int32_t got = 0;
      try {
        got = fStream.Read(std::span<uint8_t>(destination + done, chunk));
      } catch (const std::exception&) {
        fFailed = true;
      }
      if (got <= 0) break;
      done += static_cast<size_t>(got);
    }
    return done;
  }
  size_t DoSkip(size_t count) override {
    uint8_t scratch[4096];
    size_t done = 0;
    while (done < count) {
      const size_t got = DoRead(scratch, std::min(count - done, sizeof scratch));
      if (got == 0) break;
      done += got;
    }
    return done;
  }

 private:
  TStream& fStream;
  bool fFailed = false;
};

// Keeps an APP1 or APP13 payload that holds metadata.
void TakeJpegSegment(uint8_t marker, std::vector<uint8_t> payload, TMetadataBlocks& blocks) {
  if (marker == 0xE1 && blocks.Exif.empty() && StartsWith(payload, kExifHeader)) {
    blocks.Exif = std::move(payload);
  } else if (marker == 0xED && StartsWith(payload, kPhotoshopHeader)) {
    if (blocks.Photoshop.empty()) blocks.Photoshop.assign(std::begin(kPhotoshopHeader), std::end(kPhotoshopHeader));
    blocks.Photoshop.insert(blocks.Photoshop.end(), payload.begin() + sizeof kPhotoshopHeader, payload.end());
  }
}

// The segments after the start-of-image marker, up to the start of the
// scan. A marker that is not where one must be, a length below 2 or the end
// of the data ends the walk with what was found so far.
void CollectJpegSegments(TByteSource& source, TMetadataBlocks& blocks) {
  for (;;) {
    uint8_t marker = 0;
    if (!source.ReadExact(&marker, 1) || marker != 0xFF) return;
    while (marker == 0xFF)  // fill bytes before the marker code
      if (!source.ReadExact(&marker, 1)) return;
    if (marker == 0xDA || marker == 0xD9 || marker == 0x00) return;
    if (marker == 0x01 || marker == 0xD8 || (marker >= 0xD0 && marker <= 0xD7)) continue;  // no length
    uint8_t length[2];
    if (!source.ReadExact(length, 2)) return;
    const size_t size = (static_cast<size_t>(length[0]) << 8) | length[1];
    if (size < 2) return;
    if (marker != 0xE1 && marker != 0xED) {
      if (!source.Skip(size - 2)) return;
      continue;
    }
    std::vector<uint8_t> payload;
    const bool whole = source.Append(payload, size - 2);
    TakeJpegSegment(marker, std::move(payload), blocks);  // a cut-off segment still gives what it holds
    if (!whole) return;
  }
}

// The chunks after the signature, up to the picture data.
void CollectPngChunks(TByteSource& source, TMetadataBlocks& blocks) {
  for (;;) {
    uint8_t header[8];
    if (!source.ReadExact(header, 8)) return;
    const uint32_t size = LoadBE32(header);
    const std::string_view type(reinterpret_cast<const char*>(header + 4), 4);
    if (size > 0x7FFFFFFFu || type == "IDAT" || type == "IEND") return;
    if (type == "eXIf") {
      blocks.Exif.assign(std::begin(kExifHeader), std::end(kExifHeader));
      source.Append(blocks.Exif, size);
      return;
    }
    if (!source.Skip(size_t{size} + 4)) return;  // the data and its check sum
  }
}

TMetadataBlocks CollectBlocks(TByteSource& source) {
  TMetadataBlocks blocks;
  uint8_t signature[8];
  if (!source.ReadExact(signature, 2)) return blocks;
  if (signature[0] == 0xFF && signature[1] == 0xD8) {
    CollectJpegSegments(source, blocks);
  } else if (signature[0] == kPngSignature[0] && signature[1] == kPngSignature[1] &&
             source.ReadExact(signature + 2, 6) && std::equal(signature, signature + 8, kPngSignature)) {
    CollectPngChunks(source, blocks);
  }
  return blocks;
}

// ---------------------------------------------------------------------------
// EXIF through libexif

struct TExifDataRelease {
  void operator()(ExifData* data) const { exif_data_unref(data); }
};

bool IsByteFormat(ExifFormat format) {
  return format == EXIF_FORMAT_ASCII || format == EXIF_FORMAT_BYTE || format == EXIF_FORMAT_SBYTE ||
         format == EXIF_FORMAT_UNDEFINED;
}

std::span<const uint8_t> EntryBytes(const ExifEntry* entry) {
  if (!entry || !entry->data) return {};
  return {entry->data, entry->size};
}

TString ExifTextValue(const ExifEntry* entry) {
  if (!entry || !IsByteFormat(entry->format)) return {};
  return FinishValue(AnsiToText(EntryBytes(entry)));
}

// A user comment: an 8-byte character code, then the text in it. Without a
// known code the whole value is taken as ANSI text.
TString UserCommentValue(const ExifEntry* entry, ExifByteOrder order) {
  const std::span<const uint8_t> bytes = EntryBytes(entry);
  if (bytes.size() < 8) return FinishValue(AnsiToText(bytes));
  const std::string_view code(reinterpret_cast<const char*>(bytes.data()), 8);
  const std::span<const uint8_t> text = bytes.subspan(8);
  if (code == std::string_view("ASCII\0\0\0", 8)) return FinishValue(AnsiToText(text));
  if (code == std::string_view("UNICODE\0", 8))
    return FinishValue(Utf16ToText(text, order == EXIF_BYTE_ORDER_MOTOROLA));
  if (code == std::string_view("JIS\0\0\0\0\0", 8)) return FinishValue(JisToText(text));
  if (code == std::string_view("\0\0\0\0\0\0\0\0", 8)) return FinishValue(AnsiToText(text));  // undefined
  return FinishValue(AnsiToText(bytes));
}

// The first entry with the tag, looking in the main directories before the
// thumbnail's.
ExifEntry* FirstEntry(ExifData* data, ExifTag tag) {
  for (ExifIfd ifd : {EXIF_IFD_0, EXIF_IFD_EXIF, EXIF_IFD_1, EXIF_IFD_GPS, EXIF_IFD_INTEROPERABILITY})
    if (ExifEntry* entry = exif_content_get_entry(data->ifd[ifd], tag)) return entry;
  return nullptr;
}

void ReadExif(std::span<const uint8_t> block, TPictureMetadata& metadata) {
  if (block.size() <= sizeof kExifHeader) return;
  std::unique_ptr<ExifData, TExifDataRelease> data(exif_data_new());
  if (!data) return;
  // Keep every entry where it was found, and let nothing be added or
  // "fixed" (the library would otherwise fill in a missing date-time).
  exif_data_unset_option(data.get(), EXIF_DATA_OPTION_IGNORE_UNKNOWN_TAGS);
  exif_data_unset_option(data.get(), EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
  const auto size = static_cast<unsigned int>(std::min<size_t>(block.size(), 0xFFFFFFFFu));
  exif_data_load_data(data.get(), block.data(), size);
  metadata.ExifDateTime = ExifTextValue(exif_content_get_entry(data->ifd[EXIF_IFD_0], EXIF_TAG_DATE_TIME));
  metadata.ExifDescription = ExifTextValue(FirstEntry(data.get(), EXIF_TAG_IMAGE_DESCRIPTION));
  metadata.ExifComment = UserCommentValue(FirstEntry(data.get(), EXIF_TAG_USER_COMMENT),
                                          exif_data_get_byte_order(data.get()));
}

// ---------------------------------------------------------------------------
// IPTC through libiptcdata

struct TIptcDataRelease {
  void operator()(IptcData* data) const { iptc_data_unref(data); }
};
// A dataset looked up in the data comes with a reference of its own.
struct TIptcDataSetRelease {
  void operator()(IptcDataSet* dataset) const { iptc_dataset_unref(dataset); }
};

void ReadIptc(std::span<const uint8_t> photoshop, TPictureMetadata& metadata) {
  if (photoshop.size() <= sizeof kPhotoshopHeader || photoshop.size() > 0xFFFFFFFFu) return;
  unsigned int length = 0;
  const int offset = iptc_jpeg_ps3_find_iptc(photoshop.data(), static_cast<unsigned int>(photoshop.size()), &length);
  if (offset <= 0 || length == 0 || static_cast<size_t>(offset) + length > photoshop.size()) return;
  std::unique_ptr<IptcData, TIptcDataRelease> data(iptc_data_new());
  if (!data) return;
  // A damaged dataset ends loading; those before it are kept.
  iptc_data_load(data.get(), photoshop.data() + offset, length);
  const bool utf8 = iptc_data_get_encoding(data.get()) == IPTC_ENCODING_UTF8;
  for (size_t i = 0; i < kIptcFields.size(); ++i) {
    const std::unique_ptr<IptcDataSet, TIptcDataSetRelease> dataset(
        iptc_data_get_dataset(data.get(), IPTC_RECORD_APP_2, static_cast<IptcTag>(kIptcFields[i].Dataset)));
    if (!dataset || !dataset->data) continue;
    const std::span<const uint8_t> bytes(dataset->data, dataset->size);
    metadata.IptcValues[i] = FinishValue(utf8 ? Utf8ToText(bytes) : AnsiToText(bytes));
  }
}

TPictureMetadata ReadBlocks(TByteSource& source) {
  TPictureMetadata metadata;
  const TMetadataBlocks blocks = CollectBlocks(source);
  ReadExif(blocks.Exif, metadata);
  ReadIptc(blocks.Photoshop, metadata);
  return metadata;
}

const TString& EmptyText() {
  static const TString empty;
  return empty;
}

}  // namespace

// ---------------------------------------------------------------------------

const TString& TPictureMetadata::Iptc(int dataset) const {
  for (size_t i = 0; i < kIptcFields.size(); ++i)
    if (kIptcFields[i].Dataset == dataset) return IptcValues[i];
  return EmptyText();
}

TString TPictureMetadata::ExifDate() const { return ExifDateTime.substr(0, ExifDateTime.find(u' ')); }

TString TPictureMetadata::ExifTime() const {
  const size_t space = ExifDateTime.find(u' ');
  return space == TString::npos ? TString() : ExifDateTime.substr(space + 1);
}

bool TPictureMetadata::Empty() const {
  return ExifDateTime.empty() && ExifComment.empty() && ExifDescription.empty() &&
         std::all_of(IptcValues.begin(), IptcValues.end(), [](const TString& v) { return v.empty(); });
}

TPictureMetadata ReadPictureMetadata(std::span<const uint8_t> fileBytes) {
  try {
    TMemorySource source(fileBytes);
    return ReadBlocks(source);
  } catch (const std::exception&) {  // out of memory
    return {};
  }
}

TPictureMetadata ReadPictureMetadata(TStream& stream) {
  try {
    TStreamSource source(stream);
    return ReadBlocks(source);
  } catch (const std::exception&) {
    return {};
  }
}

TPictureMetadata ReadPictureMetadata(TFileAccessor& accessor, TStringView name) {
  try {
    std::unique_ptr<TStream> stream = accessor.OpenStream(name);
    return stream ? ReadPictureMetadata(*stream) : TPictureMetadata();
  } catch (const std::exception&) {
    return {};
  }
}

std::vector<std::pair<std::string_view, TString>> MetadataMacroValues(const TPictureMetadata& metadata) {
  std::vector<std::pair<std::string_view, TString>> values = {{"Exif.Date", metadata.ExifDate()},
                                                              {"Exif.Time", metadata.ExifTime()},
                                                              {"Exif.Comment", metadata.ExifComment},
                                                              {"Exif.Description", metadata.ExifDescription}};
  for (size_t i = 0; i < kIptcFields.size(); ++i) values.emplace_back(kIptcFields[i].MacroName, metadata.IptcValues[i]);
  return values;
}

}  // namespace zel
