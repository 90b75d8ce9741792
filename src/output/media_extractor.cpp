#include "output/media_extractor.h"

#include <cwctype>
#include <new>

#include "platform/ascii_case.h"
#include "platform/platform.h"

namespace velmora {

namespace {

void CopyMedia(const std::wstring& media_folder, const std::wstring& folder, MediaCopy& copy) {
  platform::ListDirectory(folder, [&](const platform::DirItem& item) {
    const std::wstring path = platform::JoinPath(folder, item.name);
    if (item.is_directory) {
      CopyMedia(media_folder, path, copy);
    } else if (IsMediaFile(item.name)) {
      ++copy.found;
      if (!platform::CopyFileReplacing(path, platform::JoinPath(media_folder, item.name))) {
        if (copy.failed++ == 0) copy.first_error = platform::LastError();
      }
    }
    return true;
  });
}

}  // namespace

bool IsMediaFile(const std::wstring& name) {
  // Windows takes "/" as a separator too.
  const size_t cut = name.find_last_of(L"\\/");
  const std::wstring file = cut == std::wstring::npos ? name : name.substr(cut + 1);
  const size_t dot = file.rfind(L'.');
  if (dot == std::wstring::npos) return false;
  const std::wstring extension = platform::AsciiLowered(file.substr(dot + 1));
  return extension == L"jpg" || extension == L"bmp" || extension == L"png" || extension == L"gif" ||
         extension == L"emf" || extension == L"jpeg";
}

int ExtractMedia(const std::wstring& media_folder, const std::wstring& source_folder,
                 MediaCopy* copy) {
  MediaCopy own;
  try {
    CopyMedia(media_folder, source_folder, copy != nullptr ? *copy : own);
  } catch (const std::bad_alloc&) {
    return 0;
  }
  return 1;
}

}  // namespace velmora
