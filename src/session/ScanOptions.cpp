// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The camera table, the kind groups, and the mapping of the user's choices onto the
// recogniser's inputs, shared by the wizard and the command line.
#include "session/ScanOptions.h"

#include <algorithm>
#include <cctype>

#include "formats/FileTypes.h"

namespace snapsalvager {

const std::vector<TFileTypeGroup>& CameraTable() {
  // List order is the order of the camera list; row 0 is the default choice.
  static const std::vector<TFileTypeGroup> table = {
      {"Generic Digital Camera", {"JPG", "TIF"}},
      {"Generic Phone Camera", {"JPG"}},
      {"Canon Digital Camera", {"JPG", "CRW", "CR2"}},
      {"Casio Digital Camera", {"JPG"}},
      {"Fujifilm Digital Camera", {"JPG", "RAF"}},
      {"Kodak Digital Camera", {"JPG", "DCR"}},
      {"Konica Minolta Digital Camera", {"JPG", "MRW"}},
      {"Leica Digital Camera", {"JPG", "DNG"}},
      {"Nikon Digital Camera", {"JPG", "NEF"}},
      {"Olympus Digital Camera", {"JPG", "ORF"}},
      {"Panasonic Digital Camera", {"JPG", "RAW"}},
      {"Pentax Digital Camera", {"JPG", "PEF"}},
      {"Samsung Digital Camera", {"JPG", "DNG"}},
      {"Sigma Digital Camera", {"JPG", "X3F"}},
      {"Sony Digital Camera", {"JPG", "SRF"}},
  };
  return table;
}

const TFileTypeGroup& VideoGroup() {
  static const TFileTypeGroup group = {"Common Video Files",
                                       {"MPG", "MOV", "ASF", "MP4", "AVI", "3GP", "MTS"}};
  return group;
}

const TFileTypeGroup& AudioGroup() {
  static const TFileTypeGroup group = {"Common Audio Files", {"WAV", "MP3", "AMR"}};
  return group;
}

const TFileTypeGroup* FindCamera(const std::string& name) {
  auto lower = [](std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
  };
  const std::string wanted = lower(name);
  for (const TFileTypeGroup& camera : CameraTable()) {
    if (lower(camera.Name) == wanted) return &camera;
  }
  return nullptr;
}

TRecogniserInputs MakeRecogniserInputs(const std::string& cameraName, bool photo, bool video,
                                       bool audio, const std::string& chosenVideoType) {
  TRecogniserInputs inputs;
  inputs.IsCanonCamera = false;
  inputs.UseChosenVideoExt = false;
  inputs.ChosenVideoExt = "MOV";
  inputs.FileTypeEnabled.fill(false);

  // Without a camera row nothing is enabled; the caller reports the missing camera.
  const TFileTypeGroup* camera = FindCamera(cameraName);
  if (camera == nullptr) return inputs;

  // The brand test is case-sensitive on the table's own name.
  inputs.IsCanonCamera = camera->Name.find("Canon") != std::string::npos;
  if (photo) {
    for (const std::string& ext : camera->Exts) inputs.Enable(ext);
  }
  if (video) {
    if (chosenVideoType == "ALL") {
      for (const std::string& ext : VideoGroup().Exts) inputs.Enable(ext);
    } else {
      inputs.Enable(chosenVideoType);  // nothing when it is not a row of the table
      if (chosenVideoType == "MP4" || chosenVideoType == "3GP") {
        inputs.UseChosenVideoExt = true;
        inputs.ChosenVideoExt = chosenVideoType;
      }
    }
  }
  if (audio) {
    for (const std::string& ext : AudioGroup().Exts) inputs.Enable(ext);
  }
  // A deep scan names today's photos whatever the camera row: a card moves between
  // cameras and phones, and a raw file says its maker itself. Clips only when every video
  // type is asked for.
  const bool allVideo = video && chosenVideoType == "ALL";
  for (size_t i = 0; i < kFileTypes.size(); ++i) {
    const TDeepKind kind = kFileTypes[i].Deep;
    if ((kind == TDeepKind::Photo && photo) || (kind == TDeepKind::Video && allVideo) ||
        (kind == TDeepKind::Audio && audio)) {
      inputs.DeepTypeEnabled[i] = true;
    }
  }
  return inputs;
}

}  // namespace snapsalvager
