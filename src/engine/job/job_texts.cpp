#include "engine/job/job_texts.h"

#include "platform/platform.h"

namespace velmora {

std::wstring FileNameOf(const std::wstring& path) {
  // On Windows a listed path may also carry "/" (typed on a command line); both separate.
  size_t cut = path.find_last_of(platform::kSeparator == L'\\' ? L"\\/" : L"/");
  return cut == std::wstring::npos ? std::wstring() : path.substr(cut + 1);
}

}  // namespace velmora
