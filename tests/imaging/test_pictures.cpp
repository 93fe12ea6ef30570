#include "imaging/test_pictures.h"

#include <jpeglib.h>
#include <png.h>
#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <unordered_map>

namespace zel::testing {

namespace {

void Put16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}
void Set32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// RLE8 / RLE4 coding of one row of indexes: runs of equal pixels become
// encoded runs, the rest literal runs of at least three pixels.
void RleRow(std::vector<uint8_t>& out, const uint8_t* row, int width, bool four) {
  int x = 0;
  while (x < width) {
    int run = 1;
    while (x + run < width && run < 255 && row[x + run] == row[x]) ++run;
    if (run >= 2) {
      out.push_back(static_cast<uint8_t>(run));
      out.push_back(four ? static_cast<uint8_t>((row[x] << 4) | row[x]) : row[x]);
      x += run;
      continue;
    }
    int literal = 1;
    while (x + literal < width && literal < 255 && !(x + literal + 1 < width && row[x + literal] == row[x + literal + 1]))
      ++literal;
    if (literal < 3) {
      out.push_back(1);
      out.push_back(four ? static_cast<uint8_t>(row[x] << 4) : row[x]);
      ++x;
      continue;
    }
    out.push_back(0);
    out.push_back(static_cast<uint8_t>(literal));
    size_t bytes = 0;
    if (four) {
      for (int i = 0; i < literal; i += 2, ++bytes)
        out.push_back(static_cast<uint8_t>((row[x + i] << 4) | (i + 1 < literal ? row[x + i + 1] : 0)));
    } else {
      for (int i = 0; i < literal; ++i, ++bytes) out.push_back(row[x + i]);
    }
    if (bytes & 1) out.push_back(0);
    x += literal;
  }
}

}  // namespace

TTestImage PatternImage(int width, int height, uint32_t seed, bool withAlpha) {
  TTestImage image(width, height);
  uint32_t state = seed * 2654435761u + 1;
  for (auto& pixel : image.Pixels) {
    state = state * 1664525u + 1013904223u;
    pixel = (state >> 8) | (withAlpha ? (state & 0xFF) << 24 : 0xFF000000u);
  }
  return image;
}

::testing::AssertionResult SamePixels(const TBitmap& bitmap, const TTestImage& expected, int tolerance) {
  if (bitmap.Width() != expected.Width || bitmap.Height() != expected.Height)
    return ::testing::AssertionFailure() << "size " << bitmap.Width() << "x" << bitmap.Height() << ", expected "
                                         << expected.Width << "x" << expected.Height;
  for (int y = 0; y < expected.Height; ++y)
    for (int x = 0; x < expected.Width; ++x) {
      const uint32_t got = bitmap.PixelColor(x, y), want = expected.At(x, y);
      for (int shift = 0; shift < 32; shift += 8) {
        const int d = static_cast<int>((got >> shift) & 0xFF) - static_cast<int>((want >> shift) & 0xFF);
        if (d > tolerance || d < -tolerance) {
          char text[96];
          std::snprintf(text, sizeof text, "pixel (%d,%d) is %08X, expected %08X", x, y, got, want);
          return ::testing::AssertionFailure() << text;
        }
      }
    }
  return ::testing::AssertionSuccess();
}

std::vector<uint8_t> MakeBmp(const TBmpLayout& layout) {
  const int w = layout.Width, h = layout.Height;
  std::vector<uint8_t> pixels;
  const bool paletted = layout.Bits <= 8;
  if (layout.Compression == 1 || layout.Compression == 2) {
    for (int fileRow = 0; fileRow < h; ++fileRow) {
      const int y = layout.TopDown ? fileRow : h - 1 - fileRow;
      RleRow(pixels, layout.Indexes.data() + static_cast<size_t>(y) * w, w, layout.Compression == 2);
      pixels.push_back(0);
      pixels.push_back(fileRow == h - 1 ? 1 : 0);  // end of line, or of bitmap
    }
  } else {
    const size_t stride = ((static_cast<size_t>(layout.Bits) * w + 31) / 32) * 4;
    pixels.assign(stride * h, 0);
    for (int fileRow = 0; fileRow < h; ++fileRow) {
      const int y = layout.TopDown ? fileRow : h - 1 - fileRow;
      uint8_t* row = pixels.data() + stride * fileRow;
      for (int x = 0; x < w; ++x) {
        if (paletted) {
          const uint8_t index = layout.Indexes[static_cast<size_t>(y) * w + x];
          if (layout.Bits == 8) row[x] = index;
          else if (layout.Bits == 4) row[x / 2] |= (x & 1) ? index : static_cast<uint8_t>(index << 4);
          else row[x / 8] |= static_cast<uint8_t>(index << (7 - x % 8));
          continue;
        }
        const uint32_t c = layout.Pixels[static_cast<size_t>(y) * w + x];
        const uint32_t r = (c >> 16) & 0xFF, g = (c >> 8) & 0xFF, b = c & 0xFF;
        if (layout.Bits == 16) {
          const uint32_t v = layout.GreenMask == 0x07E0 ? ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3)
                                                      : ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3);
          row[2 * x] = static_cast<uint8_t>(v);
          row[2 * x + 1] = static_cast<uint8_t>(v >> 8);
        } else {
          const int bpp = layout.Bits / 8;
          row[bpp * x] = static_cast<uint8_t>(b);
          row[bpp * x + 1] = static_cast<uint8_t>(g);
          row[bpp * x + 2] = static_cast<uint8_t>(r);
          if (bpp == 4) row[bpp * x + 3] = static_cast<uint8_t>(c >> 24);
        }
      }
    }
  }
  std::vector<uint8_t> file;
  file.push_back('B');
  file.push_back('M');
  Put32(file, 0);  // size, set below
  Put32(file, 0);
  Put32(file, 0);  // data offset, set below
  Put32(file, 40);
  Put32(file, static_cast<uint32_t>(w));
  Put32(file, static_cast<uint32_t>(layout.TopDown ? -h : h));
  Put16(file, 1);
  Put16(file, static_cast<uint32_t>(layout.Bits));
  Put32(file, static_cast<uint32_t>(layout.Compression));
  Put32(file, static_cast<uint32_t>(pixels.size()));
  Put32(file, 2835);
  Put32(file, 2835);
  Put32(file, layout.ColorsUsed);
  Put32(file, 0);
  if (layout.Compression == 3) {
    const bool six = layout.GreenMask == 0x07E0;
    if (layout.Bits == 16) {
      Put32(file, six ? 0xF800 : 0x7C00);
      Put32(file, layout.GreenMask);
      Put32(file, 0x001F);
    } else {
      Put32(file, 0x00FF0000);
      Put32(file, 0x0000FF00);
      Put32(file, 0x000000FF);
    }
  }
  for (uint32_t c : layout.Palette) Put32(file, c & 0x00FFFFFF);
  Set32(file, 10, static_cast<uint32_t>(file.size()));
  file.insert(file.end(), pixels.begin(), pixels.end());
  Set32(file, 2, static_cast<uint32_t>(file.size()));
  return file;
}

// ---------------------------------------------------------------------------

std::vector<uint8_t> LzwEncode(const std::vector<uint8_t>& indexes, int minCodeSize) {
  std::vector<uint8_t> bytes;
  uint32_t bits = 0;
  int bitCount = 0;
  const int clear = 1 << minCodeSize, end = clear + 1;
  int codeSize = minCodeSize + 1, next = end + 1;
  auto emit = [&](int code) {
    bits |= static_cast<uint32_t>(code) << bitCount;
    bitCount += codeSize;
    while (bitCount >= 8) {
      bytes.push_back(static_cast<uint8_t>(bits));
      bits >>= 8;
      bitCount -= 8;
    }
  };
  std::unordered_map<uint32_t, int> table;
  emit(clear);
  if (!indexes.empty()) {
    int prefix = indexes[0];
    for (size_t i = 1; i < indexes.size(); ++i) {
      const uint32_t key = (static_cast<uint32_t>(prefix) << 8) | indexes[i];
      if (auto found = table.find(key); found != table.end()) {
        prefix = found->second;
        continue;
      }
      emit(prefix);
      if (next < 4096) {
        table[key] = next++;
        if (next > (1 << codeSize) && codeSize < 12) ++codeSize;
      } else {
        emit(clear);
        table.clear();
        codeSize = minCodeSize + 1;
        next = end + 1;
      }
      prefix = indexes[i];
    }
    emit(prefix);
  }
  emit(end);
  if (bitCount > 0) bytes.push_back(static_cast<uint8_t>(bits));
  return bytes;
}

namespace {

int TableBits(size_t entries) {
  int bits = 1;
  while ((size_t{1} << bits) < entries && bits < 8) ++bits;
  return bits;
}

void PutColorTable(std::vector<uint8_t>& out, const std::vector<uint32_t>& palette, int bits) {
  for (size_t i = 0; i < (size_t{1} << bits); ++i) {
    const uint32_t c = i < palette.size() ? palette[i] : 0;
    out.push_back(static_cast<uint8_t>(c >> 16));
    out.push_back(static_cast<uint8_t>(c >> 8));
    out.push_back(static_cast<uint8_t>(c));
  }
}

void PutSubBlocks(std::vector<uint8_t>& out, const std::vector<uint8_t>& data) {
  for (size_t at = 0; at < data.size(); at += 255) {
    const size_t n = std::min<size_t>(255, data.size() - at);
    out.push_back(static_cast<uint8_t>(n));
    out.insert(out.end(), data.begin() + static_cast<std::ptrdiff_t>(at), data.begin() + static_cast<std::ptrdiff_t>(at + n));
  }
  out.push_back(0);
}

}  // namespace

std::vector<uint8_t> MakeGif(const TGifLayout& layout) {
  const std::string_view signature = layout.Version87 ? "GIF87a" : "GIF89a";
  std::vector<uint8_t> out(signature.begin(), signature.end());
  Put16(out, static_cast<uint32_t>(layout.Width));
  Put16(out, static_cast<uint32_t>(layout.Height));
  const int globalBits = layout.GlobalPalette.empty() ? 0 : TableBits(layout.GlobalPalette.size());
  out.push_back(static_cast<uint8_t>(layout.GlobalPalette.empty() ? 0 : 0x80 | (globalBits - 1)));
  out.push_back(0);
  out.push_back(0);
  if (!layout.GlobalPalette.empty()) PutColorTable(out, layout.GlobalPalette, globalBits);
  if (layout.Loops >= 0) {
    out.insert(out.end(), {0x21, 0xFF, 11});
    for (char c : std::string_view("NETSCAPE2.0")) out.push_back(static_cast<uint8_t>(c));
    out.insert(out.end(), {3, 1});
    Put16(out, static_cast<uint32_t>(layout.Loops));
    out.push_back(0);
  }
  out.insert(out.end(), {0x21, 0xFE, 5, 'h', 'e', 'l', 'l', 'o', 0});  // a comment to skip
  for (const auto& frame : layout.Frames) {
    if (frame.GraphicControl) {
      out.insert(out.end(), {0x21, 0xF9, 4});
      out.push_back(static_cast<uint8_t>((frame.Disposal << 2) | (frame.Transparent >= 0 ? 1 : 0)));
      Put16(out, static_cast<uint32_t>(frame.Delay));
      out.push_back(static_cast<uint8_t>(frame.Transparent >= 0 ? frame.Transparent : 0));
      out.push_back(0);
    }
    out.push_back(0x2C);
    Put16(out, static_cast<uint32_t>(frame.Left));
    Put16(out, static_cast<uint32_t>(frame.Top));
    Put16(out, static_cast<uint32_t>(frame.Width));
    Put16(out, static_cast<uint32_t>(frame.Height));
    const int localBits = frame.LocalPalette.empty() ? 0 : TableBits(frame.LocalPalette.size());
    out.push_back(static_cast<uint8_t>((frame.LocalPalette.empty() ? 0 : 0x80 | (localBits - 1)) |
                                       (frame.Interlaced ? 0x40 : 0)));
    if (!frame.LocalPalette.empty()) PutColorTable(out, frame.LocalPalette, localBits);
    // The file holds interlaced rows in pass order.
    std::vector<uint8_t> ordered;
    std::vector<int> rows;
    if (frame.Interlaced) {
      for (int y = 0; y < frame.Height; y += 8) rows.push_back(y);
      for (int y = 4; y < frame.Height; y += 8) rows.push_back(y);
      for (int y = 2; y < frame.Height; y += 4) rows.push_back(y);
      for (int y = 1; y < frame.Height; y += 2) rows.push_back(y);
    } else {
      for (int y = 0; y < frame.Height; ++y) rows.push_back(y);
    }
    for (int y : rows)
      ordered.insert(ordered.end(), frame.Indexes.begin() + static_cast<std::ptrdiff_t>(y) * frame.Width,
                     frame.Indexes.begin() + static_cast<std::ptrdiff_t>(y + 1) * frame.Width);
    const int bitsForCodes = std::max(2, std::max(globalBits, localBits));
    const int minCodeSize = layout.MinCodeSize > 0 ? layout.MinCodeSize : bitsForCodes;
    out.push_back(static_cast<uint8_t>(minCodeSize));
    PutSubBlocks(out, LzwEncode(ordered, minCodeSize));
  }
  out.push_back(0x3B);
  return out;
}

// ---------------------------------------------------------------------------

namespace {

void PngWriteToVector(png_structp png, png_bytep data, size_t count) {
  auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + count);
}
void PngFlushNothing(png_structp) {}

std::vector<uint8_t> WritePng(int width, int height, int colorType, int bitDepth, bool interlaced,
                              const std::vector<std::vector<uint8_t>>& rows, const std::vector<uint32_t>* palette) {
  std::vector<uint8_t> out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    throw std::runtime_error("test PNG writer failed");
  }
  png_set_write_fn(png, &out, PngWriteToVector, PngFlushNothing);
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), bitDepth, colorType,
               interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  std::vector<png_color> colors;
  std::vector<png_byte> alphas;
  if (palette) {
    bool anyAlpha = false;
    for (uint32_t c : *palette) {
      colors.push_back({static_cast<png_byte>(c >> 16), static_cast<png_byte>(c >> 8), static_cast<png_byte>(c)});
      alphas.push_back(static_cast<png_byte>(c >> 24));
      anyAlpha = anyAlpha || (c >> 24) != 255;
    }
    png_set_PLTE(png, info, colors.data(), static_cast<int>(colors.size()));
    if (anyAlpha) png_set_tRNS(png, info, alphas.data(), static_cast<int>(alphas.size()), nullptr);
  }
  png_write_info(png, info);
  std::vector<png_bytep> pointers;
  for (const auto& row : rows) pointers.push_back(const_cast<png_bytep>(row.data()));
  png_write_image(png, pointers.data());
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return out;
}

}  // namespace

std::vector<uint8_t> MakePngColor(const TTestImage& image, bool alpha, bool interlaced, int bitDepth) {
  const int channels = alpha ? 4 : 3;
  const int bytes = bitDepth / 8;
  std::vector<std::vector<uint8_t>> rows(static_cast<size_t>(image.Height));
  for (int y = 0; y < image.Height; ++y) {
    auto& row = rows[static_cast<size_t>(y)];
    for (int x = 0; x < image.Width; ++x) {
      const uint32_t c = image.At(x, y);
      const uint8_t v[4] = {static_cast<uint8_t>(c >> 16), static_cast<uint8_t>(c >> 8), static_cast<uint8_t>(c),
                            static_cast<uint8_t>(c >> 24)};
      for (int k = 0; k < channels; ++k)
        for (int b = 0; b < bytes; ++b) row.push_back(b == 0 ? v[k] : static_cast<uint8_t>(x * 7 + y));
    }
  }
  return WritePng(image.Width, image.Height, alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, bitDepth,
                  interlaced, rows, nullptr);
}

std::vector<uint8_t> MakePngPalette(int width, int height, const std::vector<uint8_t>& indexes,
                                    const std::vector<uint32_t>& palette, int bitDepth) {
  std::vector<std::vector<uint8_t>> rows(static_cast<size_t>(height));
  for (int y = 0; y < height; ++y) {
    auto& row = rows[static_cast<size_t>(y)];
    row.assign((static_cast<size_t>(width) * bitDepth + 7) / 8, 0);
    for (int x = 0; x < width; ++x) {
      const uint8_t index = indexes[static_cast<size_t>(y) * width + x];
      const int perByte = 8 / bitDepth;
      const int shift = 8 - bitDepth * (x % perByte + 1);
      row[static_cast<size_t>(x / perByte)] |= static_cast<uint8_t>(index << shift);
    }
  }
  return WritePng(width, height, PNG_COLOR_TYPE_PALETTE, bitDepth, false, rows, &palette);
}

std::vector<uint8_t> MakePngGrey(int width, int height, const std::vector<uint8_t>& greys, bool withAlpha) {
  std::vector<std::vector<uint8_t>> rows(static_cast<size_t>(height));
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      rows[static_cast<size_t>(y)].push_back(greys[static_cast<size_t>(y) * width + x]);
      if (withAlpha) rows[static_cast<size_t>(y)].push_back(static_cast<uint8_t>(x * 40));
    }
  return WritePng(width, height, withAlpha ? PNG_COLOR_TYPE_GRAY_ALPHA : PNG_COLOR_TYPE_GRAY, 8, false, rows, nullptr);
}

// ---------------------------------------------------------------------------

std::vector<uint8_t> MakeJpeg(const TTestImage& image, int quality, bool grey, bool progressive) {
  jpeg_compress_struct cinfo{};
  jpeg_error_mgr errors{};
  cinfo.err = jpeg_std_error(&errors);
  jpeg_create_compress(&cinfo);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = static_cast<JDIMENSION>(image.Width);
  cinfo.image_height = static_cast<JDIMENSION>(image.Height);
  cinfo.input_components = grey ? 1 : 3;
  cinfo.in_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  if (!grey)
    for (int i = 0; i < 3; ++i) cinfo.comp_info[i].h_samp_factor = cinfo.comp_info[i].v_samp_factor = 1;
  if (progressive) jpeg_simple_progression(&cinfo);
  jpeg_start_compress(&cinfo, TRUE);
  std::vector<uint8_t> row(static_cast<size_t>(image.Width) * 3);
  while (cinfo.next_scanline < cinfo.image_height) {
    const int y = static_cast<int>(cinfo.next_scanline);
    for (int x = 0; x < image.Width; ++x) {
      const uint32_t c = image.At(x, y);
      if (grey) {
        row[static_cast<size_t>(x)] = static_cast<uint8_t>(c);
      } else {
        row[static_cast<size_t>(x) * 3] = static_cast<uint8_t>(c >> 16);
        row[static_cast<size_t>(x) * 3 + 1] = static_cast<uint8_t>(c >> 8);
        row[static_cast<size_t>(x) * 3 + 2] = static_cast<uint8_t>(c);
      }
    }
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&cinfo, rows, 1);
  }
  jpeg_finish_compress(&cinfo);
  std::vector<uint8_t> out(buffer, buffer + size);
  jpeg_destroy_compress(&cinfo);
  std::free(buffer);
  return out;
}

// ---------------------------------------------------------------------------

std::vector<uint8_t> DeflateRawBytes(const std::vector<uint8_t>& data) {
  z_stream z{};
  deflateInit2(&z, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  std::vector<uint8_t> out(deflateBound(&z, data.size()) + 16);
  z.next_in = const_cast<Bytef*>(data.data());
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

std::vector<uint8_t> MakeGfx(const std::vector<std::pair<std::string, std::string>>& fields,
                             const std::vector<uint8_t>& payload) {
  std::vector<uint8_t> out = {'V', 'X', 'G', 'F'};
  Put16(out, static_cast<uint32_t>(fields.size()));
  for (const auto& [key, value] : fields)
    for (const std::string* text : {&key, &value}) {
      Put16(out, static_cast<uint32_t>(text->size()));
      out.insert(out.end(), text->begin(), text->end());
    }
  out.insert(out.end(), payload.begin(), payload.end());
  return out;
}

std::vector<uint8_t> MakeGfxForBmp(const std::vector<uint8_t>& bmp, int width, int height) {
  return MakeGfx({{"File", "picture.bmp"},
                  {"Width", std::to_string(width)},
                  {"Height", std::to_string(height)},
                  {"OriginalSize", std::to_string(bmp.size())},
                  {"Author", "tests"}},
                 DeflateRawBytes(bmp));
}

}  // namespace zel::testing
