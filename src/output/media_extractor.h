// Pictures of a repaired document: which files count as media, and the flat copy of them into
// a media folder.
#pragma once

#include <string>

#include "platform/platform.h"

namespace velmora {

// True when the file name (the part after the last separator) has an extension, the text
// after its last ".", equal to "jpg", "bmp", "png", "gif", "emf" or "jpeg", ignoring case.
bool IsMediaFile(const std::wstring& name);

// What a copy walk did: the pictures it found, how many of them could not be copied, and the
// system's code for the first that could not.
struct MediaCopy {
  int found = 0;
  int failed = 0;
  platform::ErrorCode first_error = 0;
};

// Copies every media file below `source_folder` (no trailing separator; the order the system
// lists names, each subfolder walked at its place) into `media_folder`, which must exist,
// replacing files there. The copies are flat: pictures of the same name from different
// subfolders end as one file, the one copied last. A failed copy does not end the walk; it is
// counted in *copy when one is given (a full disk, a folder in the way), so that the caller
// can say the pictures did not all come out. A missing source folder copies nothing. Returns 1
// when the walk ended normally, 0 when it was cut short (out of memory).
int ExtractMedia(const std::wstring& media_folder, const std::wstring& source_folder,
                 MediaCopy* copy = nullptr);

}  // namespace velmora
