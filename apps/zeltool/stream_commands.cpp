// Subcommands that run the package's entry streams over whole files.
#include <cstdio>
#include <memory>

#include "core/streams.h"
#include "package/crypt_stream.h"
#include "package/z_streams.h"
#include "tool.h"

namespace zel::tool {

int RunInflate(TArguments arguments) {
  const bool zlibFormat = arguments.size() == 3 && arguments[2] == "--zlib";
  if (arguments.size() != 2 && !zlibFormat) {
    std::fprintf(stderr, "usage: zeltool inflate IN OUT [--zlib]\n");
    return 2;
  }
  try {
    auto in = TFileStream::OpenRead(arguments[0]);
    std::unique_ptr<TStream> decompressing;
    if (zlibFormat) {
      decompressing = std::make_unique<TZDecompressionStream>(*in);
    } else {
      decompressing = std::make_unique<TInflateStream>(*in);
    }
    auto whole = InflateToMemory(*decompressing);
    if (!whole->SaveToFile(arguments[1])) return Fail("inflate", "cannot write " + arguments[1]);
    std::printf("%lld\n", static_cast<long long>(whole->GetSize()));
    return 0;
  } catch (const EFileError& e) {
    return Fail("inflate", "cannot open " + e.Message());
  } catch (const std::exception& e) {
    return Fail("inflate", e.what());
  }
}

int RunDescramble(TArguments arguments) {
  if (arguments.size() != 3 || arguments[2].empty()) {
    std::fprintf(stderr, "usage: zeltool descramble IN OUT KEY\n");
    return 2;
  }
  try {
    TCryptStream in(TFileStream::OpenRead(arguments[0]), arguments[2]);
    auto out = TFileStream::CreateWrite(arguments[1]);
    const int64_t copied = out->CopyFrom(in, in.GetSize());
    std::printf("%lld\n", static_cast<long long>(copied));
    return 0;
  } catch (const EFileError& e) {
    return Fail("descramble", "cannot open " + e.Message());
  } catch (const std::exception& e) {
    return Fail("descramble", e.what());
  }
}

}  // namespace zel::tool
