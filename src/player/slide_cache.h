// The window of built slides around the show's time: which slide numbers
// to keep, which to free, and which one to build next (one per update).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "core/obj.h"
#include "player/draw_container.h"

namespace zel {

class TSlideProducer;

// A window as the engine takes it (message 101): up to three containers.
class TSlideData : public TObj {
 public:
  static constexpr int kMaxSlides = 3;
  void Add(TRef<TDrawContainer> container);
  int Count() const noexcept { return static_cast<int>(fContainers.size()); }
  const std::vector<TRef<TDrawContainer>>& Containers() const noexcept { return fContainers; }

 private:
  std::vector<TRef<TDrawContainer>> fContainers;
};

class TSlideCache : public TObj {
 public:
  using TChangeCallback = std::function<void(TSlideCache& cache)>;
  using TNewContainerCallback = std::function<void(TDrawContainer& container)>;

  // capacity 1 to 3. The producer is not owned unless owns is set.
  TSlideCache(TSlideProducer* producer, bool owns, int capacity);
  ~TSlideCache() override;

  TSlideProducer& Producer() const noexcept { return *fProducer; }
  int Capacity() const noexcept { return fCapacity; }
  // In slide-number order.
  const std::vector<TRef<TDrawContainer>>& Containers() const noexcept { return fContainers; }
  // The window as it stands.
  std::unique_ptr<TSlideData> Window() const;

  // Called after every change of the window (the loader's hand-over).
  void SetChangeCallback(TChangeCallback callback) { fOnChange = std::move(callback); }
  // Called with each new container before it joins the window.
  void SetNewContainerCallback(TNewContainerCallback callback) { fOnNew = std::move(callback); }

  // Frees what lies outside the window at the time and builds the first
  // slide of the window that is missing; true when one was added.
  bool Update(double time);
  // Whether every slide number the window should hold at the time is there.
  bool Complete(double time);

 private:
  void FreeOutside(int64_t first, int64_t last);
  bool Holds(int64_t number) const;

  TSlideProducer* fProducer;
  bool fOwnsProducer;
  int fCapacity;
  std::vector<TRef<TDrawContainer>> fContainers;
  TChangeCallback fOnChange;
  TNewContainerCallback fOnNew;
};

}  // namespace zel
