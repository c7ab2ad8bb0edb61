#pragma once
// Per-item message ids: what the factory and the restore objects put into the factory's error code (or throw as
// ClExceptError) when one item fails or is skipped. 0 is success. The engine maps each id to a result status.
namespace fclitem {

constexpr unsigned long kNoMemory = 0x1700000b;
constexpr unsigned long kInvalidFileType = 0x1700000f;
constexpr unsigned long kWriteFailed = 0x17000012;
constexpr unsigned long kCloseStepFailed = 0x17000014;  // owner, mode or a closing step
constexpr unsigned long kCreateFailed = 0x17000017;     // the item, an ancestor or its hard link
constexpr unsigned long kRawDeviceNotRestorable = 0x1700002d;
constexpr unsigned long kPathTooLong = 0x1700002e;
constexpr unsigned long kStripLevelFailed = 0x17000039;
constexpr unsigned long kBackToUserFailed = 0x1700003b;
constexpr unsigned long kItemFailed = 0x1700003e;  // not restored as its header gives it (size, end, bad-file marker)
constexpr unsigned long kSkippedExisting = 0x17000040;
constexpr unsigned long kDiskFull = 0x17000046;  // ends the job
constexpr unsigned long kTextFileBusy = 0x1700004c;
constexpr unsigned long kNoDestination = 0x1700005b;
constexpr unsigned long kExcludedByMapping = 0x1700005c;
constexpr unsigned long kReadError = 0x1700005e;  // the backup's bytes could not be read
constexpr unsigned long kAclFailed = 0x17000060;
constexpr unsigned long kSkippedMissing = 0x17000065;
constexpr unsigned long kConflictName = 0x17000071;
constexpr unsigned long kStubNotRestorable = 0x17000072;
constexpr unsigned long kSkippedNotOverwritten = 0x1700008c;
constexpr unsigned long kRefusedByAclPassthrough = 0x170000a7;
constexpr unsigned long kUserMayNotRead = 0x170000ad;
constexpr unsigned long kSkippedByRule = 0x170000b2;  // left out by a rule of the job's application
// Skipped items that get no result line.
constexpr unsigned long kSkippedSilently = 99999;
constexpr unsigned long kSkippedSilently2 = 99998;

}  // namespace fclitem
