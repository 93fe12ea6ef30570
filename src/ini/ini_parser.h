// The INI syntax, parser and writer.
//
// TIniParser builds the document tree from text, one line at a
// time; TIniFile loads and saves a whole document; TIniSaver writes it as
// UTF-8 with a byte-order mark and CR LF line ends; the single-line form
// (TIni2Str) stores a whole document as one line.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "ini/ini_document.h"
#include "ini/text_reader.h"

namespace zel {

// Grammar error codes (reported, never fatal).
enum TIniError : int32_t {
  ieEndWithoutObject = 0,  // "end" while no object is open: line dropped
  ieObjectNotClosed = 1,   // end of text with objects still open
  ieBadLine = 2,           // not a recognised line: dropped
};

// (document, error code, 1-based column, 0-based line index).
using TIniErrorCallback = std::function<void(TIniStorage& document, int32_t code, int32_t column, int32_t line)>;
// Receives the first word of a line, folded; true: it opens an object.
using TIniKeywordRecognizer = std::function<bool(TStringView foldedWord)>;

class TIniParser : public TTextParser {
 public:
  explicit TIniParser(TIniStorage& document) : fDocument(document), fCurrent(&document) {}

  void SetErrorCallback(TIniErrorCallback callback) { fOnError = std::move(callback); }
  void SetKeywordRecognizer(TIniKeywordRecognizer recognizer) { fRecognizer = std::move(recognizer); }

  // Parses the attached text from its first line to its end, linking the
  // items into the document. Reader errors pass through.
  void Parse();

 private:
  void ParseLine();
  void Error(int32_t code, int32_t column);

  TIniStorage& fDocument;
  TIniIdentList* fCurrent;
  std::vector<TIniIdentList*> fStack;
  TIniErrorCallback fOnError;
  TIniKeywordRecognizer fRecognizer;
};

// Parses a stream into a document (children removed first). Grammar errors
// only go to the callback; reader errors pass through.
void IniParseStream(TIniStorage& document, TStream& stream, const TIniErrorCallback& onError = {},
                    const TIniKeywordRecognizer& recognizer = {});

// The writer: UTF-8 with byte-order mark, every line ended by CR LF.
class TIniSaver : public TIniLineSink {
 public:
  explicit TIniSaver(TStream& stream) : fWriter(&stream) {}
  void AddLine(TStringView line) override { fWriter.WriteLn(line); }
  void AddEmptyLine() override { fWriter.WriteCRLF(); }
  void Flush() { fWriter.Flush(); }

 private:
  TUTF8Writer fWriter;
};

// The single-line form: each line followed by "/n", "/" doubled.
class TIni2Str : public TIniLineSink {
 public:
  TIni2Str() { fBuffer.reserve(256); }
  void AddLine(TStringView line) override;
  void AddEmptyLine() override;
  const TString& Text() const noexcept { return fBuffer; }

 private:
  void Append(char16_t c);
  TString fBuffer;
};

// Document to single-line text; false when anything raises.
bool IniToSingleLine(const TIniStorage& document, TString& text);
// Single-line text to document; false for a bad escape (nothing loaded) or
// a failed load.
bool SingleLineToIni(TStringView text, TIniStorage& document);

class TIniFile : public TIniStorage {
 public:
  TIniFile() = default;

  // Removes all children, clears the file name and parses the stream from
  // its position. Reader errors pass through (the loaded flag is false).
  bool LoadFromStream(TStream& stream);
  // Any failure to open, read or decode gives false.
  bool LoadFromFile(const std::string& fileName);
  // False when anything raises.
  bool SaveToStream(TStream& stream) const;
  bool SaveToFile(const std::string& fileName) const;

  const std::string& FileName() const noexcept { return fFileName; }
  bool Loaded() const noexcept { return fLoaded; }
  void SetErrorCallback(TIniErrorCallback callback) { fOnError = std::move(callback); }
  void SetKeywordRecognizer(TIniKeywordRecognizer recognizer) { fRecognizer = std::move(recognizer); }

 private:
  std::string fFileName;
  TIniErrorCallback fOnError;
  TIniKeywordRecognizer fRecognizer;
  bool fLoaded = false;
};

// Writes any document through a TIniSaver; false when anything raises.
bool IniSaveToStream(const TIniStorage& document, TStream& stream);

}  // namespace zel
