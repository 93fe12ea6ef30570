#include "render/texture_store.h"

#include <algorithm>

#include "render/tiled_texture.h"

namespace zel {

TTextureWrapper::TTextureWrapper(std::string key, std::unique_ptr<TMultiTexture6> texture)
    : fKey(std::move(key)), fTexture(std::move(texture)) {}

TTextureWrapper::~TTextureWrapper() = default;

std::string TextureKey(int level, int columns, int rows, bool premultiplied) {
  return "MultiTexID: " + std::to_string(level) + ":" + std::to_string(columns) + ":" + std::to_string(rows) + ":" +
         (premultiplied ? "True" : "False");
}

TTextureStore2::TTextureStore2(TTextureStoreRegistry* registry) : fRegistry(registry) {
  if (fRegistry) fRegistry->Add(this);
}

TTextureStore2::~TTextureStore2() {
  if (fRegistry) fRegistry->Remove(this);
}

TMultiTexture6* TTextureStore2::Find(const std::string& key) const {
  for (const auto& wrapper : fWrappers) {
    if (wrapper->Key() == key) return &wrapper->Texture();
  }
  return nullptr;
}

TMultiTexture6& TTextureStore2::Add(std::string key, std::unique_ptr<TMultiTexture6> texture) {
  fWrappers.push_back(std::make_unique<TTextureWrapper>(std::move(key), std::move(texture)));
  return fWrappers.back()->Texture();
}

void TTextureStore2::Detach() {
  fWrappers.clear();
  fRegistry = nullptr;
}

TTextureStoreRegistry::~TTextureStoreRegistry() {
  std::lock_guard guard(fLock);
  for (TTextureStore2* store : fStores) store->Detach();
  fStores.clear();
}

void TTextureStoreRegistry::Add(TTextureStore2* store) {
  std::lock_guard guard(fLock);
  fStores.push_back(store);
}

void TTextureStoreRegistry::Remove(TTextureStore2* store) {
  std::lock_guard guard(fLock);
  std::erase(fStores, store);
}

int TTextureStoreRegistry::Count() const {
  std::lock_guard guard(fLock);
  return static_cast<int>(fStores.size());
}

}  // namespace zel
