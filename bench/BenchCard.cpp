// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Camera cards for the deep-scan benchmark. The media are made once per folder and reused.
#include "BenchCard.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include "fixtures/Jpegs.h"

namespace benchcard {
namespace {

namespace fs = std::filesystem;

std::string Quote(const std::string& text) { return "'" + text + "'"; }

void Run(const std::string& command) {
  if (std::system((command + " >/dev/null 2>&1").c_str()) != 0) {
    throw std::runtime_error("bench card command failed: " + command);
  }
}

bool HasTool(const char* name) {
  return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

struct Clip {
  const char* Name;  // %d: the round
  const char* Ext;
  const char* Arguments;  // %d: the round, for a different picture each time
};

// What cameras and phones write, in the order they are shot in one round.
const Clip kClips[] = {
    {"MVI_%d01.AVI", "AVI",
     "-f lavfi -i testsrc=size=320x240:rate=15:duration=3.%d -f lavfi -i sine=f=440:d=3 -shortest "
     "-c:v mjpeg -q:v 4 -c:a pcm_s16le -f avi"},
    {"MVI_%d02.MOV", "MOV",
     "-f lavfi -i testsrc2=size=320x240:rate=15:duration=3.%d -c:v mjpeg -q:v 4 -f mov"},
    {"VID_%d03.MP4", "MP4",
     "-f lavfi -i testsrc=size=320x240:rate=25:duration=4.%d -f lavfi -i sine=f=330:d=4 -shortest "
     "-c:v libx264 -preset ultrafast -c:a aac -f mp4"},
    {"MVI_%d04.MOV", "MOV",
     "-f lavfi -i testsrc=size=320x240:rate=25:duration=3.%d -c:v libx264 -preset ultrafast -f mov"},
    {"VID_%d05.3GP", "3GP", "-f lavfi -i testsrc=size=176x144:rate=15:duration=3.%d -c:v h263 -f 3gp"},
    {"CLIP%d06.MTS", "MTS",
     "-f lavfi -i testsrc=size=320x240:rate=25:duration=3.%d -c:v mpeg2video -q:v 5 "
     "-f mpegts -mpegts_m2ts_mode 1"},
    {"CLIP%d07.MTS", "MTS",
     "-f lavfi -i testsrc2=size=320x240:rate=25:duration=2.%d -c:v mpeg2video -q:v 5 -f mpegts"},
    {"MOV%d08.MPG", "MPG",
     "-f lavfi -i testsrc=size=320x240:rate=25:duration=3.%d -c:v mpeg2video -q:v 5 -f vob"},
    {"MOV%d09.WMV", "ASF",
     "-f lavfi -i testsrc=size=320x240:rate=15:duration=3.%d -f lavfi -i sine=f=550:d=3 -shortest "
     "-c:v wmv2 -c:a wmav2 -f asf"},
    {"REC%d10.WAV", "WAV", "-f lavfi -i sine=f=440:d=5.%d -ar 22050 -f wav"},
    {"REC%d11.MP3", "MP3",
     "-f lavfi -i sine=f=660:d=6.%d -c:a libmp3lame -id3v2_version 3 -write_id3v1 1 -f mp3"},
};

std::string Format(const char* pattern, int round) {
  char text[512];
  std::snprintf(text, sizeof text, pattern, round, round, round);
  return text;
}

// AMR narrow band at 12.2 kbit/s, as a phone's voice recorder writes it (ffmpeg has no
// AMR encoder here): the magic and frames of a table-of-contents byte and 31 bytes.
void WriteAmr(const fs::path& path, int frames, uint32_t salt) {
  std::ofstream out(path, std::ios::binary);
  out << "#!AMR\n";
  uint32_t x = salt;
  for (int f = 0; f < frames; ++f) {
    out.put(0x3C);
    for (int i = 0; i < 31; ++i) {
      x = x * 1103515245u + 12345;
      out.put(static_cast<char>(x >> 16));
    }
  }
}

// One round of shooting: photos between the clips, a voice memo at the end.
std::vector<File> MakeRound(const fs::path& media, int round) {
  std::vector<File> files;
  int photo = 0;
  auto addPhoto = [&](int count) {
    for (int i = 0; i < count; ++i) {
      ++photo;
      char name[32];
      std::snprintf(name, sizeof name, "IMG_%d%03d.JPG", round, photo);
      const fs::path path = media / name;
      if (!fs::exists(path)) {
        fixtures::JpegOptions jpeg;
        jpeg.Width = 1024;
        jpeg.Height = 768;
        jpeg.Texture = 24;
        jpeg.Salt = static_cast<uint32_t>(round * 100 + photo);
        fixtures::WritePlainFile(path, fixtures::EncodeJpeg(jpeg));
      }
      files.push_back({path, "JPG", false});
    }
  };
  addPhoto(3);
  for (const Clip& clip : kClips) {
    const fs::path path = media / Format(clip.Name, round);
    if (!fs::exists(path)) {
      Run("ffmpeg -v error -y -nostdin " + Format(clip.Arguments, round) + " -bitexact " +
          Quote(path.string()));
    }
    files.push_back({path, clip.Ext, false});
    addPhoto(1);
  }
  const fs::path amr = media / Format("VOICE%d12.AMR", round);
  if (!fs::exists(amr)) WriteAmr(amr, 250 + 10 * round, static_cast<uint32_t>(round));
  files.push_back({amr, "AMR", false});
  return files;
}

void Copy(const std::string& image, const std::vector<File>& files, const std::string& folder) {
  Run("mmd -i " + image + " " + folder);
  std::string sources;
  for (const File& f : files) sources += " " + Quote(f.Path.string());
  Run("mcopy -i " + image + sources + " " + folder + "/");
}

}  // namespace

bool ToolsAvailable() {
  return HasTool("ffmpeg") && HasTool("mkfs.fat") && HasTool("mcopy") && HasTool("mdel");
}

const char* Name(Kind kind) {
  switch (kind) {
    case Kind::Camera: return "camera";
    case Kind::QuickFormatted: return "quick-formatted";
    case Kind::NearlyEmpty: return "nearly-empty";
    case Kind::Full: return "full";
  }
  return "?";
}

Card Make(const fs::path& dir, Kind kind, uint32_t sizeMiB) {
  const fs::path media = dir / "media";
  fs::create_directories(media);
  Card card;
  card.Image = dir / (std::string(Name(kind)) + ".img");
  fs::remove(card.Image);
  const std::string image = Quote(card.Image.string());
  // FAT32 wants at least 65,525 clusters: 2 KiB clusters below 512 MiB, 4 KiB above.
  const std::string format = std::string("mkfs.fat -F 32 -s ") + (sizeMiB < 512 ? "4" : "8") + " -n CAMERA ";
  Run(format + "-C " + image + " " + std::to_string(uint64_t{sizeMiB} * 1024));
  Run("mmd -i " + image + " ::/DCIM");

  if (kind == Kind::NearlyEmpty) {
    std::vector<File> round = MakeRound(media, 1);
    std::vector<File> few = {round[5], round[7], round[21]};  // a MOV, an MP4, a WAV
    Copy(image, few, "::/DCIM/100CANON");
    card.Files = few;
    return card;
  }
  if (kind == Kind::Full) {
    // The same shots again and again: a card in daily use, where every sector is written.
    std::vector<File> both = MakeRound(media, 1);
    for (const File& f : MakeRound(media, 2)) both.push_back(f);
    uint64_t setBytes = 0;
    for (const File& f : both) setBytes += fs::file_size(f.Path);
    for (int copy = 1; uint64_t(copy + 1) * setBytes < uint64_t{sizeMiB} * 1024 * 1024 * 85 / 100; ++copy) {
      Copy(image, both, Format("::/DCIM/%d", 100 + copy));
      card.Files.insert(card.Files.end(), both.begin(), both.end());
    }
    return card;
  }
  for (int r = 1; r <= 2; ++r) {
    std::vector<File> round = MakeRound(media, r);
    const std::string folder = Format("::/DCIM/%d00CANON", r);
    Copy(image, round, folder);
    if (r == 1) {
      // Deleted on the camera: a photo, the first AVI and the MP3.
      for (File& f : round) {
        const std::string name = f.Path.filename().string();
        if (name == "IMG_1002.JPG" || f.Ext == "AVI" || f.Ext == "MP3") {
          Run("mdel -i " + image + " " + folder + "/" + name);
          f.Deleted = true;
        }
      }
    }
    card.Files.insert(card.Files.end(), round.begin(), round.end());
  }
  // A quick format writes a new boot sector, FATs and root folder; the data stays.
  if (kind == Kind::QuickFormatted) Run(format + image);
  return card;
}

}  // namespace benchcard
