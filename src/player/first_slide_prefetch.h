// Decodes the pictures of the slide a show starts with on a thread of its
// own while the render device is being made, so that the first frame does
// not wait for both one after the other. The slide is built exactly as the
// slide loader will build it (same frame, same levels); the decoded levels
// stay in the show's picture cache, where the loader's own build finds
// them.
#pragma once

#include <cstdint>
#include <memory>
#include <thread>

#include "core/obj.h"
#include "core/strings.h"

namespace zel {

class TFileAccessor;
class TIniStorage;
class TSlideProducer;
class TZelSlide;

class TFirstSlidePrefetch : public TObj {
 public:
  // The accessor must live until the prefetch is freed; the project is
  // copied. frame: the window's client size.
  TFirstSlidePrefetch(TFileAccessor& accessor, const TIniStorage& project, const TString& playerFileName,
                      int32_t frameWidth, int32_t frameHeight, bool cover, double startTime);
  // Waits for the thread; the decoded levels stay cached only as long as
  // someone holds the pictures, so free this after the first frame.
  ~TFirstSlidePrefetch() override;
  TFirstSlidePrefetch(const TFirstSlidePrefetch&) = delete;
  TFirstSlidePrefetch& operator=(const TFirstSlidePrefetch&) = delete;

  // Waits until the decoding is done; how many picture levels it decoded.
  int Wait();

 private:
  void Run(int32_t frameWidth, int32_t frameHeight, bool cover, double startTime);

  std::unique_ptr<TIniStorage> fProject;
  std::unique_ptr<TSlideProducer> fProducer;
  std::unique_ptr<TZelSlide> fSlide;
  int fDecoded = 0;
  std::thread fThread;
};

}  // namespace zel
