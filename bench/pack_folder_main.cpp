// Packs one folder with the folder packer, for timing it against other ZIP writers:
//   pack_folder FOLDER ARCHIVE
// Exit status 0 when the package was written completely, 1 otherwise (the code is printed).
#include <cstdio>
#include <string>

#include "output/folder_packer.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: pack_folder FOLDER ARCHIVE\n");
    return 2;
  }
  std::wstring folder = velmora::platform::WidenPath(argv[1]);
  while (folder.size() > 1 && folder.back() == L'/') folder.pop_back();
  velmora::FolderPacker packer;
  const uint32_t result = packer.PackFolder(folder, velmora::platform::WidenPath(argv[2]));
  if (result != 0) {
    std::fprintf(stderr, "pack_folder: result 0x%X\n", static_cast<unsigned>(result));
    return 1;
  }
  return 0;
}
