#include "package/package_writer.h"

#include <vector>

#include "package/z_compress.h"

namespace zel {

TZelPackWriter::TZelPackWriter(TStream& out) : fOut(out) {
  // The protection section comes first, as packages always have it.
  fIndex.WriteString(AsciiToString(kProtectionSection), u"allowmodify", u"0");
}

void TZelPackWriter::AddEntry(TStringView name, TStream& content, uint8_t method) {
  const int64_t position = fOut.GetPosition();
  int64_t size = 0;
  switch (method) {
    case pmDeflated: size = DeflateRaw(content, fOut); break;
    case pmScrambled: {
      const std::string key = kEntryKey;
      std::vector<uint8_t> buffer(65536);
      int32_t got;
      while ((got = content.Read(buffer)) > 0) {
        for (int32_t i = 0; i < got; ++i) buffer[static_cast<size_t>(i)] ^= static_cast<uint8_t>(key[static_cast<size_t>((size + i) % static_cast<int64_t>(key.size()))]);
        if (fOut.Write(buffer, got) != got) throw EStreamWriteError();
        size += got;
      }
      break;
    }
    default: size = fOut.CopyFrom(content, content.GetSize() < 0 ? INT64_MAX : content.GetSize() - content.GetPosition());
  }
  const TString section = EntryIndexName(name);
  fIndex.WriteInteger(section, u"_ps", position);
  fIndex.WriteInteger(section, u"_sz", size);
  fIndex.WriteInteger(section, u"_pm", method);
  ++fCount;
}

void TZelPackWriter::Finish(bool appended, bool allowModify, TStringView zelVersion) {
  const int64_t indexPosition = fOut.GetPosition();
  const TString protection = AsciiToString(kProtectionSection);
  fIndex.WriteInteger(protection, u"strucpos", indexPosition);
  fIndex.WriteString(protection, u"allowmodify", allowModify ? u"1" : u"0");
  fIndex.WriteString(protection, u"zelversion", zelVersion);
  TMemoryStream text;
  if (!fIndex.SaveToStream(text)) throw EStreamWriteError("The package index could not be written");
  text.SetPosition(0);
  DeflateRaw(text, fOut);
  fOut.WriteUInt32(static_cast<uint32_t>(indexPosition));
  fOut.WriteUInt32(static_cast<uint32_t>(static_cast<uint64_t>(indexPosition) >> 32));
  fOut.WriteAnsiString(".dne");
  if (appended) {
    // Everything in front of this value: the package then starts at byte 0.
    const auto length = static_cast<uint64_t>(fOut.GetPosition());
    fOut.WriteUInt32(static_cast<uint32_t>(length));
    fOut.WriteUInt32(static_cast<uint32_t>(length >> 32));
  }
}

}  // namespace zel
