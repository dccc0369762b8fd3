// The video library loaded at run time by name. The program is not linked with FFmpeg: each
// function it uses is defined here with FFmpeg's own name and declaration, and forwards to the
// function of that name in the library, looked up when the library is loaded.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/frame.h>
#include <libavutil/log.h>
#include <libswscale/swscale.h>
}

#include <dlfcn.h>

#include "video/video_library.h"

// Every function the program uses: the library it lies in, its result, name, parameters and
// the arguments that forward them.
#define KESTROW_ENTRY_POINTS(X)                                                                    \
  X(kAvUtil, void, av_log_set_level, (int level), (level))                                         \
  X(kAvUtil, void, av_dict_free, (AVDictionary * *dictionary), (dictionary))                       \
  X(kAvUtil, int, av_dict_parse_string,                                                            \
    (AVDictionary * *dictionary, const char* text, const char* keyValueSeparators,                 \
     const char* pairSeparators, int flags),                                                       \
    (dictionary, text, keyValueSeparators, pairSeparators, flags))                                 \
  X(kAvUtil, AVFrame*, av_frame_alloc, (void), ())                                                 \
  X(kAvUtil, void, av_frame_free, (AVFrame * *frame), (frame))                                     \
  X(kAvUtil, int, av_frame_get_buffer, (AVFrame * frame, int align), (frame, align))               \
  X(kAvUtil, int, av_frame_make_writable, (AVFrame * frame), (frame))                              \
  X(kAvUtil, void, av_frame_unref, (AVFrame * frame), (frame))                                     \
  X(kAvCodec, AVCodecContext*, avcodec_alloc_context3, (const AVCodec* codec), (codec))            \
  X(kAvCodec, const AVCodec*, avcodec_find_encoder_by_name, (const char* name), (name))            \
  X(kAvCodec, void, avcodec_free_context, (AVCodecContext * *context), (context))                  \
  X(kAvCodec, int, avcodec_open2,                                                                  \
    (AVCodecContext * context, const AVCodec* codec, AVDictionary** options),                      \
    (context, codec, options))                                                                     \
  X(kAvCodec, int, avcodec_parameters_from_context,                                                \
    (AVCodecParameters * parameters, const AVCodecContext* context), (parameters, context))        \
  X(kAvCodec, int, avcodec_send_frame, (AVCodecContext * context, const AVFrame* frame),           \
    (context, frame))                                                                              \
  X(kAvCodec, int, avcodec_receive_packet, (AVCodecContext * context, AVPacket * packet),          \
    (context, packet))                                                                             \
  X(kAvCodec, AVPacket*, av_packet_alloc, (void), ())                                              \
  X(kAvCodec, void, av_packet_free, (AVPacket * *packet), (packet))                                \
  X(kAvCodec, void, av_packet_unref, (AVPacket * packet), (packet))                                \
  X(kAvCodec, void, av_packet_rescale_ts, (AVPacket * packet, AVRational from, AVRational to),     \
    (packet, from, to))                                                                            \
  X(kAvFormat, const AVOutputFormat*, av_guess_format,                                             \
    (const char* shortName, const char* fileName, const char* mimeType),                           \
    (shortName, fileName, mimeType))                                                               \
  X(kAvFormat, int, avformat_alloc_output_context2,                                                \
    (AVFormatContext * *context, const AVOutputFormat* format, const char* formatName,             \
     const char* fileName),                                                                        \
    (context, format, formatName, fileName))                                                       \
  X(kAvFormat, void, avformat_free_context, (AVFormatContext * context), (context))                \
  X(kAvFormat, AVStream*, avformat_new_stream, (AVFormatContext * context, const AVCodec* codec),  \
    (context, codec))                                                                              \
  X(kAvFormat, int, avformat_query_codec,                                                          \
    (const AVOutputFormat* format, enum AVCodecID codec, int compliance),                          \
    (format, codec, compliance))                                                                   \
  X(kAvFormat, int, avformat_write_header, (AVFormatContext * context, AVDictionary * *options),   \
    (context, options))                                                                            \
  X(kAvFormat, int, av_write_frame, (AVFormatContext * context, AVPacket * packet),                \
    (context, packet))                                                                             \
  X(kAvFormat, int, av_write_trailer, (AVFormatContext * context), (context))                      \
  X(kAvFormat, int, avio_open, (AVIOContext * *context, const char* url, int flags),               \
    (context, url, flags))                                                                         \
  X(kAvFormat, int, avio_closep, (AVIOContext * *context), (context))                              \
  X(kSwScale, SwsContext*, sws_getCachedContext,                                                   \
    (SwsContext * context, int sourceWidth, int sourceHeight, enum AVPixelFormat sourceFormat,     \
     int width, int height, enum AVPixelFormat format, int flags, SwsFilter* sourceFilter,         \
     SwsFilter* filter, const double* parameters),                                                 \
    (context, sourceWidth, sourceHeight, sourceFormat, width, height, format, flags, sourceFilter, \
     filter, parameters))                                                                          \
  X(kSwScale, int, sws_scale,                                                                      \
    (SwsContext * context, const uint8_t* const sourcePlanes[], const int sourceStrides[],         \
     int firstRow, int rowCount, uint8_t* const planes[], const int strides[]),                    \
    (context, sourcePlanes, sourceStrides, firstRow, rowCount, planes, strides))                   \
  X(kSwScale, void, sws_freeContext, (SwsContext * context), (context))

namespace {

enum Library { kAvUtil, kAvCodec, kAvFormat, kSwScale, kLibraryCount };

// In dependency order; the file names carry the major versions the program was built with.
constexpr const char* kLibraryFiles[kLibraryCount] = {KESTROW_AVUTIL_FILE, KESTROW_AVCODEC_FILE,
                                                      KESTROW_AVFORMAT_FILE, KESTROW_SWSCALE_FILE};

#define KESTROW_ENTRY_ID(library, result, name, parameters, arguments) name##Entry,
enum EntryPoint { KESTROW_ENTRY_POINTS(KESTROW_ENTRY_ID) kEntryPointCount };
#undef KESTROW_ENTRY_ID

struct EntryPointName {
  Library library;
  const char* name;
};

#define KESTROW_ENTRY_NAME(library, result, name, parameters, arguments) {library, #name},
constexpr EntryPointName kEntryPointNames[kEntryPointCount] = {
    KESTROW_ENTRY_POINTS(KESTROW_ENTRY_NAME)};
#undef KESTROW_ENTRY_NAME

void* handles[kLibraryCount] = {};
void* entryPoints[kEntryPointCount] = {};
bool attempted = false;
bool loaded = false;

void UnloadLibraries() {
  for (void*& handle : handles) {
    if (handle != nullptr) dlclose(handle);
    handle = nullptr;
  }
}

// Opens the libraries and looks up every function at once, so that a library lacking one of
// them is refused here rather than failing when that function is first called.
bool OpenLibraries() {
  for (int library = 0; library < kLibraryCount; ++library) {
    handles[library] = dlopen(kLibraryFiles[library], RTLD_NOW | RTLD_LOCAL);
    if (handles[library] == nullptr) return false;
  }
  for (int entry = 0; entry < kEntryPointCount; ++entry) {
    const EntryPointName& wanted = kEntryPointNames[entry];
    entryPoints[entry] = dlsym(handles[wanted.library], wanted.name);
    if (entryPoints[entry] == nullptr) return false;
  }
  return true;
}

}  // namespace

bool LoadVideoLibrary() {
  if (attempted) return loaded;
  attempted = true;
  loaded = OpenLibraries();
  if (!loaded) UnloadLibraries();
  return loaded;
}

// Defines `name` with the declaration FFmpeg's headers give it, forwarding its arguments.
#define KESTROW_FORWARD(library, result, name, parameters, arguments)             \
  extern "C" result name parameters {                                             \
    return reinterpret_cast<decltype(&name)>(entryPoints[name##Entry]) arguments; \
  }
KESTROW_ENTRY_POINTS(KESTROW_FORWARD)
#undef KESTROW_FORWARD
