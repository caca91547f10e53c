#include "imageio/PluginManager.h"

#include <dirent.h>

#include <algorithm>
#include <cstring>
#include <utility>

#include "imageio/Module.h"
#include "util/Error.h"

namespace tvx {
namespace {

constexpr char kUnsupported[] = "Unsupported file plugin!";
// A plug-in whose format list never ends would hang start-up; no real one
// comes near this many formats.
constexpr uint32_t kMaxFormatsPerPlugin = 4096;

std::string LowerCase(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

// Bare names of the folder's entries ending in ".fp" (case as written: the
// mask is lower case), sorted so that load order does not depend on the
// file system's listing order.
std::vector<std::string> ListPluginNames(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = opendir(folder.c_str());
  if (!dir) return names;
  while (dirent* entry = readdir(dir)) {
    std::string_view name = entry->d_name;
    if (name.size() > 3 && name.ends_with(".fp")) names.emplace_back(name);
  }
  closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

// ---- TFilePluginInfo -------------------------------------------------------

bool TFilePluginInfo::Load(const std::string& fileName) {
  Unload();
  std::string path = fileName;
  if (fileName.find('/') == std::string::npos) {
    // A bare name would make the loader search the system's library path.
    const std::string folder = ProgramFolder();
    if (folder.empty()) return false;
    path = folder + fileName;
  }
  void* handle = Module::Open(path);
  if (!handle) return false;
  auto init = reinterpret_cast<TInitFilePluginFunc>(Module::Symbol(handle, "InitFilePlugin"));
  TFilePlugin* plugin = init ? init() : nullptr;
  if (!plugin) {
    Module::Close(handle);
    return false;
  }
  Plugin = plugin;
  Module = handle;
  FileName = fileName;
  // Optional: plug-ins without the bridge are served as before.
  if (auto bridge = reinterpret_cast<TGetFileMetadataAccessFunc>(Module::Symbol(handle, "GetFileMetadataAccess")))
    Metadata = bridge(plugin);
  if (auto edit = reinterpret_cast<TGetFileMetadataEditFunc>(Module::Symbol(handle, "GetFileMetadataEdit")))
    MetadataEdit = edit(plugin);
  if (auto bridge = reinterpret_cast<TGetFileRegionAccessFunc>(Module::Symbol(handle, "GetFileRegionAccess")))
    Regions = bridge(plugin);
  Formats.clear();
  for (uint32_t index = 0; index < kMaxFormatsPerPlugin; ++index) {
    TFileFormat format = Plugin->GetFormat(index);
    if (format.Extension.empty()) break;
    format.Extension = LowerCase(std::move(format.Extension));
    Formats.push_back(std::move(format));
  }
  return true;
}

void TFilePluginInfo::Unload() {
  if (!Plugin) return;
  Plugin->Finalize();
  Metadata = nullptr;  // the extensions belong to the object freed next
  MetadataEdit = nullptr;
  Regions = nullptr;
  Plugin->FreeMemory(Plugin);
  Plugin = nullptr;
  Module::Close(Module);
  Module = nullptr;
  Formats.clear();
}

// ---- TPluginManager --------------------------------------------------------

TPluginManager::TPluginManager() {
  // Without a known program folder nothing is loaded: the current folder is
  // no place to take modules from.
  if (const std::string folder = ProgramFolder(); !folder.empty()) LoadPlugins(folder);
  BuildFormatTable();
}

TPluginManager::TPluginManager(const std::string& folder) {
  LoadPlugins(folder);
  BuildFormatTable();
}

TPluginManager::~TPluginManager() {
  for (TFilePluginInfo& info : plugins_) info.Unload();
  plugins_.clear();
  formats_.clear();
}

void TPluginManager::LoadPlugins(const std::string& folder) {
  formats_.clear();
  const std::string prefix = folder.empty() ? std::string("./") : IncludeTrailingPathDelimiter(folder);
  for (const std::string& name : ListPluginNames(prefix)) {
    TFilePluginInfo info;
    // A module that fails is skipped silently; the others still load.
    if (info.Load(prefix + name)) plugins_.push_back(std::move(info));
  }
}

void TPluginManager::BuildFormatTable() {
  formats_.clear();
  for (const TFilePluginInfo& info : plugins_) {
    for (const TFileFormat& format : info.Formats) {
      auto found = std::find_if(formats_.begin(), formats_.end(),
                                [&](const TFileFormat& f) { return f.Extension == format.Extension; });
      if (found == formats_.end()) {
        formats_.push_back(format);
      } else {
        // Flags are only ever set: an entry serves what any plug-in serves.
        found->CanLoad = found->CanLoad || format.CanLoad;
        found->CanSave = found->CanSave || format.CanSave;
      }
    }
  }
}

int TPluginManager::FindPlugin(const std::string& extension, bool forSave) const {
  std::string ext = LowerCase(extension);
  for (size_t i = 0; i < plugins_.size(); ++i) {
    for (const TFileFormat& format : plugins_[i].Formats) {
      if (format.Extension == ext && (forSave ? format.CanSave : format.CanLoad)) return static_cast<int>(i);
    }
  }
  return -1;
}

int TPluginManager::FindSaver(const std::string& extension) const {
  const int index = FindPlugin(extension, true);
  if (index >= 0) return index;
  const std::string twin = SaveTwinOf(LowerCase(extension));
  return twin.empty() ? -1 : FindPlugin(twin, true);
}

const TFilePluginInfo& TPluginManager::Require(const std::string& extension, bool forSave,
                                               const char* qualifier, int number) const {
  int index = extension.empty() ? -1 : forSave ? FindSaver(extension) : FindPlugin(extension, false);
  if (index < 0) RaiseError(qualifier, number, kUnsupported);
  return plugins_[static_cast<size_t>(index)];
}

TPictureSize TPluginManager::LoadBitmapInfo(const std::string& fileName) const {
  return Require(ExtractFileExt(fileName), false, "TPluginManager::LoadBitmapInfo", 177)
      .Plugin->LoadBitmapInfo(fileName);
}

void TPluginManager::LoadBitmap(const std::string& fileName, TBitmap32& target) const {
  TFilePlugin* plugin = Require(ExtractFileExt(fileName), false, "TPluginManager::LoadBitmapA", 194).Plugin;
  TPictureData data = plugin->LoadBitmap(fileName);
  // The block goes back to the plug-in's own allocator whatever happens below.
  auto release = [plugin](TColor32* block) {
    if (block) plugin->FreeMemory(block);
  };
  std::unique_ptr<TColor32, decltype(release)> block(data.Pixels, release);
  // Negative sizes or a missing block are a broken result, not a picture.
  if (data.Width <= 0 || data.Height <= 0 || !data.Pixels)
    RaiseError("TPluginManager::LoadBitmapA", 198, "Error while loading " + fileName + "!");
  target.SetSize(data.Width, data.Height);
  std::memcpy(target.Bits(), block.get(),
              static_cast<size_t>(data.Width) * static_cast<size_t>(data.Height) * 4);
}

std::unique_ptr<TBitmap32> TPluginManager::LoadBitmapAdopted(const std::string& fileName) const {
  TFilePlugin* plugin = Require(ExtractFileExt(fileName), false, "TPluginManager::LoadBitmapA", 194).Plugin;
  auto bitmap = std::make_unique<TBitmap32>();  // first: nothing may fail once the block is ours
  TPictureData data = plugin->LoadBitmap(fileName);
  if (data.Width <= 0 || data.Height <= 0 || !data.Pixels) {
    if (data.Pixels) plugin->FreeMemory(data.Pixels);
    RaiseError("TPluginManager::LoadBitmapA", 198, "Error while loading " + fileName + "!");
  }
  TPixelRelease release;
  release.Release = [](void* context, TColor32* block) {
    static_cast<TFilePlugin*>(context)->FreeMemory(block);
  };
  release.Context = plugin;
  bitmap->Adopt(data.Width, data.Height, data.Pixels, release);
  return bitmap;
}

std::unique_ptr<TBitmap32> TPluginManager::LoadBitmap(const std::string& fileName) const {
  auto bitmap = std::make_unique<TBitmap32>();
  LoadBitmap(fileName, *bitmap);
  return bitmap;
}

bool TPluginManager::SaveBitmap(const std::string& fileName, const TBitmap32& bitmap) const {
  return Require(ExtractFileExt(fileName), true, "TPluginManager::SaveBitmap", 210)
      .Plugin->SaveBitmap(fileName, bitmap.Width(), bitmap.Height(), bitmap.Bits());
}

void TPluginManager::SetQuality(const std::string& extension, int quality) const {
  Require(extension, true, "TPluginManager::SetQuality", 226)
      .Plugin->SetQuality(extension, static_cast<uint32_t>(quality));
}

bool TPluginManager::WriteExif(const std::string& fileName, ExifTag tag, const std::string& text) const {
  return Require(ExtractFileExt(fileName), true, "TPluginManager::WriteExif", 286)
      .Plugin->WriteExif(fileName, tag, text);
}

bool TPluginManager::CopyExif(const std::string& sourceFileName, const std::string& destFileName) const {
  const TFilePluginInfo& from = Require(ExtractFileExt(sourceFileName), true, "TPluginManager::CopyExif", 295);
  const std::string destExt = ExtractFileExt(destFileName);
  const int to = destExt.empty() ? -1 : FindSaver(destExt);
  if (to >= 0 && &plugins_[size_t(to)] != &from && from.Metadata && plugins_[size_t(to)].Metadata) {
    // Across plug-ins: a source without EXIF has nothing to copy, as with CopyExif.
    TPictureMetadata metadata;
    if (!from.Metadata->ReadMetadata(sourceFileName, metadata) || metadata.Exif.empty()) return false;
    return plugins_[size_t(to)].Metadata->WriteMetadata(destFileName, metadata);
  }
  return from.Plugin->CopyExif(sourceFileName, destFileName);
}

bool TPluginManager::ApplyExif(const std::string& sourceFileName, const std::string& destFileName,
                               const std::vector<TExifFieldText>& fields) const {
  const std::string sourceExt = ExtractFileExt(sourceFileName), destExt = ExtractFileExt(destFileName);
  const int from = sourceExt.empty() ? -1 : FindSaver(sourceExt);
  const int to = destExt.empty() ? -1 : FindSaver(destExt);
  // Between plug-ins the copy goes through the bridge and the writes to
  // another module: no single plug-in sees the whole step.
  if (from < 0 || from != to) return false;
  TFileMetadataEdit* edit = plugins_[size_t(to)].MetadataEdit;
  return edit && edit->ApplyExif(sourceFileName, destFileName, fields.data(), fields.size());
}

TExifParameters TPluginManager::GetExif(const std::string& fileName) const {
  return Require(ExtractFileExt(fileName), true, "TPluginManager::GetExif", 304).Plugin->GetExif(fileName);
}

void TPluginManager::EditRegions(const std::string& sourceFileName, const std::string& destFileName,
                                 TRegionPainter& painter, TRegionEditReport& report) const {
  report = TRegionEditReport();
  const std::string sourceExt = ExtractFileExt(sourceFileName), destExt = ExtractFileExt(destFileName);
  const int from = sourceExt.empty() ? -1 : FindPlugin(sourceExt, false);
  const int to = destExt.empty() ? -1 : FindSaver(destExt);
  // Only a plug-in that reads the source and writes the destination can
  // keep what it does not redraw.
  if (from < 0 || from != to || !plugins_[size_t(from)].Regions) {
    report.Note = "no plug-in redraws part of such a picture";
    return;
  }
  plugins_[size_t(from)].Regions->EditRegions(sourceFileName, destFileName, painter, report);
}

bool TPluginManager::IsSupported(const std::string& extension, bool forSave) const {
  if (extension.empty()) return false;
  const std::string ext = LowerCase(extension.front() == '.' ? extension : "." + extension);
  auto served = [&](const std::string& e) {
    return std::any_of(formats_.begin(), formats_.end(), [&](const TFileFormat& f) {
      return f.Extension == e && (forSave ? f.CanSave : f.CanLoad);
    });
  };
  if (served(ext)) return true;
  const std::string twin = forSave ? SaveTwinOf(ext) : std::string();
  return !twin.empty() && served(twin);
}

// ---- helpers ---------------------------------------------------------------

std::string SaveTwinOf(const std::string& ext) {
  // Other names of one format: a picture named so is written by the plug-in
  // that writes the format, and keeps its name.
  static const std::pair<const char*, const char*> kTwins[] = {
      {".jpeg", ".jpg"}, {".jpe", ".jpg"}, {".tiff", ".tif"}};
  for (const auto& [name, twin] : kTwins)
    if (ext == name) return twin;
  return {};
}

std::string BuildOpenFilter(const std::vector<TFileFormat>& formats, std::vector<std::string>& masks) {
  masks.clear();
  std::string maskList, perFormat;
  for (const TFileFormat& format : formats) {
    if (!format.CanLoad) continue;
    std::string e = format.Extension.starts_with('.') ? format.Extension.substr(1) : format.Extension;
    masks.push_back("*." + e);
    maskList += "*." + e + ";";
    std::string upper = e;
    for (char& c : upper)
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    perFormat += upper + " files|*." + e + "|";
  }
  return "All files|" + maskList + "|" + perFormat;
}

std::vector<std::string> OutputFormatNames(const std::vector<TFileFormat>& formats) {
  std::vector<std::string> names;
  for (const TFileFormat& format : formats) {
    if (!format.CanSave) continue;
    std::string name = format.Extension.starts_with('.') ? format.Extension.substr(1) : format.Extension;
    for (char& c : name)
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    names.push_back(std::move(name));
  }
  return names;
}

}  // namespace tvx
