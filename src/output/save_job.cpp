#include "output/save_job.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "engine/job/job_texts.h"
#include "engine/job/markup_escape.h"
#include "engine/job/progress_scale.h"
#include "engine/job/start_job.h"
#include "engine/job/workflow_steps.h"
#include "engine/job/working_folder.h"
#include "engine/scan/document_split.h"
#include "output/folder_packer.h"
#include "output/media_extractor.h"
#include "output/save_names.h"
#include "platform/platform.h"

namespace velmora {
namespace {

// What the worker keeps over one run.
struct SaveRun {
  JobWindow& view;
  std::wstring destination;  // with a separator at its end
  SaveClaims& claims;
  bool replace_all = false;  // "Yes to all" was the answer to a package that was there before
  SaveCounts counts;
};

// One document of a file: its folder in the working folder, and whether no sheet data of it
// came back (then it gets no package).
struct Document {
  std::wstring folder;
  bool lost = false;
};

std::vector<Document> DocumentsOf(JobWindow& view, int index, const std::wstring& folder) {
  const bool all_lost = view.FileData(index) == kItemLost;
  const FileVerdict verdict = view.GetFileVerdict(index);
  std::vector<Document> documents;
  const size_t count = DocumentFolderCount(folder);
  for (size_t d = 0; d < count; ++d) {
    const bool lost =
        all_lost || (d < verdict.documents.size() && verdict.documents[d] == Verdict::kLost);
    documents.push_back({folder + DocumentSuffix(d), lost});
  }
  return documents;
}

// A file that got no package (yet).
FileSave Unsaved(const std::wstring& path) {
  FileSave save;
  save.path = path;
  return save;
}

// A further document's lines name it after the file's path.
std::wstring Label(const std::wstring& path, size_t document) {
  return document == 0 ? path : path + L" (document " + std::to_wstring(document + 1) + L")";
}

// The name the file's packages and media folders are written under: `own` (its SaveNames
// name) unless this run has taken that already, or a package of that name was there before the
// run and the window's answer is to keep it; then the next free "<stem> (k).<ext>". The
// chosen names are claimed for the run.
std::wstring ChooseName(SaveRun& run, const std::wstring& path, const std::wstring& own,
                        const std::vector<Document>& documents) {
  std::wstring kept;  // a package that was there before and stays
  for (int k = 1;; ++k) {
    const std::wstring name = k == 1 ? own : NumberedName(own, k);
    std::vector<std::wstring> paths;
    std::wstring existing;
    for (size_t d = 0; d < documents.size(); ++d) {
      paths.push_back(MediaFolderNamed(run.destination, name, d));
      if (documents[d].lost) continue;
      const std::wstring package = PackageNamed(run.destination, name, d);
      paths.push_back(package);
      // A folder in the way is no earlier package: the package cannot be written there.
      if (existing.empty() && platform::PathExists(package) && !platform::IsDirectory(package))
        existing = package;
    }
    // Taken by this run: never replaced, and nothing to ask.
    if (!run.claims.ClaimAll(paths)) continue;
    if (existing.empty()) {
      if (!kept.empty()) {
        run.view.AppendLog(path + L" " + FileNameOf(kept) +
                               L" was there before this save and is kept: this file is saved as " +
                               L"VONDRELREP_" + name + L"....\r\n",
                           kBlack);
      }
      return name;
    }
    if (k == 1) {
      bool replace = run.replace_all;
      if (!replace) {
        const int answer = run.view.ShowMessageBox(
            BoxOwner::kView,
            EscapeMarkup(existing) + L" already exists.<br>Do you want to replace it?",
            kMbReplaceQuestion);
        if (answer == kIdYesForAll) run.replace_all = true;
        replace = answer == kIdYes || answer == kIdYesForAll;
      }
      if (replace) {
        run.view.AppendLog(path + L" " + FileNameOf(existing) +
                               L" was there before this save and is replaced....\r\n",
                           kBlack);
        return name;
      }
      kept = existing;
    }
    // A name that is not free after all goes back for the other files of the run.
    run.claims.Release(paths);
  }
}

// Copies a document's pictures into its media folder and logs what became of them. False when
// some could not be copied out. A lost document's line says that it has no package.
bool CopyPictures(JobWindow& view, const std::wstring& label, const Document& document,
                  const std::wstring& media) {
  platform::ErrorCode folder_error = 0;
  const platform::MakeDirResult made = platform::MakeDirectory(media, &folder_error);
  MediaCopy copy;
  ExtractMedia(media, document.folder, &copy);
  if (document.lost) {
    // Pictures that did not all come out get the line below, not the word "copied".
    std::wstring line = L" no package written: no sheet data came back";
    if (copy.found == 0) {
      platform::RemoveEmptyDirectory(media);
      line += L"; it held no pictures";
    } else if (copy.failed == 0) {
      line += L"; its pictures are copied to " + media;
    }
    view.AppendLog(label + line + L"....\r\n", kRed);
  }
  if (copy.failed > 0) {
    // The folder made for them goes again when nothing came into it.
    if (made == platform::MakeDirResult::kCreated) platform::RemoveEmptyDirectory(media);
    const platform::ErrorCode code =
        made == platform::MakeDirResult::kFailed ? folder_error : copy.first_error;
    view.AppendLog(label + L" pictures could not all be copied out: " +
                       std::to_wstring(copy.found - copy.failed) + L" of " +
                       std::to_wstring(copy.found) + L" copied to " + media + L"; " +
                       platform::SystemErrorText(code) + L"....\r\n",
                   kRed);
    return false;
  }
  if (document.lost) return true;
  // The folder can be removed only when it is empty: nothing was copied, and no earlier save
  // left files in it.
  if (platform::RemoveEmptyDirectory(media))
    view.AppendLog(label + L" no media content is present in the file....\r\n", kBlack);
  else
    view.AppendLog(label + L" Media extration is done....\r\n", kBlack);
  return true;
}

// Packs one document into `package` and, when asked, copies its pictures out. Logs what
// happened; true when the package was written whole. *media_failed is set when a picture could
// not be copied out.
bool SaveDocument(JobWindow& view, const std::wstring& label, const Document& document,
                  const std::wstring& package, const std::wstring& media, bool* media_failed) {
  view.AppendLog(label + L" saving of file starts....\r\n", kBlack);
  FolderPacker packer;
  if (packer.PackFolder(document.folder, package) != 0) {
    // The package could not be written whole and has been removed: saying
    // "done" here would send the user away believing the file was saved.
    view.AppendLog(label + L" not saved....\r\n", kRed);
    return false;
  }
  view.AppendLog(label + L" package written: " + package + L"....\r\n", kBlack);
  if (view.MediaChecked() == 1 && !CopyPictures(view, label, document, media)) *media_failed = true;
  view.AppendLog(label + L" saving of file done....\r\n", kGreen);
  return true;
}

// Saves every document of the repaired (or lost) file at list position `index`.
FileSave SaveFile(SaveRun& run, int index, const std::wstring& path, const std::wstring& own) {
  JobWindow& view = run.view;
  FileSave save = Unsaved(path);
  const std::wstring folder = FileFolderPath(path, index);
  if (!platform::IsDirectory(folder)) {
    // The file's folder is gone (the working folder was discarded, or the list changed since
    // the repair): an empty package logged as saved would pass for the repaired file.
    view.AppendLog(path + L" saving of file starts....\r\n", kBlack);
    view.AppendLog(path + L" not saved....\r\n", kRed);
    return save;
  }
  const std::vector<Document> documents = DocumentsOf(view, index, folder);
  const std::wstring name = ChooseName(run, path, own, documents);
  bool all_written = true;
  size_t written = 0;
  for (size_t d = 0; d < documents.size(); ++d) {
    const std::wstring label = Label(path, d);
    const std::wstring media = MediaFolderNamed(run.destination, name, d);
    if (documents[d].lost) {
      // No sheet data: an empty spreadsheet is no repair, but the pictures are the user's.
      save.packages.emplace_back();
      if (view.MediaChecked() == 1) {
        if (!CopyPictures(view, label, documents[d], media)) save.media_failed = true;
      } else {
        view.AppendLog(label + L" no package written: no sheet data came back....\r\n", kRed);
      }
      continue;
    }
    // A document whose package cannot be written does not keep the others from theirs.
    const std::wstring package = PackageNamed(run.destination, name, d);
    if (SaveDocument(view, label, documents[d], package, media, &save.media_failed)) {
      save.packages.push_back(package);
      ++written;
    } else {
      save.packages.emplace_back();
      all_written = false;
    }
  }
  save.saved = written > 0 && all_written;
  return save;
}

// Hands the observer what became of this file, when the front end asked for one, and counts it.
void Report(const JobContext& context, SaveRun& run, const FileSave& save) {
  if (save.saved) ++run.counts.saved;
  if (save.media_failed) ++run.counts.media_failed;
  if (context.observer) context.observer->OnFileSaved(save);
}

}  // namespace

std::wstring PackageNamed(const std::wstring& destination, const std::wstring& name,
                          size_t document) {
  const std::wstring further = document == 0 ? L"" : DocumentSuffix(document) + L".ods";
  return platform::WithTrailingSeparator(destination) + L"VONDRELREP_" + name + further;
}

std::wstring MediaFolderNamed(const std::wstring& destination, const std::wstring& name,
                              size_t document) {
  return platform::WithTrailingSeparator(destination) + name + DocumentSuffix(document) +
         L"_MediaContent";
}

std::wstring PackagePath(const std::wstring& destination, const std::wstring& listed_path,
                         size_t document) {
  return PackageNamed(destination, FileNameOf(listed_path), document);
}

std::wstring MediaFolderPath(const std::wstring& destination, const std::wstring& listed_path,
                             size_t document) {
  return MediaFolderNamed(destination, FileNameOf(listed_path), document);
}

std::wstring SaveClosingLine(int saved, int not_saved) {
  return L"Saving processing completed: " + std::to_wstring(saved) + L" saved, " +
         std::to_wstring(not_saved) + L" not saved....\r\n";
}

std::wstring FinalSaveMessage(const SaveCounts& counts, const std::wstring& shown,
                              unsigned* flags) {
  const std::wstring link =
      L"<a href=" + QuoteMarkupAttribute(shown) + L">" + EscapeMarkup(shown) + L"</a>";
  if (!counts.stopped && counts.saved == counts.files && counts.media_failed == 0) {
    *flags = kMbInformation;
    return L"File(s) saving process has been completed.Saved file(s) location is:<br>" + link;
  }
  *flags = kMbWarning;
  std::wstring text = counts.stopped ? L"Saving was stopped by the user. " : L"";
  if (counts.saved < counts.files) {
    text += std::to_wstring(counts.saved) + L" of " + std::to_wstring(counts.files) +
            L" file(s) saved; the rest were not saved (see the log).";
  } else {
    text += L"All " + std::to_wstring(counts.files) + L" file(s) saved.";
  }
  if (counts.media_failed > 0) {
    text += L"<br>The pictures of " + std::to_wstring(counts.media_failed) +
            L" file(s) could not all be copied out (see the log).";
  }
  if (counts.saved > 0) return text + L"<br>Saved file(s) location is:<br>" + link;
  return text + L"<br>Destination folder:<br>" + link;
}

bool OnSaveFiles(const JobContext& context, JobThread& worker, JobThread::OnEnd on_end) {
  if (context.job_running->load() == 1) {
    context.view->ShowMessageBox(BoxOwner::kNone,
                                 L"Please stop the running process before saving the file(s).",
                                 kMbInformation);
    return false;
  }
  // A worker that has not announced its end may still be carrying calls over to this thread.
  if (worker.Joinable() && !worker.Ended()) return false;
  return StartJob(context, worker, SaveWorker, WorkflowStep::kSaveEnded, std::move(on_end));
}

unsigned SaveWorker(JobContext context) {
  JobWindow& view = *context.view;
  std::wstring destination = view.Destination();
  if (destination.empty() || !platform::IsDirectory(destination)) {
    view.ShowMessageBox(BoxOwner::kNone, L"Please select a valid folder path.", kMbInformation);
    return 0;
  }
  const std::wstring shown = destination;

  context.job_running->store(1);
  ApplyStep(view, WorkflowStep::kSaveStarted);
  destination = platform::WithTrailingSeparator(destination);
  const int n = view.FileCount();
  view.ResetEstimate(Bar::kTotal);
  view.SetBarRange(Bar::kTotal, BarUpper(n));
  view.SetBarPos(Bar::kTotal, 0);

  SaveClaims own_claims;
  SaveRun run{
      view, destination, context.claims != nullptr ? *context.claims : own_claims, false, {}};
  // The names depend on the whole list up to the last file handled, whoever handles the rest;
  // the texts read here serve the run (the list does not change while a job runs).
  std::vector<std::wstring> listed;
  const int last = context.only_file < 0 ? n - 1 : std::min(context.only_file, n - 1);
  for (int i = 0; i <= last; ++i) listed.push_back(view.FileText(i));
  const std::vector<std::wstring> names = SaveNames(listed);

  for (int i = 0; i < n; ++i) {
    if (!HandlesFile(context, i)) continue;
    ++run.counts.files;
    const std::wstring& path = listed[static_cast<size_t>(i)];
    const intptr_t data = view.FileData(i);
    if (data != kItemRepaired && data != kItemLost) {
      view.AppendLog(path + L" cannot be saved,as it is not Repaired.\r\n", kRed);
      Report(context, run, Unsaved(path));
    } else if (context.job_running->load() == 0) {
      // Stopped: the files not reached keep what the repair gave them (item data, image,
      // verdict), so a second Save writes them.
      run.counts.stopped = true;
      --run.counts.files;
      for (int j = i; j < n; ++j) {
        if (!HandlesFile(context, j)) continue;
        ++run.counts.files;
        const std::wstring rest = view.FileText(j);
        view.AppendLog(rest +
                           L" file is not saving as process has been stop "
                           L"by the user.... \r\n",
                       kBlack);
        view.AppendLog(rest + L" not saved....\r\n", kRed);
        view.AppendLog(kAsteriskLine, kBlack);
        Report(context, run, Unsaved(rest));
      }
      break;
    } else {
      Report(context, run, SaveFile(run, i, path, names[static_cast<size_t>(i)]));
    }
    view.AppendLog(kAsteriskLine, kBlack);
    view.SetBarPos(Bar::kTotal, BarPosition(i + 1, n));
  }

  view.SetBarPos(Bar::kTotal, BarPosition(n, n));
  view.AppendLog(SaveClosingLine(run.counts.saved, run.counts.files - run.counts.saved), kBlack);
  view.AppendLog(kUnderscoreLine, kBlack);
  ApplyStep(view, WorkflowStep::kSaveEnded);
  context.job_running->store(0);
  // Owned by the view: it runs on the user-interface thread, and the worker waits for it.
  unsigned flags = kMbInformation;
  const std::wstring message = FinalSaveMessage(run.counts, shown, &flags);
  view.ShowMessageBox(BoxOwner::kView, message, flags);
  return 1;
}

}  // namespace velmora
