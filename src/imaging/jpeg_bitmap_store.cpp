#include "imaging/jpeg_bitmap_store.h"

// jpeglib.h needs size_t and FILE declared first.
#include <cstddef>
#include <cstdio>

#include <jerror.h>
#include <jpeglib.h>

#include <atomic>
#include <csetjmp>
#include <cstring>

#include "imaging/stream_bytes.h"

namespace zel {

namespace {

std::atomic<bool> gFastDecoding{false};

// libjpeg reports errors by a long jump back into the phase that called it;
// nothing with a destructor lives across a jump target.
struct TJpegErrorManager {
  jpeg_error_mgr pub;
  jmp_buf jump;
  int code;
};

struct TJpegProgress {
  jpeg_progress_mgr pub;
  const TBitmapProgress* progress;
  bool stopped;
};

void ErrorExit(j_common_ptr cinfo) {
  auto* manager = reinterpret_cast<TJpegErrorManager*>(cinfo->err);
  manager->code = manager->pub.msg_code;
  std::longjmp(manager->jump, 1);
}

// Warnings are ignored, except running out of data: a cut-off file is not
// a picture.
void EmitMessage(j_common_ptr cinfo, int level) {
  if (level < 0 && cinfo->err->msg_code == JWRN_JPEG_EOF) ErrorExit(cinfo);
}

void OutputMessage(j_common_ptr) {}

void ProgressMonitor(j_common_ptr cinfo) {
  auto* monitor = reinterpret_cast<TJpegProgress*>(cinfo->progress);
  if (!monitor->progress || !*monitor->progress) return;
  const jpeg_progress_mgr& p = monitor->pub;
  const double passes = p.total_passes > 0 ? p.total_passes : 1;
  const double inPass = p.pass_limit > 0 ? static_cast<double>(p.pass_counter) / static_cast<double>(p.pass_limit) : 0;
  const float fraction = static_cast<float>((p.completed_passes + inPass) / passes);
  if (!(*monitor->progress)(std::min(fraction, 1.0f))) {
    monitor->stopped = true;
    auto* manager = reinterpret_cast<TJpegErrorManager*>(cinfo->err);
    manager->code = -1;
    std::longjmp(manager->jump, 1);
  }
}

struct TJpegHeader {
  JDIMENSION width, height;
  int components;
  bool grey;
  bool progressive;
};

void InstallErrors(jpeg_decompress_struct& cinfo, TJpegErrorManager& errors) {
  cinfo.err = jpeg_std_error(&errors.pub);
  errors.pub.error_exit = ErrorExit;
  errors.pub.emit_message = EmitMessage;
  errors.pub.output_message = OutputMessage;
  errors.code = 0;
}

// Phase one: the header and, for a decode, the output parameters.
bool ReadHeader(jpeg_decompress_struct& cinfo, TJpegErrorManager& errors, const uint8_t* data, size_t size,
                int scaleDenominator, TJpegHeader& header) {
  if (setjmp(errors.jump)) return false;
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
  jpeg_read_header(&cinfo, TRUE);
  header.components = cinfo.num_components;
  header.grey = cinfo.jpeg_color_space == JCS_GRAYSCALE;
  header.progressive = jpeg_has_multiple_scans(&cinfo);
  header.width = cinfo.image_width;
  header.height = cinfo.image_height;
  if (scaleDenominator > 0) {
    cinfo.scale_num = 1;
    cinfo.scale_denom = static_cast<unsigned>(scaleDenominator);
    cinfo.out_color_space = JCS_EXT_BGR;  // memory order blue, green, red: "R8G8B8"
    const bool fast = gFastDecoding.load();
    cinfo.dct_method = fast ? JDCT_IFAST : JDCT_ISLOW;
    cinfo.do_fancy_upsampling = fast ? FALSE : TRUE;
    jpeg_calc_output_dimensions(&cinfo);
    header.width = cinfo.output_width;
    header.height = cinfo.output_height;
  }
  return true;
}

// Phase two: the scan lines, straight into the bitmap's rows.
bool ReadLines(jpeg_decompress_struct& cinfo, TJpegErrorManager& errors, JSAMPROW* rows, JDIMENSION height) {
  if (setjmp(errors.jump)) return false;
  jpeg_start_decompress(&cinfo);
  if (cinfo.output_height != height || cinfo.output_components != 3) ERREXIT(&cinfo, JERR_BAD_LENGTH);
  while (cinfo.output_scanline < cinfo.output_height) {
    const JDIMENSION done = cinfo.output_scanline;
    if (jpeg_read_scanlines(&cinfo, rows + done, cinfo.output_height - done) == 0) ERREXIT(&cinfo, JERR_INPUT_EOF);
  }
  jpeg_finish_decompress(&cinfo);
  return true;
}

void DestroyDecompress(jpeg_decompress_struct& cinfo) {
  if (cinfo.err) jpeg_destroy_decompress(&cinfo);
}

std::string JpegErrorText(int code) { return "JPEG error #" + std::to_string(code); }

// A whole file ends with the end-of-image marker (perhaps followed by a few
// bytes of padding); a cut-off one does not.
bool HasEndMarker(const std::vector<uint8_t>& file) {
  const size_t from = file.size() > 4096 ? file.size() - 4096 : 2;
  for (size_t i = file.size(); i >= from + 2; --i)
    if (file[i - 2] == 0xFF && file[i - 1] == 0xD9) return true;
  return false;
}

}  // namespace

void SetJpegFastDecoding(bool fast) { gFastDecoding.store(fast); }
bool JpegFastDecoding() { return gFastDecoding.load(); }

std::unique_ptr<TBitmap> DecodeJpeg(const uint8_t* data, size_t size, int level, const TBitmapProgress& progress) {
  ZEL_ASSERT(level >= 0 && level <= 3, "DecodeJpeg - Level out of Range");
  jpeg_decompress_struct cinfo{};
  TJpegErrorManager errors{};
  TJpegProgress monitor{};
  InstallErrors(cinfo, errors);
  TJpegHeader header{};
  if (!ReadHeader(cinfo, errors, data, size, 1 << level, header)) {
    DestroyDecompress(cinfo);
    throw EJpegError(JpegErrorText(errors.code));
  }
  if (!PictureSizeAllowed(header.width, header.height) || header.components == 4) {
    DestroyDecompress(cinfo);
    throw EJpegError(JpegErrorText(JERR_IMAGE_TOO_BIG));
  }
  monitor.pub.progress_monitor = ProgressMonitor;
  monitor.progress = &progress;
  cinfo.progress = &monitor.pub;

  std::unique_ptr<TBitmap> bitmap;
  std::vector<JSAMPROW> rows;
  try {
    bitmap = CreateBitmap(static_cast<int>(header.width), static_cast<int>(header.height), FormatR8G8B8(), progress);
    rows.resize(header.height);
  } catch (...) {
    DestroyDecompress(cinfo);
    throw;
  }
  for (JDIMENSION y = 0; y < header.height; ++y) rows[y] = bitmap->ScanLine(static_cast<int>(y));
  const bool ok = ReadLines(cinfo, errors, rows.data(), header.height);
  DestroyDecompress(cinfo);
  if (monitor.stopped) throw EAbort();
  if (!ok) throw EJpegError(JpegErrorText(errors.code));
  if (progress) progress(1.0f);
  return bitmap;
}

TJpegBitmapStore::TJpegBitmapStore(TString name, int width, int height, bool grey, bool progressive,
                                   std::vector<uint8_t> file, TPostLoadHook postLoad)
    : TSysBitmapStore(std::move(name), width, height, grey ? FormatY8() : FormatB8G8R8(), std::move(postLoad)),
      fGrey(grey),
      fProgressive(progressive),
      fFile(std::move(file)) {}

std::unique_ptr<TBitmap> TJpegBitmapStore::ReadNativeLevel(int level) {
  if (level < 0 || level > 3) return nullptr;
  return DecodeJpeg(fFile.data(), fFile.size(), level, Progress());
}

TRef<TBitmapStore> LoadJpegPicture(TStream& stream, const TString& name, const TLoadParams& params) {
  std::vector<uint8_t> file;
  if (!ReadRemaining(stream, file) || file.size() < 4 || file[0] != 0xFF || file[1] != 0xD8) return nullptr;
  if (!HasEndMarker(file)) return nullptr;
  jpeg_decompress_struct cinfo{};
  TJpegErrorManager errors{};
  InstallErrors(cinfo, errors);
  TJpegHeader header{};
  const bool ok = ReadHeader(cinfo, errors, file.data(), file.size(), 0, header);
  DestroyDecompress(cinfo);
  if (!ok) throw EJpegError(JpegErrorText(errors.code));
  // Four-component (CMYK) pictures have no conversion to colour here.
  if (header.width == 0 || header.height == 0 || header.components == 4) return nullptr;
  if (!PictureSizeAllowed(header.width, header.height)) return nullptr;
  int width = static_cast<int>(header.width), height = static_cast<int>(header.height);
  if (OrientationSwapsSize(params.Orientation)) std::swap(width, height);
  auto store = MakeRef<TJpegBitmapStore>(name, width, height, header.grey, header.progressive, std::move(file),
                                         OrientationHook(params.Orientation));
  store->SetProgress(params.Progress);
  return store;
}

}  // namespace zel
