// The video library loaded at run time by name. The program is not linked with FFmpeg: each
// function it uses is defined here with FFmpeg's own name and declaration, and forwards to the
// function of that name in the library, looked up once on its first call.
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

namespace {

enum Library { kAvUtil, kAvCodec, kAvFormat, kSwScale, kLibraryCount };

// In dependency order; the file names carry the major versions the program was built with.
constexpr const char* kLibraryFiles[kLibraryCount] = {KESTROW_AVUTIL_FILE, KESTROW_AVCODEC_FILE,
                                                      KESTROW_AVFORMAT_FILE, KESTROW_SWSCALE_FILE};

void* handles[kLibraryCount] = {};
bool attempted = false;
bool loaded = false;

template <typename Function>
Function Find(Library library, const char* name, Function* cache) {
  if (*cache == nullptr) *cache = reinterpret_cast<Function>(dlsym(handles[library], name));
  return *cache;
}

}  // namespace

bool LoadVideoLibrary() {
  if (attempted) return loaded;
  attempted = true;
  for (int library = 0; library < kLibraryCount; ++library) {
    handles[library] = dlopen(kLibraryFiles[library], RTLD_NOW | RTLD_LOCAL);
    if (handles[library] == nullptr) return false;
  }
  loaded = true;
  return true;
}

// Defines `name` with the declaration FFmpeg's headers give it, forwarding its arguments.
#define KESTROW_FORWARD(library, result, name, parameters, arguments) \
  extern "C" result name parameters {                                 \
    static decltype(&name) function = nullptr;                        \
    return Find(library, #name, &function) arguments;                 \
  }

KESTROW_FORWARD(kAvUtil, void, av_log_set_level, (int level), (level))
KESTROW_FORWARD(kAvUtil, void, av_dict_free, (AVDictionary * *dictionary), (dictionary))
KESTROW_FORWARD(kAvUtil, int, av_dict_parse_string,
                (AVDictionary * *dictionary, const char* text, const char* keyValueSeparators,
                 const char* pairSeparators, int flags),
                (dictionary, text, keyValueSeparators, pairSeparators, flags))
KESTROW_FORWARD(kAvUtil, AVFrame*, av_frame_alloc, (void), ())
KESTROW_FORWARD(kAvUtil, void, av_frame_free, (AVFrame * *frame), (frame))
KESTROW_FORWARD(kAvUtil, int, av_frame_get_buffer, (AVFrame * frame, int align), (frame, align))
KESTROW_FORWARD(kAvUtil, int, av_frame_make_writable, (AVFrame * frame), (frame))
KESTROW_FORWARD(kAvUtil, void, av_frame_unref, (AVFrame * frame), (frame))

KESTROW_FORWARD(kAvCodec, AVCodecContext*, avcodec_alloc_context3, (const AVCodec* codec), (codec))
KESTROW_FORWARD(kAvCodec, const AVCodec*, avcodec_find_encoder_by_name, (const char* name), (name))
KESTROW_FORWARD(kAvCodec, void, avcodec_free_context, (AVCodecContext * *context), (context))
KESTROW_FORWARD(kAvCodec, int, avcodec_open2,
                (AVCodecContext * context, const AVCodec* codec, AVDictionary** options),
                (context, codec, options))
KESTROW_FORWARD(kAvCodec, int, avcodec_parameters_from_context,
                (AVCodecParameters * parameters, const AVCodecContext* context),
                (parameters, context))
KESTROW_FORWARD(kAvCodec, int, avcodec_send_frame, (AVCodecContext * context, const AVFrame* frame),
                (context, frame))
KESTROW_FORWARD(kAvCodec, int, avcodec_receive_packet, (AVCodecContext * context, AVPacket* packet),
                (context, packet))
KESTROW_FORWARD(kAvCodec, AVPacket*, av_packet_alloc, (void), ())
KESTROW_FORWARD(kAvCodec, void, av_packet_free, (AVPacket * *packet), (packet))
KESTROW_FORWARD(kAvCodec, void, av_packet_unref, (AVPacket * packet), (packet))
KESTROW_FORWARD(kAvCodec, void, av_packet_rescale_ts,
                (AVPacket * packet, AVRational from, AVRational to), (packet, from, to))

KESTROW_FORWARD(kAvFormat, const AVOutputFormat*, av_guess_format,
                (const char* shortName, const char* fileName, const char* mimeType),
                (shortName, fileName, mimeType))
KESTROW_FORWARD(kAvFormat, int, avformat_alloc_output_context2,
                (AVFormatContext * *context, const AVOutputFormat* format, const char* formatName,
                 const char* fileName),
                (context, format, formatName, fileName))
KESTROW_FORWARD(kAvFormat, void, avformat_free_context, (AVFormatContext * context), (context))
KESTROW_FORWARD(kAvFormat, AVStream*, avformat_new_stream,
                (AVFormatContext * context, const AVCodec* codec), (context, codec))
KESTROW_FORWARD(kAvFormat, int, avformat_query_codec,
                (const AVOutputFormat* format, enum AVCodecID codec, int compliance),
                (format, codec, compliance))
KESTROW_FORWARD(kAvFormat, int, avformat_write_header,
                (AVFormatContext * context, AVDictionary** options), (context, options))
KESTROW_FORWARD(kAvFormat, int, av_write_frame, (AVFormatContext * context, AVPacket* packet),
                (context, packet))
KESTROW_FORWARD(kAvFormat, int, av_write_trailer, (AVFormatContext * context), (context))
KESTROW_FORWARD(kAvFormat, int, avio_open, (AVIOContext * *context, const char* url, int flags),
                (context, url, flags))
KESTROW_FORWARD(kAvFormat, int, avio_closep, (AVIOContext * *context), (context))

KESTROW_FORWARD(kSwScale, SwsContext*, sws_getCachedContext,
                (SwsContext * context, int sourceWidth, int sourceHeight,
                 enum AVPixelFormat sourceFormat, int width, int height, enum AVPixelFormat format,
                 int flags, SwsFilter* sourceFilter, SwsFilter* filter, const double* parameters),
                (context, sourceWidth, sourceHeight, sourceFormat, width, height, format, flags,
                 sourceFilter, filter, parameters))
KESTROW_FORWARD(kSwScale, int, sws_scale,
                (SwsContext * context, const uint8_t* const sourcePlanes[],
                 const int sourceStrides[], int firstRow, int rowCount, uint8_t* const planes[],
                 const int strides[]),
                (context, sourcePlanes, sourceStrides, firstRow, rowCount, planes, strides))
KESTROW_FORWARD(kSwScale, void, sws_freeContext, (SwsContext * context), (context))
