// The files the program carries inside itself (images and icons), found by name.
#pragma once

#include <cairo.h>

#include <span>
#include <string>
#include <string_view>

struct EmbeddedResourceEntry {
  const char* name;
  const unsigned char* begin;
  const unsigned char* end;
};

// The table written at build time from assets/, ended by an entry with a null name.
extern const EmbeddedResourceEntry kEmbeddedResources[];

// The bytes of the named resource, matched without regard to case; empty when there is none.
std::span<const unsigned char> FindEmbeddedResource(std::string_view name);

// The named image, decoded into `*image` the first time it is asked for: the images the start
// screen does not show cost neither decoding time nor memory until they are drawn. Null when
// there is no such image.
cairo_surface_t* ImageDecodedOnce(const std::string& name, cairo_surface_t** image);
