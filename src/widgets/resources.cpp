#include "widgets/resources.h"

#include <strings.h>

#include "widgets/drawing.h"

std::span<const unsigned char> FindEmbeddedResource(std::string_view name) {
  for (const EmbeddedResourceEntry* entry = kEmbeddedResources; entry->name; ++entry) {
    std::string_view stored(entry->name);
    if (stored.size() == name.size() && strncasecmp(stored.data(), name.data(), name.size()) == 0) {
      return {entry->begin, static_cast<size_t>(entry->end - entry->begin)};
    }
  }
  return {};
}

cairo_surface_t* ImageDecodedOnce(const std::string& name, cairo_surface_t** image) {
  if (*image == nullptr) LoadResourceImage(name, image);
  return *image;
}
