// The control states of every workflow step, read from a window that starts with no state at
// all, so that what a step leaves alone shows as absent.
#include "engine/job/workflow_steps.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "support/recording_window.h"

namespace velmora::test {
namespace {

const std::wstring kT1 =
    L"Click Select files to select .ods file(s) to repair.\nClick Repair files to see the "
    L"preview of the .ods file(s).";
const std::wstring kT2 =
    L"Click item in the list to see the preview in right side.\nClick Browse folder to select "
    L"destination path.\nClick Save.... to save .ods file(s)";
const std::wstring kT3 =
    L"Saving of .ods file(s) completed....\n Click exit to end the application or \nSelect new "
    L".ods file(s) to repair....";
const std::wstring kT4 = L"Please wait while .ods file(s) are Repairing....";
const std::wstring kT5 = L"Please wait while .ods file(s) are saving....";
const std::wstring kLogEmptyList = L"Click Select files to select .ods file(s) to repair....";
const std::wstring kUnchanged = L"<unchanged>";

struct StepCase {
  const char* name;
  WorkflowStep step;
  std::map<Control, bool> enabled;
  std::map<Control, bool> shown;
  std::map<ViewFlag, bool> flags;
  std::vector<int> previews;
  std::wstring log_text;
  std::wstring help_text;
  std::vector<BoldRange> bold;
  bool bars_at_zero;
  int relayouts;
  bool destination_cleared;
};

constexpr Control kSelect = Control::kSelectFiles;
constexpr Control kRemove = Control::kRemoveFiles;
constexpr Control kRepair = Control::kRepairFiles;
constexpr Control kSave = Control::kSaveFiles;
constexpr Control kBrowse = Control::kBrowse;
constexpr Control kStop = Control::kStop;
constexpr Control kMedia = Control::kExtractMedia;
constexpr Control kField = Control::kDestination;
constexpr ViewFlag kSelectOk = ViewFlag::kSelectAllowed;
constexpr ViewFlag kRemoveRepairOk = ViewFlag::kRemoveRepairAllowed;
constexpr ViewFlag kSaveOk = ViewFlag::kSaveAllowed;
constexpr ViewFlag kRan = ViewFlag::kRepairRan;

std::map<Control, bool> Rows(bool file_row, bool total_row) {
  return {{Control::kFileLabel, file_row},
          {Control::kFileBar, file_row},
          {Control::kTotalLabel, total_row},
          {Control::kTotalBar, total_row}};
}

std::map<Control, bool> With(std::map<Control, bool> rows, Control control, bool value) {
  rows[control] = value;
  return rows;
}

TEST(WorkflowSteps, EachStepSetsExactlyItsStates) {
  const std::vector<BoldRange> t1_created = {{6, 18}, {29, 33}, {59, 72}, {99, 103}};
  const std::vector<BoldRange> t1_emptied = {{6, 18}, {29, 33}, {59, 72}, {83, 91}, {99, 103}};
  const std::vector<BoldRange> wait = {{19, 30}};
  const StepCase cases[] = {
      {"created",
       WorkflowStep::kCreated,
       {{kSelect, true},
        {kRemove, false},
        {kRepair, false},
        {kSave, false},
        {kBrowse, false},
        {kMedia, false},
        {kField, false}},
       With(Rows(false, false), kStop, false),
       {{kSelectOk, true}, {kRemoveRepairOk, false}, {kSaveOk, false}, {kRan, false}},
       {kPreviewNoFiles},
       kLogEmptyList,
       kT1,
       t1_created,
       false,
       1,
       false},
      {"files added",
       WorkflowStep::kFilesAdded,
       {{kRemove, true}, {kRepair, true}},
       {},
       {{kRemoveRepairOk, true}},
       {kPreviewFilesAdded},
       L"Select .ods file(s) to Repair....",
       kUnchanged,
       {},
       false,
       0,
       false},
      {"repair started",
       WorkflowStep::kRepairStarted,
       {{kSelect, false}, {kRemove, false}, {kRepair, false}, {kStop, true}},
       With(Rows(true, true), kStop, true),
       {{kSelectOk, false}, {kRemoveRepairOk, false}, {kRan, true}},
       {kPreviewNotRepaired, kPreviewRepairRunning},
       L"",
       kT4,
       wait,
       true,
       1,
       false},
      {"repair ended",
       WorkflowStep::kRepairEnded,
       {{kSelect, true},
        {kRemove, true},
        {kRepair, true},
        {kSave, true},
        {kBrowse, true},
        {kMedia, true},
        {kField, true}},
       With(Rows(false, false), kStop, false),
       {{kSelectOk, true}, {kRemoveRepairOk, true}, {kSaveOk, true}},
       {kPreviewSelectFile},
       kUnchanged,
       kT2,
       {{6, 22}, {62, 76}, {110, 118}, {127, 132}},
       false,
       1,
       false},
      {"save started",
       WorkflowStep::kSaveStarted,
       {{kSelect, false},
        {kRemove, false},
        {kRepair, false},
        {kSave, false},
        {kBrowse, false},
        {kStop, true},
        {kMedia, false},
        {kField, false}},
       With(Rows(false, true), kStop, true),
       {{kSelectOk, false}, {kRemoveRepairOk, false}, {kSaveOk, false}},
       {},
       L"",
       kT5,
       wait,
       true,
       1,
       false},
      {"save ended",
       WorkflowStep::kSaveEnded,
       {{kSelect, true},
        {kRemove, true},
        {kRepair, true},
        {kSave, true},
        {kBrowse, true},
        {kMedia, true},
        {kField, true}},
       With(Rows(false, false), kStop, false),
       {{kSelectOk, true}, {kRemoveRepairOk, true}, {kSaveOk, true}},
       {},
       kUnchanged,
       kT3,
       {{11, 22}},
       false,
       1,
       false},
      {"list emptied",
       WorkflowStep::kListEmptied,
       {{kRemove, false},
        {kRepair, false},
        {kSave, false},
        {kBrowse, false},
        {kMedia, false},
        {kField, false}},
       {},
       {{kRemoveRepairOk, false}, {kSaveOk, false}},
       {kPreviewNoFiles},
       kLogEmptyList,
       kT1,
       t1_emptied,
       false,
       0,
       true},
  };
  for (const StepCase& c : cases) {
    SCOPED_TRACE(c.name);
    RecordingWindow view;
    view.destination = L"kept";
    view.log_text = kUnchanged;
    view.help_text = kUnchanged;
    ApplyStep(view, c.step);
    EXPECT_EQ(view.enabled, c.enabled);
    EXPECT_EQ(view.shown, c.shown);
    EXPECT_EQ(view.flags, c.flags);
    std::vector<int> previews;
    for (const auto& [path, code] : view.previews) {
      EXPECT_EQ(path, L"");
      previews.push_back(code);
    }
    EXPECT_EQ(previews, c.previews);
    EXPECT_EQ(view.log_text, c.log_text);
    EXPECT_EQ(view.help_text, c.help_text);
    EXPECT_EQ(view.help_bold, c.bold);
    if (c.bars_at_zero) {
      EXPECT_EQ(view.CallsStartingWith(L"SetBarPos"),
                (std::vector<std::wstring>{L"SetBarPos File 0", L"SetBarPos Total 0"}));
    } else {
      EXPECT_TRUE(view.bars.empty());
    }
    EXPECT_EQ(view.relayouts, c.relayouts);
    EXPECT_EQ(view.destination_cleared, c.destination_cleared);
    EXPECT_EQ(view.destination, c.destination_cleared ? L"" : L"kept");
    // The re-layout comes after the rows it places.
    if (c.relayouts) {
      EXPECT_EQ(view.calls.back(), L"Relayout");
    }
  }
}

TEST(WorkflowSteps, BoldRangesCoverTheWordsTheyAreMeantFor) {
  // Each range [begin, end) of every instruction text, as the words it makes bold.
  struct Case {
    WorkflowStep step;
    std::vector<std::wstring> words;
  };
  const Case cases[] = {
      {WorkflowStep::kCreated, {L"Select files", L".ods", L"Repair files ", L"ods "}},
      {WorkflowStep::kListEmptied,
       {L"Select files", L".ods", L"Repair files ", L"preview ", L"ods "}},
      {WorkflowStep::kRepairStarted, {L"ods file(s)"}},
      {WorkflowStep::kRepairEnded, {L"item in the list", L" Browse folder", L" Save...", L" .ods"}},
      {WorkflowStep::kSaveStarted, {L"ods file(s)"}},
      {WorkflowStep::kSaveEnded, {L"ods file(s)"}},
  };
  for (const Case& c : cases) {
    RecordingWindow view;
    ApplyStep(view, c.step);
    std::vector<std::wstring> words;
    for (const BoldRange& r : view.help_bold) {
      ASSERT_LE(r.end, static_cast<int>(view.help_text.size()));
      words.push_back(view.help_text.substr(r.begin, r.end - r.begin));
    }
    EXPECT_EQ(words, c.words) << view.help_text;
  }
}

}  // namespace
}  // namespace velmora::test
