#include "null_window.h"

#include <cstdlib>

namespace velmora::fuzz {

namespace {

// The jobs only ever ask for items that exist; anything else is a bug worth a crash report.
void CheckIndex(int index, size_t size) {
  if (index < 0 || static_cast<size_t>(index) >= size) abort();
}

}  // namespace

int NullWindow::ShowMessageBox(BoxOwner, const std::wstring&, unsigned) {
  ++boxes;
  return 1;  // OK; a question answered No
}

void NullWindow::AppendLog(const std::wstring& text, uint32_t) {
  if (text.compare(0, 28, L"Repairing process completed:") == 0) repair_completed = true;
}

std::wstring NullWindow::FileText(int index) {
  CheckIndex(index, files.size());
  return files[static_cast<size_t>(index)].text;
}

void NullWindow::ReplaceFileItem(int index, const std::wstring& text, int image) {
  CheckIndex(index, files.size());
  files[static_cast<size_t>(index)] = Item{text, image, 0, {}};
}

intptr_t NullWindow::FileData(int index) {
  CheckIndex(index, files.size());
  return files[static_cast<size_t>(index)].data;
}

void NullWindow::SetFileData(int index, intptr_t data) {
  CheckIndex(index, files.size());
  files[static_cast<size_t>(index)].data = data;
}

FileVerdict NullWindow::GetFileVerdict(int index) {
  CheckIndex(index, files.size());
  return files[static_cast<size_t>(index)].verdict;
}

void NullWindow::SetFileVerdict(int index, const FileVerdict& verdict) {
  CheckIndex(index, files.size());
  files[static_cast<size_t>(index)].verdict = verdict;
}

}  // namespace velmora::fuzz
