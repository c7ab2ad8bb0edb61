#pragma once
// Application-type lookups of the application library.

// True for the application types of Unix file systems.
bool isUnixFileSystemAppType(unsigned long appType);
