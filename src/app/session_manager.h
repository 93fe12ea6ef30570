// Whether the workstation session is locked. This platform sends no lock
// notifications, so a session counts as never locked.
#pragma once

#include "core/obj.h"

namespace zel {

class TSessionManager : public TObj {
 public:
  // Made on first use; there must be an application by then.
  static TSessionManager& Instance();
  bool Locked() const { return fLocked; }

 private:
  TSessionManager() = default;
  bool fLocked = false;
};

bool IsSessionLocked();

}  // namespace zel
