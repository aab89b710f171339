// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Video and audio verdicts through FFmpeg's libraries: the container demuxed packet by packet
// from the file (never more than a buffer in memory), the main video and audio streams
// decoded, and the first break located in time: a demuxer or decoder error, a frame marked
// corrupt, or a file that ends before the length its container states.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

#include "decode/Decoders.h"

namespace snapsalvager::decode {
namespace {

constexpr int kIoBufferSize = 64 * 1024;
// Decoded video pixels after which only keyframes are decoded (about a minute of 1080p):
// the demuxer still reads every packet, so a cut or a broken index is still found.
constexpr int64_t kFullDecodePixels = 4000000000LL;
// The shortest clip whose preview frame is taken 10 % in rather than the first.
constexpr double kShortClipSeconds = 2.0;
// A file that stops before this share of its stated length was cut (the rest covers encoder
// delay and the last frame's own length).
constexpr double kCutShare = 0.97;
// Packets that decode after a break before it counts as damage rather than the next file's
// bytes after the end.
constexpr int kResumePackets = 3;
// Waveform peaks are kept per this many seconds of sound, at most kMaxPeaks of them.
constexpr double kPeakSeconds = 0.02;
constexpr size_t kMaxPeaks = 1000000;

// The demuxers a card's clips and recordings need, and no others: the rest of FFmpeg's
// formats never see card data.
constexpr char kFormats[] =
    "mov,mp4,m4a,3gp,3g2,mj2,avi,mpegts,mpeg,mpegvideo,m4v,h264,hevc,asf,mxf,mp3,wav,amr,flac,aac";

// Streams that carry no length of their own: a carved one ends where decoding stops.
constexpr const char* kEndlessFormats[] = {"mp3", "amr", "flac", "mpeg", "mpegts", "mpegvideo", "m4v", "h264", "hevc", "aac"};

bool IsEndless(const char* format) {
  for (const char* name : kEndlessFormats) {
    if (std::strcmp(format, name) == 0) return true;
  }
  return false;
}

// FFmpeg reports damage it works around (concealed slices, skipped frames) only to its log.
thread_local int t_logErrors = 0;

void OnLog(void*, int level, const char*, va_list) {
  if (level <= AV_LOG_ERROR) ++t_logErrors;
}

struct TIo {
  const TFileBytes* File;
  int64_t Position;
};

int ReadIo(void* opaque, uint8_t* buffer, int size) {
  auto* io = static_cast<TIo*>(opaque);
  const int64_t got = io->File->ReadAt(io->Position, buffer, static_cast<size_t>(size));
  if (got < 0) return AVERROR(EIO);
  if (got == 0) return AVERROR_EOF;
  io->Position += got;
  return static_cast<int>(got);
}

int64_t SeekIo(void* opaque, int64_t offset, int whence) {
  auto* io = static_cast<TIo*>(opaque);
  if (whence & AVSEEK_SIZE) return io->File->Size();
  whence &= ~AVSEEK_FORCE;
  int64_t to = offset;
  if (whence == SEEK_CUR) to = io->Position + offset;
  if (whence == SEEK_END) to = io->File->Size() + offset;
  if ((whence != SEEK_SET && whence != SEEK_CUR && whence != SEEK_END) || to < 0) return -1;
  io->Position = to;
  return to;
}

struct TFormatCloser {
  void operator()(AVFormatContext* f) const {
    AVIOContext* pb = f->pb;
    avformat_close_input(&f);
    if (pb) {
      av_freep(&pb->buffer);
      avio_context_free(&pb);
    }
  }
};
struct TCodecCloser {
  void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct TFrameCloser {
  void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct TPacketCloser {
  void operator()(AVPacket* p) const { av_packet_free(&p); }
};
using TCodec = std::unique_ptr<AVCodecContext, TCodecCloser>;

// One decoded stream and what it has shown so far.
struct TStream {
  int Index = -1;
  TCodec Codec;
  AVRational TimeBase{0, 1};
  int64_t Frames = 0;
};

TCodec OpenDecoder(const AVStream* stream) {
  const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
  if (codec == nullptr) return nullptr;
  TCodec context(avcodec_alloc_context3(codec));
  if (!context || avcodec_parameters_to_context(context.get(), stream->codecpar) < 0) return nullptr;
  context->thread_count = 1;  // the pool of helpers gives the parallelism
  context->err_recognition = AV_EF_CRCCHECK | AV_EF_BITSTREAM | AV_EF_BUFFER | AV_EF_EXPLODE;
  context->pkt_timebase = stream->time_base;
  if (avcodec_open2(context.get(), codec, nullptr) < 0) return nullptr;
  return context;
}

// A frame's first channel as a peak value 0..1 per sample.
double SampleAt(const AVFrame* f, int i) {
  const int channels = std::max(1, f->ch_layout.nb_channels);
  const bool planar = av_sample_fmt_is_planar(static_cast<AVSampleFormat>(f->format));
  const int at = planar ? i : i * channels;
  const uint8_t* p = f->extended_data[0];
  switch (av_get_packed_sample_fmt(static_cast<AVSampleFormat>(f->format))) {
    case AV_SAMPLE_FMT_U8: return std::abs((p[at] - 128) / 128.0);
    case AV_SAMPLE_FMT_S16: return std::abs(reinterpret_cast<const int16_t*>(p)[at] / 32768.0);
    case AV_SAMPLE_FMT_S32: return std::abs(reinterpret_cast<const int32_t*>(p)[at] / 2147483648.0);
    case AV_SAMPLE_FMT_S64: return std::abs(reinterpret_cast<const int64_t*>(p)[at] / 9.2233720368547758e18);
    case AV_SAMPLE_FMT_FLT: return std::min(1.0, std::abs(double{reinterpret_cast<const float*>(p)[at]}));
    case AV_SAMPLE_FMT_DBL: return std::min(1.0, std::abs(reinterpret_cast<const double*>(p)[at]));
    default: return 0;
  }
}

class TWaveform {
 public:
  void Add(const AVFrame* f) {
    if (f->sample_rate <= 0 || f->nb_samples <= 0 || f->extended_data == nullptr) return;
    const int perPeak = std::max(1, static_cast<int>(f->sample_rate * kPeakSeconds));
    for (int i = 0; i < f->nb_samples; ++i) {
      current_ = std::max(current_, SampleAt(f, i));
      if (++inPeak_ >= perPeak && peaks_.size() < kMaxPeaks) {
        peaks_.push_back(static_cast<float>(current_));
        current_ = 0;
        inPeak_ = 0;
      }
    }
  }

  TPreview Picture() const {
    TPreview p;
    if (peaks_.empty()) return p;
    p.Width = kWaveformWidth;
    p.Height = kWaveformHeight;
    p.Rgb.assign(static_cast<size_t>(p.Width) * p.Height * 3, 0x24);
    const int middle = p.Height / 2;
    for (int x = 0; x < p.Width; ++x) {
      const size_t from = peaks_.size() * x / p.Width;
      const size_t to = std::max(from + 1, peaks_.size() * (x + 1) / p.Width);
      float peak = 0;
      for (size_t k = from; k < to && k < peaks_.size(); ++k) peak = std::max(peak, peaks_[k]);
      const int half = std::max(1, static_cast<int>(peak * (middle - 1)));
      for (int y = middle - half; y <= middle + half && y < p.Height; ++y) {
        uint8_t* px = p.Rgb.data() + (static_cast<size_t>(y) * p.Width + x) * 3;
        px[0] = 0x5A, px[1] = 0xB4, px[2] = 0xF0;
      }
    }
    return p;
  }

 private:
  std::vector<float> peaks_;
  double current_ = 0;
  int inPeak_ = 0;
};

TPreview FramePicture(const AVFrame* f) {
  TPreview p;
  if (f->width <= 0 || f->height <= 0) return p;
  const double scale = std::min({1.0, double(kPreviewMaxWidth) / f->width, double(kPreviewMaxHeight) / f->height});
  p.Width = std::max(2, static_cast<int>(f->width * scale));
  p.Height = std::max(2, static_cast<int>(f->height * scale));
  SwsContext* sws = sws_getContext(f->width, f->height, static_cast<AVPixelFormat>(f->format), p.Width, p.Height,
                                   AV_PIX_FMT_RGB24, SWS_BILINEAR, nullptr, nullptr, nullptr);
  if (sws == nullptr) return {};
  p.Rgb.resize(static_cast<size_t>(p.Width) * p.Height * 3);
  uint8_t* planes[4] = {p.Rgb.data(), nullptr, nullptr, nullptr};
  int strides[4] = {p.Width * 3, 0, 0, 0};
  const int rows = sws_scale(sws, f->data, f->linesize, 0, f->height, planes, strides);
  sws_freeContext(sws);
  if (rows <= 0) return {};
  return p;
}

double Seconds(int64_t ts, AVRational base) {
  return ts == AV_NOPTS_VALUE ? -1 : static_cast<double>(ts) * av_q2d(base);
}

}  // namespace

void PrepareMediaDecoders() {
  av_log_set_callback(OnLog);
}

TDecodeOutcome CheckMedia(const TFileBytes& file, TFileFamily family, bool wantPreview) {
  TDecodeOutcome out;
  TVerdict& v = out.Verdict;
  v.Kind = TVerdictKind::Unreadable;
  v.Percent = 0;
  v.Reason = "no-container";
  av_log_set_callback(OnLog);

  TIo io{&file, 0};
  auto* buffer = static_cast<uint8_t*>(av_malloc(kIoBufferSize));
  if (buffer == nullptr) return out;
  AVIOContext* pb = avio_alloc_context(buffer, kIoBufferSize, 0, &io, ReadIo, nullptr, SeekIo);
  if (pb == nullptr) {
    av_free(buffer);
    return out;
  }
  AVFormatContext* raw = avformat_alloc_context();
  if (raw == nullptr) {
    av_freep(&pb->buffer);
    avio_context_free(&pb);
    return out;
  }
  raw->pb = pb;
  raw->flags |= AVFMT_FLAG_CUSTOM_IO;
  AVDictionary* options = nullptr;
  av_dict_set(&options, "format_whitelist", kFormats, 0);
  const int opened = avformat_open_input(&raw, nullptr, nullptr, &options);
  av_dict_free(&options);
  if (opened < 0) {  // avformat_open_input freed the context but not our I/O
    av_freep(&pb->buffer);
    avio_context_free(&pb);
    return out;
  }
  const std::unique_ptr<AVFormatContext, TFormatCloser> format(raw);
  if (avformat_find_stream_info(raw, nullptr) < 0) {
    v.Reason = "no-stream";
    return out;
  }

  TStream video, audio;
  if (family == TFileFamily::Video) {
    video.Index = av_find_best_stream(raw, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  }
  audio.Index = av_find_best_stream(raw, AVMEDIA_TYPE_AUDIO, -1, video.Index >= 0 ? video.Index : -1, nullptr, 0);
  for (TStream* s : {&video, &audio}) {
    if (s->Index < 0) continue;
    const AVStream* stream = raw->streams[s->Index];
    s->Codec = OpenDecoder(stream);
    s->TimeBase = stream->time_base;
    if (!s->Codec) s->Index = -1;
  }
  if (video.Index < 0 && audio.Index < 0) {
    v.Reason = "no-decoder";
    return out;
  }
  if (video.Index >= 0) {
    v.Width = video.Codec->width;
    v.Height = video.Codec->height;
  }

  // The stated length, and where the content starts.
  const double start = raw->start_time != AV_NOPTS_VALUE ? raw->start_time / double(AV_TIME_BASE) : 0;
  double duration = raw->duration != AV_NOPTS_VALUE ? raw->duration / double(AV_TIME_BASE) : 0;
  const bool durationStated = raw->duration_estimation_method != AVFMT_DURATION_FROM_BITRATE;
  v.DurationMs = static_cast<int64_t>(duration * 1000);
  const double previewAt = duration >= kShortClipSeconds ? start + duration * 0.1 : -1;

  const std::unique_ptr<AVPacket, TPacketCloser> packet(av_packet_alloc());
  const std::unique_ptr<AVFrame, TFrameCloser> frame(av_frame_alloc());
  if (!packet || !frame) return out;
  TWaveform waveform;
  bool previewTaken = false;
  int64_t decodedPixels = 0;
  double reached = 0;  // end time of the content decoded so far, without a break
  double breakAt = -1;
  const char* reason = nullptr;
  bool packetBad = false;
  auto broke = [&](const char* why) {
    packetBad = true;
    if (breakAt < 0) {
      breakAt = reached;
      reason = why;
    }
  };
  auto drain = [&](TStream& s) {
    for (;;) {
      const int got = avcodec_receive_frame(s.Codec.get(), frame.get());
      if (got == AVERROR(EAGAIN) || got == AVERROR_EOF) return;
      if (got < 0) {
        broke("corrupt-data");
        return;
      }
      ++s.Frames;
      if (frame->decode_error_flags != 0 || (frame->flags & AV_FRAME_FLAG_CORRUPT)) broke("corrupt-data");
      const double at = Seconds(frame->best_effort_timestamp, s.TimeBase);
      if (&s == &video) {
        decodedPixels += int64_t{frame->width} * frame->height;
        if (wantPreview && !previewTaken && (s.Frames == 1 || (previewAt >= 0 && at >= previewAt))) {
          out.Preview = FramePicture(frame.get());
          previewTaken = previewAt < 0 || at >= previewAt;
        }
      } else if (wantPreview && video.Index < 0) {
        waveform.Add(frame.get());
      }
      av_frame_unref(frame.get());
    }
  };

  t_logErrors = 0;
  int goodAfterBreak = 0;
  for (;;) {
    const int logBefore = t_logErrors;
    const int64_t framesBefore = video.Frames + audio.Frames;
    packetBad = false;
    const int read = av_read_frame(raw, packet.get());
    if (read == AVERROR_EOF) break;
    if (read < 0) {
      broke("demux-error");
      break;
    }
    TStream* s = packet->stream_index == video.Index ? &video : packet->stream_index == audio.Index ? &audio : nullptr;
    if (s == nullptr) {
      av_packet_unref(packet.get());
      continue;
    }
    if (t_logErrors > logBefore || (packet->flags & AV_PKT_FLAG_CORRUPT)) broke("demux-error");
    if (s == &video && decodedPixels > kFullDecodePixels) s->Codec->skip_frame = AVDISCARD_NONKEY;
    const double packetStart = Seconds(packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts, s->TimeBase);
    const double packetEnd = packetStart + Seconds(packet->duration, s->TimeBase);
    const int sent = avcodec_send_packet(s->Codec.get(), packet.get());
    av_packet_unref(packet.get());
    if (sent < 0 && sent != AVERROR(EAGAIN)) broke("corrupt-data");
    drain(*s);
    if (t_logErrors > logBefore) broke("corrupt-data");
    if (packetBad) {
      goodAfterBreak = 0;
    } else if (breakAt >= 0 && video.Frames + audio.Frames > framesBefore) {
      ++goodAfterBreak;
    }
    if (breakAt < 0 && packetStart >= 0) reached = std::max(reached, packetEnd - start);
  }
  for (TStream* s : {&video, &audio}) {
    if (s->Index < 0) continue;
    const int logBefore = t_logErrors;
    avcodec_send_packet(s->Codec.get(), nullptr);
    drain(*s);
    if (t_logErrors > logBefore) broke("corrupt-data");
  }
  // A carved file runs on into the next file's bytes: a break that nothing decodable follows
  // is where the content ended, unless the container states a longer length.
  // The container's own signals (a read error, a packet it had to cut) are never the end, nor
  // is anything in a container that states its own length (it reads no further).
  if (breakAt >= 0 && goodAfterBreak < kResumePackets && std::strcmp(reason, "corrupt-data") == 0 &&
      IsEndless(raw->iformat->name)) {
    breakAt = -1;
    reason = nullptr;
  }
  if (wantPreview && video.Index < 0) out.Preview = waveform.Picture();

  const int64_t frames = (video.Index >= 0 ? video.Frames : 0) + (audio.Index >= 0 ? audio.Frames : 0);
  if (frames == 0) {
    v.Reason = "nothing-decodes";
    return out;
  }
  if (breakAt < 0 && durationStated && duration > 0 && reached < duration * kCutShare) {
    breakAt = reached;
    reason = "cut";
  }
  if (duration <= 0) duration = reached;
  if (breakAt < 0) {
    v.Kind = TVerdictKind::Whole;
    v.Percent = 100;
    v.Reason.clear();
    return out;
  }
  v.Kind = TVerdictKind::Damaged;
  v.Percent = duration > 0 ? std::clamp(static_cast<int>(breakAt * 100 / duration), 0, 99) : -1;
  v.Reason = reason;
  return out;
}

}  // namespace snapsalvager::decode
