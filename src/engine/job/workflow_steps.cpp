#include "engine/job/workflow_steps.h"

#include <array>
#include <vector>

#include "engine/job/job_texts.h"

namespace velmora {
namespace {

enum class Set : uint8_t { kKeep, kOff, kOn };
enum class Rows : uint8_t { kKeep, kHidden, kBoth, kTotalOnly };

constexpr Set X = Set::kKeep;
constexpr Set O = Set::kOff;
constexpr Set I = Set::kOn;

constexpr std::array<ViewFlag, 4> kFlags = {ViewFlag::kSelectAllowed,
                                            ViewFlag::kRemoveRepairAllowed, ViewFlag::kSaveAllowed,
                                            ViewFlag::kRepairRan};
constexpr std::array<Control, 8> kSwitched = {
    Control::kSelectFiles, Control::kRemoveFiles, Control::kRepairFiles,  Control::kSaveFiles,
    Control::kBrowse,      Control::kStop,        Control::kExtractMedia, Control::kDestination};

struct StepStates {
  bool clear_destination;
  std::array<Set, kFlags.size()> flags;       // SelectAllowed, RemoveRepair, Save, RepairRan
  std::array<Set, kSwitched.size()> enabled;  // Select, Remove, Repair, Save, Browse, Stop,
                                              // Media, Destination
  Set stop_shown;
  std::vector<PreviewCode> previews;  // shown in this order, each with an empty path
  const wchar_t* log_text;            // nullptr: unchanged
  const wchar_t* help_text;           // nullptr: unchanged
  const std::vector<BoldRange>* help_bold;
  bool bars_to_zero;
  Rows rows;
};

const StepStates& StatesOf(WorkflowStep step) {
  // clang-format off
  static const StepStates kCreated = {
      false, {I, O, O, O}, {I, O, O, O, O, X, O, O}, O,
      {kPreviewNoFiles}, kLogStart, kHelpStart, &kHelpStartBold, false, Rows::kHidden};
  static const StepStates kFilesAdded = {
      false, {X, I, X, X}, {X, I, I, X, X, X, X, X}, X,
      {kPreviewFilesAdded}, kLogFilesAdded, nullptr, nullptr, false, Rows::kKeep};
  static const StepStates kRepairStarted = {
      false, {O, O, X, I}, {O, O, O, X, X, I, X, X}, I,
      {kPreviewNotRepaired, kPreviewRepairRunning}, L"", kHelpRepairing, &kHelpWaitBold, true,
      Rows::kBoth};
  static const StepStates kRepairEnded = {
      false, {I, I, I, X}, {I, I, I, I, I, X, I, I}, O,
      {kPreviewSelectFile}, nullptr, kHelpRepaired, &kHelpRepairedBold, false, Rows::kHidden};
  static const StepStates kSaveStarted = {
      false, {O, O, O, X}, {O, O, O, O, O, I, O, O}, I,
      {}, L"", kHelpSaving, &kHelpWaitBold, true, Rows::kTotalOnly};
  static const StepStates kSaveEnded = {
      false, {I, I, I, X}, {I, I, I, I, I, X, I, I}, O,
      {}, nullptr, kHelpSaved, &kHelpSavedBold, false, Rows::kHidden};
  static const StepStates kListEmptied = {
      true, {X, O, O, X}, {X, O, O, O, O, X, O, O}, X,
      {kPreviewNoFiles}, kLogStart, kHelpStart, &kHelpEmptiedBold, false, Rows::kKeep};
  // clang-format on
  switch (step) {
    case WorkflowStep::kCreated:
      return kCreated;
    case WorkflowStep::kFilesAdded:
      return kFilesAdded;
    case WorkflowStep::kRepairStarted:
      return kRepairStarted;
    case WorkflowStep::kRepairEnded:
      return kRepairEnded;
    case WorkflowStep::kSaveStarted:
      return kSaveStarted;
    case WorkflowStep::kSaveEnded:
      return kSaveEnded;
    case WorkflowStep::kListEmptied:
      break;
  }
  return kListEmptied;
}

void ShowRows(JobWindow& view, bool file_row, bool total_row) {
  view.ShowControl(Control::kFileLabel, file_row);
  view.ShowControl(Control::kFileBar, file_row);
  view.ShowControl(Control::kTotalLabel, total_row);
  view.ShowControl(Control::kTotalBar, total_row);
  // The log's height depends on which rows show: the view places everything again.
  view.Relayout();
}

}  // namespace

void ApplyStep(JobWindow& view, WorkflowStep step) {
  const StepStates& states = StatesOf(step);
  if (states.clear_destination) view.ClearDestination();
  for (size_t i = 0; i < kFlags.size(); ++i)
    if (states.flags[i] != Set::kKeep) view.SetFlag(kFlags[i], states.flags[i] == Set::kOn);
  for (size_t i = 0; i < kSwitched.size(); ++i)
    if (states.enabled[i] != Set::kKeep)
      view.EnableControl(kSwitched[i], states.enabled[i] == Set::kOn);
  if (states.stop_shown != Set::kKeep)
    view.ShowControl(Control::kStop, states.stop_shown == Set::kOn);
  for (PreviewCode code : states.previews) view.ShowPreview(L"", code);
  if (states.log_text) view.SetLogText(states.log_text);
  if (states.help_text) view.SetHelpText(states.help_text, *states.help_bold);
  if (states.bars_to_zero) {
    view.SetBarPos(Bar::kFile, 0);
    view.SetBarPos(Bar::kTotal, 0);
  }
  switch (states.rows) {
    case Rows::kKeep:
      break;
    case Rows::kHidden:
      ShowRows(view, false, false);
      break;
    case Rows::kBoth:
      ShowRows(view, true, true);
      break;
    case Rows::kTotalOnly:
      ShowRows(view, false, true);
      break;
  }
}

}  // namespace velmora
