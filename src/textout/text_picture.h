// Pictures for "Text: " names: the name is parsed, the lines become a vector
// text in the named font, and the producer draws them with the parameters
// the name carries, with the line rectangles attached to the picture.
#pragma once

#include <functional>
#include <memory>

#include "core/strings.h"
#include "imaging/bitmap_store.h"
#include "textout/text_producer.h"

namespace zel {

// Whether the picture name asks for rendered text.
bool IsTextPictureName(TStringView name);

// A source of ready vector texts by their "VectTxt2: " key (the show
// package's cached texts); it answers nothing when it has none.
using TVectorTextSource = std::function<std::unique_ptr<TVectorText>(const TString& key)>;

// Renders the name through the producer, which takes the vector text.
std::unique_ptr<TImage> ProduceTextPicture(TTextProducer& producer, TStringView name,
                                           const TVectorTextSource& cached = {});

}  // namespace zel
