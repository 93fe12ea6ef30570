// Readers, the reader registry, line cutting and the writers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ini/text_reader.h"

namespace zel {
namespace {

using namespace std::string_literals;

struct TLine {
  TString text;
  int32_t end;
  bool operator==(const TLine&) const = default;
};

std::unique_ptr<TMemoryStream> StreamOf(const std::string& bytes) {
  auto stream = std::make_unique<TMemoryStream>();
  stream->Write(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
  stream->SetPosition(0);
  return stream;
}

std::vector<TLine> Lines(const std::string& bytes) {
  auto stream = StreamOf(bytes);
  TTextParser parser(*stream);
  std::vector<TLine> lines;
  for (bool more = parser.FirstLine(); more; more = parser.NextLine()) {
    EXPECT_EQ(parser.LineIndex(), static_cast<int32_t>(lines.size()));
    lines.push_back({parser.Line(), parser.LineEnd()});
  }
  return lines;
}

std::string Utf16LE(const TString& text, bool mark = true) {
  std::string bytes = mark ? "\xFF\xFE" : "";
  for (char16_t c : text) bytes += static_cast<char>(c & 0xFF), bytes += static_cast<char>(c >> 8);
  return bytes;
}

std::string ReaderClassFor(const std::string& bytes) {
  auto stream = StreamOf(bytes);
  auto reader = CreateReaderForStream(*stream);
  return reader ? reader->ClassName() : "";
}

TEST(ReaderRegistry, ChoosesByByteOrderMark) {
  EXPECT_EQ(ReaderClassFor("\xFF\xFE" "a\0"s), "TUnicodeReader");
  EXPECT_EQ(ReaderClassFor("\xFE\xFF\0a"s), "TUnicodeBEReader");
  EXPECT_EQ(ReaderClassFor("\xEF\xBB\xBF" "a"), "TUTF8Reader");
  EXPECT_EQ(ReaderClassFor("abc"), "TAnsiReader");
  EXPECT_EQ(ReaderClassFor("\xEF\xBB"), "TAnsiReader");  // a cut mark is no mark
  EXPECT_EQ(ReaderClassFor(""), "TAnsiReader");
  EXPECT_EQ(RegisteredReaderNames(),
            (std::vector<std::string>{"TUnicodeReader", "TUnicodeBEReader", "TUTF8Reader", "TAnsiReader"}));
}

TEST(ReaderRegistry, RefusedMarkLeavesStreamWhereItWas) {
  auto stream = StreamOf("\xEF\xBBxyz");
  auto reader = CreateReaderForStream(*stream);
  char16_t out[8];
  ASSERT_EQ(reader->Read(out, 8), 5);
  EXPECT_EQ(out[0], 0xEF);  // cp1252: U+00EF
  EXPECT_EQ(out[2], u'x');
}

TEST(Utf16Reader, LittleAndBigEndian) {
  EXPECT_EQ(Lines("\xFF\xFE" "a\0"s), (std::vector<TLine>{{u"a", leNone}}));
  EXPECT_EQ(Lines("\xFE\xFF\0a\0\r\0\n\x20\xAC"s), (std::vector<TLine>{{u"a", leCRLF}, {u"\u20AC", leNone}}));
}

TEST(Utf16Reader, OddTrailingByteIsDropped) {
  EXPECT_EQ(Lines("\xFF\xFE" "a\0b\0c"s), (std::vector<TLine>{{u"ab", leNone}}));
}

TEST(Utf16Reader, SurrogatesPassUnchecked) {
  EXPECT_EQ(Lines(Utf16LE(u"\xDC00x\xD800")), (std::vector<TLine>{{u"\xDC00x\xD800", leNone}}));
}

TEST(Utf8Reader, DecodesAndSplitsSupplementaryCharacters) {
  EXPECT_EQ(Lines("\xEF\xBB\xBF" "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"),
            (std::vector<TLine>{{u"\u00E9\u20AC\xD83D\xDE00", leNone}}));
}

TEST(Utf8Reader, OverlongFormsAccepted) {
  EXPECT_EQ(Lines("\xEF\xBB\xBF" "a\xC0\x80" "b"), (std::vector<TLine>{{TString(u"a\0b", 3), leNone}}));
}

TEST(Utf8Reader, InvalidBytesRaise) {
  EXPECT_THROW(Lines("\xEF\xBB\xBF" "\x80"), EInvalidChar);
  EXPECT_THROW(Lines("\xEF\xBB\xBF" "\xFE"), EInvalidChar);
  EXPECT_THROW(Lines("\xEF\xBB\xBF" "\xC3\x41"), EInvalidChar);
}

TEST(Utf8Reader, ValueBeyondSurrogateRangeRaises) {
  try {
    Lines("\xEF\xBB\xBF" "\xF7\xBF\xBF\xBF");
    FAIL() << "no exception";
  } catch (const EInvalidChar&) {
    FAIL() << "wrong class";
  } catch (const TCommonException& e) {
    EXPECT_EQ(e.Message(), "Illegal char range for surrogates");
  }
}

TEST(Utf8Reader, OneUnitOfRoomDeliversHighThenLowSurrogate) {
  auto stream = StreamOf("\xEF\xBB\xBF" "\xF0\x9F\x98\x80z");
  auto reader = CreateReaderForStream(*stream);
  TString text(1, u' ');
  ASSERT_EQ(reader->ReadChars(text, 1, 5), 1);  // n is cut to the room
  EXPECT_EQ(text[0], 0xD83D);
  auto position = reader->GetPosition();
  ASSERT_EQ(reader->ReadChars(text, 1, 1), 1);
  EXPECT_EQ(text[0], 0xDE00);
  // Back to the saved position: the pending low surrogate comes again.
  reader->SetPosition(*position);
  TString rest(4, u' ');
  ASSERT_EQ(reader->ReadChars(rest, 1, 4), 2);
  EXPECT_EQ(rest.substr(0, 2), u"\xDE00z");
}

TEST(Utf8Reader, SequenceAcrossByteBufferRefill) {
  // The 32,768-byte buffer ends in the middle of a three-byte sequence.
  std::string bytes = "\xEF\xBB\xBF" + std::string(32764, 'a') + "\xE2\x82\xAC" "b";
  auto lines = Lines(bytes);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].text.size(), 32766u);
  EXPECT_EQ(lines[0].text.substr(32764), u"\u20AC" "b");
}

TEST(AnsiReader, TextWithoutMarkIsReadThroughCodePageEvenIfValidUtf8) {
  // "é" in UTF-8 is two bytes; through code page 1252 they are two characters.
  EXPECT_EQ(Lines("\xC3\xA9\x80"), (std::vector<TLine>{{u"\u00C3\u00A9\u20AC", leNone}}));
}

TEST(AnsiCodePage, DoubleByteTables) {
  const TAnsiCodePage sjis(932);
  ASSERT_EQ(sjis.CodePage(), 932);
  EXPECT_TRUE(sjis.IsLeadByte(0x82));
  EXPECT_FALSE(sjis.IsLeadByte(0x41));
  EXPECT_EQ(sjis.Double(0x82, 0xA0), 0x3042);  // HIRAGANA LETTER A
  EXPECT_EQ(sjis.Single(0x41), u'A');
  const TAnsiCodePage big5(950);
  EXPECT_TRUE(big5.IsLeadByte(0xA4));
  EXPECT_EQ(big5.Double(0xA4, 0x40), 0x4E00);
  const TAnsiCodePage unknown(99999);
  EXPECT_EQ(unknown.CodePage(), 1252);
}

TEST(AnsiReader, PositionRoundTrip) {
  std::string bytes(5000, 'x');
  bytes[4500] = 'Q';
  auto stream = StreamOf(bytes);
  TAnsiReader reader(*stream);
  std::vector<char16_t> out(5000);
  ASSERT_EQ(reader.Read(out.data(), 4500), 4500);
  auto position = reader.GetPosition();
  ASSERT_EQ(reader.Read(out.data(), 10), 10);
  EXPECT_EQ(out[0], u'Q');
  reader.SetPosition(*position);
  ASSERT_EQ(reader.Read(out.data(), 1), 1);
  EXPECT_EQ(out[0], u'Q');
}

TEST(TextReader, ForeignPositionRejected) {
  auto a = StreamOf(Utf16LE(u"ab"));
  auto b = StreamOf(Utf16LE(u"ab"));
  TUnicodeReader readerA(*a), readerB(*b);
  auto position = readerA.GetPosition();
  EXPECT_THROW(readerB.SetPosition(*position), EIncorrectPositionValue);
  TAnsiReader ansi(*b);
  EXPECT_THROW(ansi.SetPosition(*position), EIncorrectPositionValue);
}

TEST(TextReader, SkipChars) {
  auto stream = StreamOf(std::string(5000, 'a') + "b");
  TAnsiReader reader(*stream);
  EXPECT_EQ(reader.SkipChars(0), 0);
  EXPECT_EQ(reader.SkipChars(5000), 5000);
  EXPECT_EQ(reader.SkipChars(10), 1);
}

TEST(LineParser, LineEndKinds) {
  EXPECT_EQ(Lines("x\r\ny"), (std::vector<TLine>{{u"x", leCRLF}, {u"y", leNone}}));
  EXPECT_EQ(Lines("x\n\ry"), (std::vector<TLine>{{u"x", leLFCR}, {u"y", leNone}}));
  EXPECT_EQ(Lines("x\r\ry"), (std::vector<TLine>{{u"x", leCR}, {u"", leCR}, {u"y", leNone}}));
  EXPECT_EQ(Lines("x\n\ny\n"), (std::vector<TLine>{{u"x", leLF}, {u"", leLF}, {u"y", leLF}}));
}

TEST(LineParser, NoTrailingEmptyLineAndNoLineForEmptyText) {
  EXPECT_EQ(Lines("a\r\n"), (std::vector<TLine>{{u"a", leCRLF}}));
  EXPECT_TRUE(Lines("").empty());
  EXPECT_TRUE(Lines("\xFF\xFE").empty());
  EXPECT_EQ(Lines("\r\n"), (std::vector<TLine>{{u"", leCRLF}}));
}

TEST(LineParser, LineEndPairAcrossCharacterBufferBoundary) {
  for (const char* end : {"\r\n", "\n\r"}) {
    std::string text(4095, 'a');
    text += end;
    text += "b";
    const auto lines = Lines(text);
    ASSERT_EQ(lines.size(), 2u) << end;
    EXPECT_EQ(lines[0].text.size(), 4095u);
    EXPECT_EQ(lines[0].end, end[0] == '\r' ? leCRLF : leLFCR);
    EXPECT_EQ(lines[1].text, u"b");
  }
  // CR as the last unit of the buffer, CR again in the next fill: two ends.
  std::string text(4095, 'a');
  text += "\r\rb";
  EXPECT_EQ(Lines(text).size(), 3u);
  // A line straddling several refills is joined.
  std::string longLine(10000, 'z');
  const auto lines = Lines("q\n" + longLine + "\r\nw");
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[1].text, Utf8ToString(longLine));
}

TEST(LineParser, LineStartOffsetsAndRestart) {
  auto stream = StreamOf("\xFF\xFE" + Utf16LE(u"ab\r\ncd", false));
  TTextParser parser(*stream);
  ASSERT_TRUE(parser.FirstLine());
  EXPECT_EQ(parser.LineStart(), 0);
  ASSERT_TRUE(parser.NextLine());
  EXPECT_EQ(parser.LineStart(), 4);
  EXPECT_FALSE(parser.NextLine());
  EXPECT_TRUE(parser.Line().empty());
  ASSERT_TRUE(parser.FirstLine());  // read the text a second time
  EXPECT_EQ(parser.Line(), u"ab");
  EXPECT_EQ(parser.LineIndex(), 0);
}

TEST(LineParser, NoStream) {
  TTextParser parser;
  EXPECT_FALSE(parser.FirstLine());
}

TEST(StringParser, ScanHelpers) {
  auto stream = StreamOf("  ab;c ");
  TTextParser parser(*stream);
  ASSERT_TRUE(parser.FirstLine());
  EXPECT_EQ(parser.SkipForward(1, 7, IsBlank), 3);
  EXPECT_EQ(parser.SkipBackward(7, 1, IsBlank), 6);
  EXPECT_EQ(parser.FindCharForward(1, 7, u";"), 5);
  EXPECT_EQ(parser.FindCharForward(1, 7, u"xy"), 8);
  EXPECT_EQ(parser.FindCharBackward(7, 1, u"ba"), 4);
  EXPECT_EQ(parser.FindCharBackward(7, 5, u"a"), 4);
  EXPECT_EQ(parser.FindForward(1, 7, IsBlank), 1);
}

std::string Written(const std::function<void(TTextWriter&)>& body, bool utf8) {
  TMemoryStream stream;
  {
    std::unique_ptr<TTextWriter> writer;
    if (utf8)
      writer = std::make_unique<TUTF8Writer>(&stream);
    else
      writer = std::make_unique<TUnicodeWriter>(&stream);
    body(*writer);
  }
  const auto bytes = stream.Bytes();
  return std::string(bytes.begin(), bytes.end());
}

TEST(Writers, Utf8) {
  EXPECT_EQ(Written([](TTextWriter& w) { w.Write(u"a\u00E9\u20AC\xD83D\xDE00", leLFCR); }, true),
            "\xEF\xBB\xBF" "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\n\r");
  EXPECT_EQ(Written([](TTextWriter& w) { w.WriteLn(u"x"), w.WriteLineEnd(leCR), w.Write(u"\xD800", leNone); }, true),
            "\xEF\xBB\xBF" "x\r\n\r\xED\xA0\x80");
  EXPECT_THROW(Written([](TTextWriter& w) { w.Write(u"\xD800x", leNone); }, true), EInvalidChar);
}

TEST(Writers, Utf16) {
  EXPECT_EQ(Written([](TTextWriter& w) { w.Write(u"a", leCRLF), w.WriteLineEnd(leLF); }, false),
            std::string("\xFF\xFE" "a\0\r\0\n\0\n\0", 10));
}

TEST(Writers, LargeOutputAcrossBufferFlushes) {
  TString big(40000, u'\u20AC');
  const std::string out = Written([&](TTextWriter& w) { w.Write(big, leNone); }, true);
  ASSERT_EQ(out.size(), 3u + 3u * 40000u);
  auto stream = StreamOf(out);
  TTextParser parser(*stream);
  ASSERT_TRUE(parser.FirstLine());
  EXPECT_EQ(parser.Line(), big);
}

class TShortStream : public TMemoryStream {
 protected:
  int32_t DoWrite(std::span<const uint8_t> source) override {
    return TMemoryStream::DoWrite(source.first(source.size() / 2));
  }
};

TEST(Writers, ShortWriteRaises) {
  TShortStream stream;
  EXPECT_THROW(TUTF8Writer writer(&stream), EStreamWriteError);
}

}  // namespace
}  // namespace zel
