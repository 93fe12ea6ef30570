// A shader made by CreateShader: a compiled GL shader object. The programs
// that pair it with the other stage live in the store's program cache and
// go when the shader goes.
#pragma once

#include <epoxy/gl.h>

#include <string>

#include "render/device_3d.h"
#include "render/gl/dev_store.h"

namespace zel {

class T3DShaderGL final : public T3DShader, public TGLStoreObject {
 public:
  // Compiles the source; Name() is 0 when it does not compile (the
  // compiler's log then in Error()).
  T3DShaderGL(TDevStore* store, const std::string& source, bool vertex);
  ~T3DShaderGL() override;

  void StoreGone() override;
  T3DDeviceObject& DeviceObject() override { return *this; }

  GLuint Name() const { return fName; }
  uint32_t Id() const { return fId; }
  const std::string& Error() const { return fError; }

 private:
  GLuint fName = 0;
  const uint32_t fId;
  std::string fError;
};

}  // namespace zel
