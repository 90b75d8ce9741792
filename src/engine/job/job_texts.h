// Texts the jobs write to the log and the instruction box, shared by the repair and save jobs.
#pragma once

#include <vector>

#include "engine/job/job_window.h"

namespace velmora {

inline constexpr const wchar_t* kAsteriskLine =
    L"*************************************************************************************\r\n";
inline constexpr const wchar_t* kUnderscoreLine =
    L"________________________________________________________________\r\n\r\n";

// The log's text when the list is empty (at creation and after Remove emptied it), and after
// "Select files" added files.
inline constexpr const wchar_t* kLogStart =
    L"Click Select files to select .ods file(s) to repair....";
inline constexpr const wchar_t* kLogFilesAdded = L"Select .ods file(s) to Repair....";

// The instruction texts, each with its bold ranges [begin, end) ("\n" counts as one character).
inline constexpr const wchar_t* kHelpStart =
    L"Click Select files to select .ods file(s) to repair.\nClick Repair files to see the "
    L"preview of the .ods file(s).";
inline const std::vector<BoldRange> kHelpStartBold = {{6, 18}, {29, 33}, {59, 72}, {99, 103}};
// The same text after Remove emptied the list has "preview " bold as well.
inline const std::vector<BoldRange> kHelpEmptiedBold = {
    {6, 18}, {29, 33}, {59, 72}, {83, 91}, {99, 103}};

inline constexpr const wchar_t* kHelpRepaired =
    L"Click item in the list to see the preview in right side.\nClick Browse folder to select "
    L"destination path.\nClick Save.... to save .ods file(s)";
inline const std::vector<BoldRange> kHelpRepairedBold = {{6, 22}, {62, 76}, {110, 118}, {127, 132}};

inline constexpr const wchar_t* kHelpRepairing =
    L"Please wait while .ods file(s) are Repairing....";
inline constexpr const wchar_t* kHelpSaving = L"Please wait while .ods file(s) are saving....";
inline const std::vector<BoldRange> kHelpWaitBold = {{19, 30}};

inline constexpr const wchar_t* kHelpSaved =
    L"Saving of .ods file(s) completed....\n Click exit to end the application or \nSelect new "
    L".ods file(s) to repair....";
inline const std::vector<BoldRange> kHelpSavedBold = {{11, 22}};

// The part of a listed path after its last separator (empty when there is none).
std::wstring FileNameOf(const std::wstring& path);

}  // namespace velmora
