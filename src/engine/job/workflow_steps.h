// The state of the window's controls after each step of the workflow, in one table that the
// jobs, the window and the tests share.
#pragma once

#include "engine/job/job_window.h"

namespace velmora {

enum class WorkflowStep {
  kCreated,        // the view has made its controls
  kFilesAdded,     // "Select files" added at least one file
  kRepairStarted,  // "Repair files", before its worker starts
  kRepairEnded,    // the repair worker after its last file, stopped or not
  kSaveStarted,    // the save worker once it accepted the destination
  kSaveEnded,      // the save worker after its last file, stopped or not
  kListEmptied,    // "Remove files" removed the last file
};

// Sets what the step fixes, in this order: the destination field emptied; the view flags; the
// buttons, check box and destination field enabled or disabled; Stop shown or hidden; the
// preview code(s); the log text; the instruction text with its bold ranges; both bars at 0;
// the progress rows shown or hidden, followed by a re-layout. Whatever the step does not name
// stays as it was (files added after a repair leave Save, Browse, the check box and the
// destination field as they were).
//
// The stop flag JobRunning is not the window's: the caller sets it. kCreated is meant for a
// view whose controls all exist, before it discards a working folder left by an earlier run
// (which then turns the preview blank).
void ApplyStep(JobWindow& view, WorkflowStep step);

}  // namespace velmora
