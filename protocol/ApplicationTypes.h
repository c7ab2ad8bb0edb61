#pragma once
// The application types of the job's init data that the engine treats apart from the rest, each named once. The sets
// of types that are treated alike are clRestore/engine/AppTypes.h and isUnixFileSystemAppType.

namespace fclapps {

// Sends no restore end to the restore head, and does everything else.
constexpr unsigned long kNoRestoreHeadEndAppType = 11;
// A client's file system, as the client directory knows it.
constexpr unsigned long kFileSystemAppType = 33;
constexpr unsigned long kMySqlAppType = 0x68;
// Virtual-server restores, and the file-based restores of their items.
constexpr unsigned long kVirtualServerAppType = 0x6a;
constexpr unsigned long kPostgresAppType = 0x7d;
// Cloud applications (Salesforce among them), also a destination's type.
constexpr unsigned long kCloudAppsAppType = 0x86;

}  // namespace fclapps
