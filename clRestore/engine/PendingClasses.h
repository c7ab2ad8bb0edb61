#pragma once
// The classes the job object owns whose behaviour lies outside the engine's own files, gathered for the files that
// destroy them or read their answers.
#include <string>

#include "clRestore/factory/FsRestoreObjectsFactory.h"
#include "clRestore/objects/FsRestoreObject.h"
#include "clRestore/options/PendingLog.h"
#include "platform/results/StoreResults.h"
#include "platform/seek/SeekDecision.h"
