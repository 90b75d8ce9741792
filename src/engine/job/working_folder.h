// The working folder "ClcTemp": where a run keeps the entries of every damaged file, one file
// folder per listed file, laid out as the entries' paths inside the package.
#pragma once

#include <string>

#include "engine/job/job_window.h"

namespace velmora {

// The working folder's path: the temporary-files folder followed directly by "ClcTemp"
// (no separator at the end), unless an override is set. Computed afresh at every call;
// creates nothing.
std::wstring GetWorkingFolderPath();

// Replaces the working folder's path (the full path of the folder); an empty text brings back
// the default. The command line gives each run a private folder this way, tests a scratch one.
void SetWorkingFolderOverride(const std::wstring& path);

// The file folder of the file listed at `position` (its path `listed_path`): the working
// folder, a separator, then the file's name with the position after it ("Book.ods0"). The
// repair fills it, the preview and the save read it.
std::wstring FileFolderPath(const std::wstring& listed_path, int position);

// How many documents the repair put under `file_folder` (a FileFolderPath): 1 for its own,
// plus one for each further document's folder beside it (DocumentSuffix 1, 2, ...), counted up
// to the first suffix without a folder.
size_t DocumentFolderCount(const std::wstring& file_folder);

// Creates every folder along an entry name below `base` (which ends with the separator) and
// turns `relative` into the full native path of the entry's file. The name is first made safe
// by SafeEntryPath (colons removed, "." / ".." / empty components dropped, Windows device
// names and trailing dots guarded); when nothing is left, `relative` becomes empty and nothing
// is created, and the entry must yield no file. A folder that cannot be created (for any
// reason other than that it exists) is reported with the system's text in a message box with
// no owner, flags 64; the folders below it are not tried, as they cannot be made either, so an
// entry brings one message at most.
void CreatePathDirectories(JobWindow& view, const std::wstring& base, std::wstring& relative);

// Deletes everything inside `folder`; the folder itself stays. Failures are silent: what
// cannot be deleted stays, with every folder above it.
void DeleteFolderTree(const std::wstring& folder);

// When the working folder exists: ShowPreview("", 6) so the preview lets go of any picture it
// shows from it, then deletes its contents and the folder itself. Nothing otherwise.
void DiscardWorkingFolder(JobWindow& view);

}  // namespace velmora
