// Objects that count their own destruction, for ownership tests.
#pragma once

#include "core/obj.h"

namespace zel::testing_support {

class TCounted : public TRefObj {
 public:
  explicit TCounted(int* destroyed) : fDestroyed(destroyed) {}
  ~TCounted() override { ++*fDestroyed; }

 private:
  int* fDestroyed;
};

class TPlain : public TObj {
 public:
  explicit TPlain(int* destroyed) : fDestroyed(destroyed) {}
  ~TPlain() override { ++*fDestroyed; }

 private:
  int* fDestroyed;
};

}  // namespace zel::testing_support
