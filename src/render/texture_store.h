// The picture textures the drawer made for one picture, attached to the
// picture itself, so a picture shown on many slides is uploaded once per
// level, grid and premultiplication.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/obj.h"

namespace zel {

class TMultiTexture6;
class TTextureStoreRegistry;

// One cached texture and its key.
class TTextureWrapper : public TObj {
 public:
  TTextureWrapper(std::string key, std::unique_ptr<TMultiTexture6> texture);
  ~TTextureWrapper() override;
  const std::string& Key() const { return fKey; }
  TMultiTexture6& Texture() const { return *fTexture; }

 private:
  std::string fKey;
  std::unique_ptr<TMultiTexture6> fTexture;
};

// "MultiTexID: " + level + ":" + columns + ":" + rows + ":" + "True" or
// "False" from the premultiplied flag.
std::string TextureKey(int level, int columns, int rows, bool premultiplied);

class TTextureStore2 : public TObj {
 public:
  // The registry outlives the store or forgets it first (see Detach).
  explicit TTextureStore2(TTextureStoreRegistry* registry);
  ~TTextureStore2() override;

  TMultiTexture6* Find(const std::string& key) const;
  TMultiTexture6& Add(std::string key, std::unique_ptr<TMultiTexture6> texture);
  int Count() const { return static_cast<int>(fWrappers.size()); }
  TTextureStoreRegistry* Registry() const { return fRegistry; }
  // The drawer goes before the picture: its textures are freed now, while
  // their tile pools still exist, and the store stays empty.
  void Detach();

 private:
  TTextureStoreRegistry* fRegistry;
  std::vector<std::unique_ptr<TTextureWrapper>> fWrappers;
};

// The drawer's list of the stores it attached to pictures. Pictures are
// freed on other threads, so the list has its own lock.
class TTextureStoreRegistry {
 public:
  ~TTextureStoreRegistry();
  void Add(TTextureStore2* store);
  void Remove(TTextureStore2* store);
  int Count() const;

 private:
  mutable std::mutex fLock;
  std::vector<TTextureStore2*> fStores;
};

}  // namespace zel
