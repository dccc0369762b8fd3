// The files the program carries inside itself (images and icons), found by name.
#pragma once

#include <span>
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
