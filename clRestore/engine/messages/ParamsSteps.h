#pragma once
// Steps of the job-parameters handler kept beside the rules they apply: the failure reports they share, the
// prevent-overwrite report (PreventOverwrite.cpp) and the task's job options (JobOptions.cpp).
#include <initializer_list>
#include <string>

class FclRestore;

namespace fclparams {

// Replaces the job's destination with an owned copy of `text`; false when the copy cannot be made.
bool setJobDestination(FclRestore& job, const std::string& text);

// The job's event `code` with text arguments, raised major or critical.
void raiseJobEvent(FclRestore& job, bool critical, int code, std::initializer_list<const char*> arguments);
// The pending cause `code` with text arguments, once the restore job client registered the job.
void raisePendingCause(FclRestore& job, int code, std::initializer_list<const char*> arguments);

// A destination that must not be overwritten holds something: event, reason, pending cause, FSR_MSG_FATAL_ERROR to
// the FIR and the fatal stop.
void reportDestinationNotEmpty(FclRestore& job, const char* destination);

// The task's job options: mount options, destination application type, restore into a virtual machine and the
// Spanner staging destination. False when the parameters handler is to end here.
bool applyJobOptions(FclRestore& job);

}  // namespace fclparams
