#include "video/video_recorder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/log.h>
#include <libswscale/swscale.h>
}

#include <cairo.h>

#include <algorithm>

#include "base/cp1252.h"
#include "platform/dialogs.h"
#include "platform/windows.h"
#include "video/video_library.h"
#include "widgets/toolkit.h"
#include "widgets/widget.h"

VideoRecorder videoRecorder;

namespace {

constexpr const char* kFileName = "Kestrow.avi";
constexpr AVRational kFrameTime = {1, kVideoFramesPerSecond};
// The grab buffer holds 32 bits a pixel, so converters may read past the last 24-bit row.
constexpr size_t kFrameBufferBytes = size_t{kVideoFrameSize} * kVideoFrameSize * 4;

// An encoder the player may pick, with what it needs to record a game.
struct EncoderProfile {
  const char* name;
  const char* utf8Label;
  uint32_t tag;       // the AVI codec tag, 0 for the muxer's own
  int quantizer;      // the fixed quality used when no data rate is asked, 0 for none
  const char* extra;  // encoder settings as "key=value:key=value"
};

// Every profile writes one packet per frame at once: no reordering, no look-ahead.
constexpr EncoderProfile kProfiles[] = {
    {"mpeg4", "MPEG-4 (DivX)", MKTAG('D', 'I', 'V', 'X'), 3, ""},
    {"mjpeg", "Motion JPEG", 0, 3, ""},
    {"libx264", "H.264 (x264)", 0, 0, "preset=veryfast:tune=zerolatency"},
    {"ffv1", "FFV1 (sans perte)", 0, 0, ""},
    {"rawvideo", "Images non compressées", 0, 0, ""},
};

VideoRecorder& Recorder() {
  return videoRecorder;
}

const EncoderProfile* FindProfile(const std::string& name) {
  for (const EncoderProfile& profile : kProfiles) {
    if (name == profile.name) return &profile;
  }
  return nullptr;
}

// The encoder's pixel format nearest to the 24-bit frame: the frame's own when it takes it, else
// 32-bit RGB (lossless too), else its first.
AVPixelFormat CompressorPixelFormat(const AVCodec* codec) {
  if (codec->pix_fmts == nullptr) return AV_PIX_FMT_BGR24;
  for (AVPixelFormat wanted : {AV_PIX_FMT_BGR24, AV_PIX_FMT_BGR0}) {
    for (const AVPixelFormat* format = codec->pix_fmts; *format != AV_PIX_FMT_NONE; ++format) {
      if (*format == wanted) return wanted;
    }
  }
  return codec->pix_fmts[0];
}

void FillEncoderChoices(VideoRecorder& video, const AVOutputFormat* avi) {
  for (const EncoderProfile& profile : kProfiles) {
    const AVCodec* codec = avcodec_find_encoder_by_name(profile.name);
    if (codec == nullptr || avformat_query_codec(avi, codec->id, FF_COMPLIANCE_NORMAL) != 1) {
      continue;
    }
    video.encoders.push_back({profile.name, Utf8ToCp1252(profile.utf8Label)});
  }
}

AVCodecContext* OpenCompressor(const CompressionOptions& options) {
  const EncoderProfile* profile = FindProfile(options.encoder);
  const AVCodec* codec = avcodec_find_encoder_by_name(options.encoder.c_str());
  if (profile == nullptr || codec == nullptr) return nullptr;
  AVCodecContext* compressor = avcodec_alloc_context3(codec);
  if (compressor == nullptr) return nullptr;
  compressor->width = kVideoFrameSize;
  compressor->height = kVideoFrameSize;
  compressor->time_base = kFrameTime;
  compressor->framerate = {kVideoFramesPerSecond, 1};
  compressor->pix_fmt = CompressorPixelFormat(codec);
  compressor->gop_size = std::max(1, options.keyFrameInterval);
  compressor->max_b_frames = 0;
  compressor->codec_tag = profile->tag;
  if (options.dataRate > 0) {
    compressor->bit_rate = int64_t{options.dataRate} * 8000;
    compressor->rc_max_rate = compressor->bit_rate;
    compressor->rc_buffer_size = static_cast<int>(compressor->bit_rate);
  } else if (profile->quantizer > 0) {
    compressor->flags |= AV_CODEC_FLAG_QSCALE;
    compressor->global_quality = FF_QP2LAMBDA * profile->quantizer;
  }
  AVDictionary* settings = nullptr;
  av_dict_parse_string(&settings, profile->extra, "=", ":", 0);
  int opened = avcodec_open2(compressor, codec, &settings);
  av_dict_free(&settings);
  if (opened < 0) avcodec_free_context(&compressor);
  return compressor;
}

// The picture buffers of the encoder's format and the converter to them.
bool PrepareConversion(VideoRecorder& video) {
  for (AVFrame* picture : video.pictures) {
    av_frame_unref(picture);
    picture->format = video.compressor->pix_fmt;
    picture->width = kVideoFrameSize;
    picture->height = kVideoFrameSize;
    if (av_frame_get_buffer(picture, 0) < 0) return false;
  }
  video.converter = sws_getCachedContext(
      video.converter, kVideoFrameSize, kVideoFrameSize, AV_PIX_FMT_BGR24, kVideoFrameSize,
      kVideoFrameSize, video.compressor->pix_fmt, SWS_BILINEAR, nullptr, nullptr, nullptr);
  return video.converter != nullptr;
}

// Creates or empties the file and writes its header; null, with nothing left open, on failure.
AVFormatContext* OpenAviFile(const AVCodecContext* compressor) {
  AVFormatContext* file = nullptr;
  if (avformat_alloc_output_context2(&file, nullptr, "avi", kFileName) < 0) return nullptr;
  AVStream* stream = avformat_new_stream(file, nullptr);
  bool ready =
      stream != nullptr && avcodec_parameters_from_context(stream->codecpar, compressor) >= 0;
  if (ready) {
    stream->time_base = kFrameTime;
    stream->avg_frame_rate = compressor->framerate;
    ready = avio_open(&file->pb, kFileName, AVIO_FLAG_WRITE) >= 0;
  }
  if (ready && avformat_write_header(file, nullptr) < 0) {
    avio_closep(&file->pb);
    ready = false;
  }
  if (!ready) avformat_free_context(file);
  return ready ? file : nullptr;
}

// The encoder is made ready before the file is touched, so that a failed start leaves the
// previous recording in place.
bool OpenRecording(VideoRecorder& video) {
  video.compressor = OpenCompressor(video.options);
  if (video.compressor == nullptr || !PrepareConversion(video)) return false;
  video.file = OpenAviFile(video.compressor);
  return video.file != nullptr;
}

void ShowRecordingWarning(WindowHandle owner) {
  PlatformMessageBox(owner, Utf8ToCp1252("Votre vidéo ne sera pas enregistré."), "Avertissement",
                     MB_OK);
}

// Writes the file's index and closes it; false when either failed (a full disk): the file on
// disk is then cut short.
bool FinishAviFile(AVFormatContext* file) {
  int trailer = av_write_trailer(file);
  int closed = avio_closep(&file->pb);
  avformat_free_context(file);
  return trailer >= 0 && closed >= 0;
}

void ShowIncompleteFileWarning() {
  PlatformMessageBox(toolkit.mainWindow,
                     Utf8ToCp1252("La vidéo n'a pas pu être enregistrée entièrement."),
                     "Avertissement", MB_OK | MB_ICONWARNING);
}

// Copies the bottom 588 rows of the window's surface, each cut to its left 588 pixels, into the
// frame as 24-bit pixels (blue, green, red), bottom row first.
bool GrabFrame(VideoRecorder& video, WindowHandle window) {
  auto* record = static_cast<WidgetWindow*>(PlatformGetWindowProperty(window, kRecordProperty));
  if (record == nullptr || record->surface == nullptr) return false;
  // One frame pixel per logical pixel, whatever the display's scale.
  cairo_surface_t* surface = NewLogicalImage(record);
  if (cairo_image_surface_get_format(surface) != CAIRO_FORMAT_ARGB32 ||
      cairo_image_surface_get_width(surface) < kVideoFrameSize ||
      cairo_image_surface_get_height(surface) < kVideoFrameSize) {
    cairo_surface_destroy(surface);
    return false;
  }
  cairo_surface_flush(surface);
  const unsigned char* pixels = cairo_image_surface_get_data(surface);
  int stride = cairo_image_surface_get_stride(surface);
  int bottom = cairo_image_surface_get_height(surface) - 1;
  for (int line = 0; line < kVideoFrameSize; ++line) {
    const auto* source = reinterpret_cast<const uint32_t*>(pixels + (bottom - line) * stride);
    uint8_t* target = video.frame.data() + line * kVideoFrameRowBytes;
    for (int x = 0; x < kVideoFrameSize; ++x) {
      uint32_t pixel = source[x];
      target[3 * x] = static_cast<uint8_t>(pixel);
      target[3 * x + 1] = static_cast<uint8_t>(pixel >> 8);
      target[3 * x + 2] = static_cast<uint8_t>(pixel >> 16);
    }
  }
  cairo_surface_destroy(surface);
  return true;
}

// The picture of the next frame. Some encoders keep the last picture they were given: the two
// pictures take turns, so that the one written to is free again.
AVFrame* NextPicture(const VideoRecorder& video) {
  return video.pictures[video.compressedCount % 2];
}

// Converts the bottom-up frame, read from its last row upwards, into the next picture.
bool ConvertFrame(VideoRecorder& video) {
  AVFrame* picture = NextPicture(video);
  if (av_frame_make_writable(picture) < 0) return false;
  const uint8_t* topRow = video.frame.data() + (kVideoFrameSize - 1) * kVideoFrameRowBytes;
  const uint8_t* const planes[1] = {topRow};
  const int strides[1] = {-kVideoFrameRowBytes};
  return sws_scale(video.converter, planes, strides, 0, kVideoFrameSize, picture->data,
                   picture->linesize) == kVideoFrameSize;
}

// Compresses the picture and writes it at the frame index.
bool WriteCompressedFrame(VideoRecorder& video) {
  AVFrame* picture = NextPicture(video);
  picture->pts = video.compressedCount++;
  if (avcodec_send_frame(video.compressor, picture) < 0) return false;
  AVPacket* packet = video.packet;
  if (avcodec_receive_packet(video.compressor, packet) < 0) return false;
  packet->stream_index = 0;
  packet->pts = video.frameIndex;
  packet->dts = video.frameIndex;
  packet->duration = 1;
  av_packet_rescale_ts(packet, kFrameTime, video.file->streams[0]->time_base);
  int written = av_write_frame(video.file, packet);
  av_packet_unref(packet);
  return written >= 0;
}

bool WriteFrame(VideoRecorder& video, WindowHandle window) {
  if (video.file == nullptr || !GrabFrame(video, window) || !ConvertFrame(video)) return false;
  return WriteCompressedFrame(video);
}

// Frees what the probe allocated; the library itself stays loaded.
void ReleaseVideoObjects(VideoRecorder& video) {
  sws_freeContext(video.converter);
  video.converter = nullptr;
  for (AVFrame*& picture : video.pictures) av_frame_free(&picture);
  av_packet_free(&video.packet);
  video.frame = {};
  video.encoders.clear();
  video.libraryLoaded = false;
}

// Loads the library and fills the recorder the first time recording is considered; leaves the
// recorder empty when the library, its AVI muxer or every encoder is missing.
void ProbeVideoLibrary() {
  VideoRecorder& video = Recorder();
  if (video.probed) return;
  video.probed = true;
  if (!LoadVideoLibrary()) return;
  av_log_set_level(AV_LOG_ERROR);
  const AVOutputFormat* avi = av_guess_format("avi", nullptr, nullptr);
  if (avi == nullptr) return;
  FillEncoderChoices(video, avi);
  if (video.encoders.empty()) return;
  video.pictures[0] = av_frame_alloc();
  video.pictures[1] = av_frame_alloc();
  video.packet = av_packet_alloc();
  if (video.pictures[0] == nullptr || video.pictures[1] == nullptr || video.packet == nullptr) {
    ReleaseVideoObjects(video);
    return;
  }
  video.frame.assign(kFrameBufferBytes, 0);
  video.options = {video.encoders.front().encoder, 1, 0};
  video.recording = 0;
  video.tailCount = 0;
  video.libraryLoaded = true;
}

}  // namespace

void StartVideoLibrary() {
  Recorder().probed = false;
}

void ShutdownVideoLibrary() {
  VideoRecorder& video = Recorder();
  CloseVideoRecording();
  if (video.libraryLoaded) ReleaseVideoObjects(video);
}

bool VideoCaptureAvailable() {
  ProbeVideoLibrary();
  return Recorder().libraryLoaded;
}

void StartVideoRecording(WindowHandle owner) {
  VideoRecorder& video = Recorder();
  // A recording still open (a game left with Escape, or a tail still running) is completed
  // before its file is replaced.
  CloseVideoRecording();
  ProbeVideoLibrary();
  if (!video.libraryLoaded || !PlatformCompressionDialog(owner, video.encoders, &video.options) ||
      !OpenRecording(video)) {
    CloseVideoRecording();
    ShowRecordingWarning(owner);
    return;
  }
  video.frameIndex = 0;
  video.compressedCount = 0;
  video.recording = 1;
  video.tailCount = kVideoTailFrames;
  WakeWindowTimers();
}

void StopVideoRecording() {
  Recorder().recording = 0;
}

void CaptureVideoFrame(WindowHandle window, uint32_t, uintptr_t, uint32_t) {
  VideoRecorder& video = Recorder();
  if (!video.recording && video.tailCount <= 0) return;
  if (!video.recording) --video.tailCount;
  // A frame that fails is skipped: the next one takes its index.
  if (WriteFrame(video, window)) ++video.frameIndex;
  if (video.tailCount <= 0) CloseVideoRecording();
}

void CloseVideoRecording() {
  VideoRecorder& video = Recorder();
  video.recording = 0;
  video.tailCount = 0;
  if (!video.libraryLoaded) return;
  bool complete = true;
  if (video.file != nullptr) {
    complete = FinishAviFile(video.file);
    video.file = nullptr;
  }
  avcodec_free_context(&video.compressor);
  // Told once everything is closed: the timers go on under the message box.
  if (!complete) ShowIncompleteFileWarning();
}
