#include "output/save_names.h"

#include <map>

#include "engine/job/job_texts.h"
#include "platform/ascii_case.h"

namespace velmora {

std::wstring NumberedName(const std::wstring& name, int k) {
  const std::wstring number = L" (" + std::to_wstring(k) + L")";
  const size_t dot = name.rfind(L'.');
  // A leading dot starts the name, not an extension.
  if (dot == std::wstring::npos || dot == 0) return name + number;
  return name.substr(0, dot) + number + name.substr(dot);
}

std::vector<std::wstring> SaveNames(const std::vector<std::wstring>& listed_paths) {
  std::vector<std::wstring> names;
  names.reserve(listed_paths.size());
  std::set<std::wstring> taken;
  // The next number to try for each name: a list of many files of one name costs one look per
  // file, not one per file before it.
  std::map<std::wstring, int> next;
  for (const std::wstring& path : listed_paths) {
    const std::wstring own = FileNameOf(path);
    const std::wstring key = platform::AsciiLowered(own);
    std::wstring name = own;
    if (!taken.insert(key).second) {
      int& k = next.try_emplace(key, 2).first->second;
      for (name = NumberedName(own, k++); !taken.insert(platform::AsciiLowered(name)).second;)
        name = NumberedName(own, k++);
    }
    names.push_back(std::move(name));
  }
  return names;
}

bool SaveClaims::ClaimAll(const std::vector<std::wstring>& paths) {
  std::lock_guard lock(mutex_);
  for (const std::wstring& path : paths)
    if (paths_.count(platform::AsciiLowered(path)) != 0) return false;
  for (const std::wstring& path : paths) paths_.insert(platform::AsciiLowered(path));
  return true;
}

void SaveClaims::Release(const std::vector<std::wstring>& paths) {
  std::lock_guard lock(mutex_);
  for (const std::wstring& path : paths) paths_.erase(platform::AsciiLowered(path));
}

}  // namespace velmora
