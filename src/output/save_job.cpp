#include "output/save_job.h"

#include <string>
#include <utility>

#include "engine/job/job_texts.h"
#include "engine/job/markup_escape.h"
#include "engine/job/progress_scale.h"
#include "engine/job/start_job.h"
#include "engine/job/workflow_steps.h"
#include "engine/job/working_folder.h"
#include "engine/scan/document_split.h"
#include "output/folder_packer.h"
#include "output/media_extractor.h"
#include "platform/platform.h"

namespace velmora {
namespace {

// Hands the observer what became of this file, when the front end asked for one.
void Report(const JobContext& context, const std::wstring& path, bool saved) {
  if (context.observer) context.observer->OnFileSaved(FileSave{path, saved});
}

// Packs one repaired file and, when asked, copies its pictures out. Logs what happened; true
// when the package was written whole.
bool SaveOne(JobWindow& view, const std::wstring& path, const std::wstring& source,
             const std::wstring& destination, size_t document = 0) {
  // A further document's lines name it after the file's path.
  const std::wstring label =
      document == 0 ? path : path + L" (document " + std::to_wstring(document + 1) + L")";
  view.AppendLog(label + L" saving of file starts....\r\n", kBlack);
  if (!platform::IsDirectory(source)) {
    // The file's folder is gone (the working folder was discarded, or the list changed since
    // the repair): an empty package logged as saved would pass for the repaired file.
    view.AppendLog(label + L" not saved....\r\n", kRed);
    return false;
  }
  FolderPacker packer;
  if (packer.PackFolder(source, PackagePath(destination, path, document)) != 0) {
    // The package could not be written whole and has been removed: saying
    // "done" here would send the user away believing the file was saved.
    view.AppendLog(label + L" not saved....\r\n", kRed);
    return false;
  }
  if (view.MediaChecked() == 1) {
    const std::wstring media = MediaFolderPath(destination, path, document);
    platform::MakeDirectory(media);
    ExtractMedia(media, source);
    if (platform::RemoveEmptyDirectory(media))
      view.AppendLog(label + L" no media content is present in the file....\r\n", kBlack);
    else
      view.AppendLog(label + L" Media extration is done....\r\n", kBlack);
  }
  view.AppendLog(label + L" saving of file done....\r\n", kGreen);
  return true;
}

}  // namespace

std::wstring PackagePath(const std::wstring& destination, const std::wstring& listed_path,
                         size_t document) {
  const std::wstring further = document == 0 ? L"" : DocumentSuffix(document) + L".ods";
  return platform::WithTrailingSeparator(destination) + L"VONDRELREP_" + FileNameOf(listed_path) +
         further;
}

std::wstring MediaFolderPath(const std::wstring& destination, const std::wstring& listed_path,
                             size_t document) {
  return platform::WithTrailingSeparator(destination) + FileNameOf(listed_path) +
         DocumentSuffix(document) + L"_MediaContent";
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

  for (int i = 0; i < n; ++i) {
    if (!HandlesFile(context, i)) continue;
    const std::wstring path = view.FileText(i);
    if (view.FileData(i) != 1) {
      view.AppendLog(path + L" cannot be saved,as it is not Repaired.\r\n", kRed);
      Report(context, path, false);
    } else if (context.job_running->load() == 0) {
      for (int j = i; j < n; ++j) {
        if (!HandlesFile(context, j)) continue;
        const std::wstring rest = view.FileText(j);
        view.AppendLog(rest +
                           L" file is not saving as process has been stop "
                           L"by the user.... \r\n",
                       kBlack);
        view.AppendLog(rest + L" not saved....\r\n", kRed);
        view.AppendLog(kAsteriskLine, kBlack);
        view.SetFileData(j, 0);
        Report(context, rest, false);
      }
      break;
    } else {
      const std::wstring folder = FileFolderPath(path, i);
      bool saved = SaveOne(view, path, folder, destination);
      // The further documents the file held, each in a folder of its own beside the first.
      const size_t documents = DocumentFolderCount(folder);
      for (size_t d = 1; d < documents; ++d) {
        saved = SaveOne(view, path, folder + DocumentSuffix(d), destination, d) && saved;
      }
      Report(context, path, saved);
    }
    view.AppendLog(kAsteriskLine, kBlack);
    view.SetBarPos(Bar::kTotal, BarPosition(i + 1, n));
  }

  view.SetBarPos(Bar::kTotal, BarPosition(n, n));
  view.AppendLog(L"Saving processing completed....\r\n", kBlack);
  view.AppendLog(kUnderscoreLine, kBlack);
  ApplyStep(view, WorkflowStep::kSaveEnded);
  context.job_running->store(0);
  // Owned by the view: it runs on the user-interface thread, and the worker waits for it.
  view.ShowMessageBox(BoxOwner::kView,
                      L"File(s) saving process has been completed.Saved file(s) "
                      L"location is:<br><a "
                      L"href=" +
                          QuoteMarkupAttribute(shown) + L">" + EscapeMarkup(shown) + L"</a>",
                      kMbInformation);
  return 1;
}

}  // namespace velmora
