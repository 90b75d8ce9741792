// The picture shown for a listed file: its thumbnail, else the first picture of its folder in
// the working folder.
#pragma once

#include "engine/job/job_window.h"

namespace velmora {

// Handler of the file list's preview request for the item at `position`. Shows, through
// view.ShowPreview:
// - the file folder's Thumbnails/thumbnail.png when anything exists at that path (code 6);
// - otherwise the first media file (IsMediaFile) of the file folder, searched depth first in
//   the order the system lists names, each subfolder at its place (code 6);
// - otherwise an empty path with code 4 (no picture), or with code 5 when there is no working
//   folder at all (nothing repaired).
// When the file was repaired into several documents (the further documents' folders beside
// its own, as the repair job writes them), code 7 takes the place of 6 and of 4, with the same
// path, so that the pane says so.
// The item's verdict decides whether a picture is shown at all: a file judged lost or not
// repaired gets an empty path with code 6 (7 for several documents), so that its stored
// thumbnail, which shows what did not come back, is not shown; the window then shows the
// verdict alone. The item's repaired mark is not consulted. Returns 1 when a picture was
// shown, else 0.
int OnPreviewRequest(JobWindow& view, int position);

}  // namespace velmora
