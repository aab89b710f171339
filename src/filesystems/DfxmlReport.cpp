// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
#include "filesystems/DfxmlReport.h"

#include "filesystems/Text.h"

namespace snapsalvager::filesystems {
namespace {

bool XmlAllowed(char32_t c) {
  return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
         (c >= 0x10000 && c <= 0x10FFFF);
}

void Element(std::string& out, const char* indent, const char* name, std::string_view text) {
  out += indent;
  out += '<';
  out += name;
  out += '>';
  out += XmlEscaped(text);
  out += "</";
  out += name;
  out += ">\n";
}

std::string JoinedPath(const NamedEntry& e) {
  std::string path;
  for (const auto& folder : e.Folder) path += folder + "/";
  return path + e.Entry.Name;
}

}  // namespace

std::string XmlEscaped(std::string_view untrusted) {
  std::string out;
  for (char32_t c : DecodeUtf8(untrusted)) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      case '\r': out += "&#13;"; break;
      default: AppendUtf8(out, XmlAllowed(c) ? c : kReplacement);
    }
  }
  return out;
}

std::string DfxmlReport(const ReportSource& source, std::span<const ReportedFile> files) {
  std::string out =
      "<?xml version='1.0' encoding='UTF-8'?>\n"
      "<dfxml xmloutputversion='1.0' xmlns='http://www.forensicswiki.org/wiki/Category:Digital_Forensics_XML'"
      " xmlns:dc='http://purl.org/dc/elements/1.1/'>\n"
      "  <metadata>\n    <dc:type>Carve Report</dc:type>\n  </metadata>\n"
      "  <creator>\n";
  Element(out, "    ", "program", "Snapsalvager");
  Element(out, "    ", "version", source.ProgramVersion);
  if (!source.StartTime.empty()) Element(out, "    ", "start_time", source.StartTime);
  out += "  </creator>\n  <source>\n";
  Element(out, "    ", "image_filename", source.ImageFilename);
  Element(out, "    ", "sectorsize", std::to_string(source.SectorSize));
  Element(out, "    ", "image_size", std::to_string(source.ImageSize));
  out += "  </source>\n";
  for (const ReportedFile& f : files) {
    out += "  <fileobject>\n";
    Element(out, "    ", "filename", f.Filename);
    Element(out, "    ", "filesize", std::to_string(f.Size));
    Element(out, "    ", "type", f.Type);
    if (const NamedEntry* o = f.Original) {
      Element(out, "    ", "original_filename", JoinedPath(*o));
      Element(out, "    ", "alloc", o->Entry.Deleted ? "0" : "1");
      if (o->Entry.Modified.Valid()) Element(out, "    ", "mtime", o->Entry.Modified.Iso8601());
      if (o->Entry.Created.Valid()) Element(out, "    ", "crtime", o->Entry.Created.Iso8601());
      if (o->Entry.Accessed.Valid()) Element(out, "    ", "atime", o->Entry.Accessed.Iso8601());
    }
    out += "    <byte_runs>\n";
    for (const ByteRun& r : f.Runs) {
      out += "      <byte_run offset='" + std::to_string(r.FileOffset) + "' img_offset='" +
             std::to_string(r.CardOffset) + "' len='" + std::to_string(r.Length) + "'/>\n";
    }
    out += "    </byte_runs>\n  </fileobject>\n";
  }
  out += "</dfxml>\n";
  return out;
}

}  // namespace snapsalvager::filesystems
