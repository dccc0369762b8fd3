// The video library linked with the program: always there.
#include "video/video_library.h"

bool LoadVideoLibrary() {
  return true;
}
