#include "show/zel_params.h"

#include "platform/temp_folders.h"

namespace zel {

TString NewGuidString() { return u"{" + AsciiToString(NewGuidText()) + u"}"; }

TZelParams::TZelParams(TStringView guid) : fGuid(guid.empty() ? NewGuidString() : TString(guid)) {}

}  // namespace zel
